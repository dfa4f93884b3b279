#include "frontends/server/options.h"

#include "core/platform/tcp_target.h"

#include <QCommandLineParser>
#include <QDir>
#include <QHash>
#include <QRegularExpression>

#include <utility>

namespace server {

std::optional<Endpoint> parseEndpoint(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^(?:\\[([^\\]]+)\\]|([^:\\[\\]]+)):([0-9]{1,5})$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QString host = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
    QHostAddress address;
    if (!address.setAddress(host))
        return std::nullopt;
    const int port = m.captured(3).toInt();
    if (port > 65535)
        return std::nullopt;
    return Endpoint{address, static_cast<quint16>(port)};
}

WebExposure webExposure(const Options& o) {
    if (!o.web)
        return WebExposure::Local;
    if (!o.webCert.isEmpty())
        return WebExposure::Tls;
    if (o.web->address.isLoopback())
        return WebExposure::Local;
    return o.webInsecure ? WebExposure::Insecure : WebExposure::Refused;
}

QString usage() {
    QString text = QStringLiteral(
        "Usage: hdmi-matrix-server [--port P] [--model M]\n"
        "                          [--videohub ADDR:PORT | --no-videohub]\n"
        "                          [--line ADDR:PORT | --no-line] [--web ADDR:PORT | --no-web]\n"
        "                          [--web-host NAME]...\n"
        "                          [--web-cert FILE --web-key FILE] [--web-insecure]\n"
        "                          [--state-dir DIR] [--poll S] [--name TEXT] [--allow CIDR]...\n"
        "                          [--max-clients N] [--max-per-address N] [--no-schedule] [-v]\n\n"
        "Owns the switcher's line and shares it with many clients.\n\n"
        "  -p, --port P         COM1..COM10 (a COMn file in the working folder holding a\n"
        "                       device or tcp:// address), a device such as /dev/ttyUSB0,\n"
        "                       or tcp://HOST:PORT; looked up again at every reconnect\n"
        "                       (default COM1)\n"
        "  --videohub ADDR:PORT the Videohub protocol (default 127.0.0.1:9990); 0.0.0.0 or\n"
        "                       [::] listens on every address, IPv4 and IPv6\n"
        "  --no-videohub        no Videohub protocol\n"
        "  --line ADDR:PORT     the switcher's own line protocol for the window and the\n"
        "                       tool (default 127.0.0.1:9991)\n"
        "  --no-line            no line port\n"
        "  --web ADDR:PORT      the web page and its JSON API (default 127.0.0.1:9980)\n"
        "  --no-web             no web page\n"
        "  --web-host NAME      a name the web page is reached by, besides addresses,\n"
        "                       localhost and this machine's name (repeatable)\n"
        "  --web-cert FILE      HTTPS (and wss:// events) with this certificate (PEM, any\n"
        "                       intermediate certificates after it); read again on SIGHUP\n"
        "  --web-key FILE       its private key (PEM, no passphrase); read again on SIGHUP\n"
        "  --web-insecure       plain HTTP on an address beyond loopback (refused without)\n"
        "  --state-dir DIR      where labels and accounts are kept (default\n"
        "                       $STATE_DIRECTORY, else $XDG_STATE_HOME/hdmi-matrix, else\n"
        "                       ~/.local/state/hdmi-matrix)\n"
        "  --poll S             ask the switcher for its routing every S seconds\n"
        "                       (default 10; 0: never)\n"
        "  --name TEXT          the friendly name clients show (default \"HDMI Matrix\")\n"
        "  --allow CIDR         let clients in from this subnet (repeatable); loopback\n"
        "                       addresses are always let in\n"
        "  --max-clients N      clients per port (default 32)\n"
        "  --max-per-address N  clients per port from one address (default 8)\n"
        "  --no-schedule        scenes recall only when asked, not by their schedules\n"
        "  -v, --verbose        log the traffic\n"
        "  -h, --help           this text\n\n"
        "The accounts of the web page and API, in accounts.json in the state folder:\n\n"
        "  hdmi-matrix-server [--state-dir DIR] user add NAME --role ROLE\n"
        "                                       user passwd NAME | user role NAME ROLE\n"
        "                                       user remove NAME | user list\n"
        "                                       token add NAME --role ROLE\n"
        "                                       token remove NAME | token list\n\n"
        "ROLE is viewer, operator or admin. A password is asked for twice at a terminal,\n"
        "else read from the first line of standard input. token add prints the new\n"
        "token, this once only.\n");
    // The models this program knows, after --port.
    text.insert(text.indexOf(QLatin1String("  --videohub ADDR:PORT")),
                QStringLiteral("  --model M            the switcher's model: %1 (default %2)\n")
                    .arg(protocol::Model::names().join(QStringLiteral(", ")),
                         protocol::Model::standard().name));
    // The MQTT options, before -v.
    return text.insert(text.indexOf(QLatin1String("  -v, --verbose")), mqtt::usage());
}

std::optional<Options> parseOptions(QStringList args, const QHash<QString, QString>& env,
                                    QString* error) {
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const auto valued = [&parser](const QStringList& names, const char* value) {
        parser.addOption({names, {}, QLatin1String(value)});
    };
    valued({"p", "port"}, "P");
    for (const char* name : {"videohub", "line", "web"})
        valued({QLatin1String(name)}, "ADDR:PORT");
    valued({"web-host"}, "NAME");
    valued({"web-cert"}, "FILE");
    valued({"web-key"}, "FILE");
    valued({"state-dir"}, "DIR");
    valued({"poll"}, "S");
    valued({"name"}, "TEXT");
    valued({"model"}, "M");
    valued({"allow"}, "CIDR");
    valued({"max-clients"}, "N");
    valued({"max-per-address"}, "N");
    valued({"role"}, "ROLE");
    for (const char* name : {"no-videohub", "no-line", "no-web", "web-insecure"})
        parser.addOption({QLatin1String(name), {}});
    parser.addOption({QStringLiteral("no-schedule"), {}});
    parser.addOption({{"v", "verbose"}, {}});
    parser.addOption({{"h", "help"}, {}});
    mqtt::addOptions(parser);
    auto fail = [error](const QString& why) {
        *error = why;
        return std::nullopt;
    };
    args.prepend(QStringLiteral("hdmi-matrix-server"));
    if (!parser.parse(args))
        return fail(parser.errorText());
    const QStringList words = parser.positionalArguments();
    if (!words.isEmpty() && words.first() != QLatin1String("user") &&
        words.first() != QLatin1String("token"))
        return fail(QStringLiteral("unknown argument \"%1\"").arg(words.first()));
    if (words.isEmpty() && parser.isSet(QStringLiteral("role")))
        return fail(QStringLiteral("--role is for the user and token commands"));

    Options o;
    o.command = words;
    o.role = parser.value(QStringLiteral("role"));
    o.help = parser.isSet(QStringLiteral("help"));
    o.verbose = parser.isSet(QStringLiteral("verbose"));
    o.schedule = !parser.isSet(QStringLiteral("no-schedule"));
    if (parser.isSet(QStringLiteral("port"))) {
        const QString v = parser.value(QStringLiteral("port"));
        if (v.isEmpty())
            return fail(QStringLiteral("--port needs COM1..COM10, a device or tcp://HOST:PORT"));
        static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                            QRegularExpression::CaseInsensitiveOption);
        if (const auto m = com.match(v); m.hasMatch()) {
            const int n = m.captured(1).toInt();
            if (m.captured(1).size() > 2 || n < 1 || n > 10)
                return fail(QStringLiteral("--port: %1 is not one of COM1 to COM10").arg(v));
        } else if (platform::isNetworkTarget(v)) {
            const platform::TcpTarget t = platform::parseTcpTarget(v);
            if (!t.isValid())
                return fail(QStringLiteral("--port: %1").arg(t.error));
        }
        o.port = v;
    }
    for (auto [name, endpoint] : {std::pair{"videohub", &o.videohub}, std::pair{"line", &o.line},
                                  std::pair{"web", &o.web}}) {
        const QString option = QLatin1String(name);
        const bool off = parser.isSet(QStringLiteral("no-") + option);
        if (parser.isSet(option)) {
            if (off)
                return fail(QStringLiteral("--%1 and --no-%1 exclude each other").arg(option));
            const QString v = parser.value(option);
            *endpoint = parseEndpoint(v);
            if (!*endpoint)
                return fail(QStringLiteral("--%1: \"%2\" is not ADDRESS:PORT").arg(option, v));
        } else if (off) {
            endpoint->reset();
        }
    }
    static const QRegularExpression hostName(QStringLiteral(
        "^[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?(\\.[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)*$"));
    for (const QString& name : parser.values(QStringLiteral("web-host"))) {
        if (name.size() > 253 || !hostName.match(name).hasMatch())
            return fail(QStringLiteral("--web-host: \"%1\" is not a host name").arg(name));
        o.webHosts.append(name.toLower());
    }
    o.webCert = parser.value(QStringLiteral("web-cert"));
    o.webKey = parser.value(QStringLiteral("web-key"));
    if (o.webCert.isEmpty() != o.webKey.isEmpty())
        return fail(QStringLiteral("--web-cert and --web-key go together"));
    o.webInsecure = parser.isSet(QStringLiteral("web-insecure"));
    if (parser.isSet(QStringLiteral("state-dir"))) {
        o.stateDir = parser.value(QStringLiteral("state-dir"));
        if (o.stateDir.isEmpty())
            return fail(QStringLiteral("--state-dir needs a value"));
    }
    // A whole number in a range, or the option's complaint.
    const auto count = [&parser](const char* name, int low, int high, int* into) {
        if (!parser.isSet(QLatin1String(name)))
            return true;
        bool ok = false;
        const int n = parser.value(QLatin1String(name)).toInt(&ok);
        if (ok && n >= low && n <= high)
            *into = n;
        return ok && n >= low && n <= high;
    };
    if (!count("poll", 0, 86400, &o.pollSeconds))
        return fail(QStringLiteral("--poll needs seconds from 0 to 86400"));
    if (!count("max-clients", 1, 1000, &o.maxClients))
        return fail(QStringLiteral("--max-clients needs a number from 1 to 1000"));
    if (!count("max-per-address", 1, 1000, &o.maxPerAddress))
        return fail(QStringLiteral("--max-per-address needs a number from 1 to 1000"));
    if (parser.isSet(QStringLiteral("model"))) {
        const protocol::Model* model = protocol::Model::find(parser.value(QStringLiteral("model")));
        if (!model)
            return fail(QStringLiteral("--model: ") +
                        protocol::Model::unknownMessage(parser.value(QStringLiteral("model"))));
        o.model = *model;
    }
    if (parser.isSet(QStringLiteral("name"))) {
        const QString v = parser.value(QStringLiteral("name"));
        if (v.isEmpty() || v.size() > 64 || v.contains(QLatin1Char('\n')) ||
            v.contains(QLatin1Char('\r')))
            return fail(QStringLiteral("--name needs a text of 1 to 64 characters on one line"));
        o.name = v;
    }
    for (const QString& v : parser.values(QStringLiteral("allow"))) {
        const Subnet s = QHostAddress::parseSubnet(v);
        if (s.first.isNull())
            return fail(
                QStringLiteral("--allow: \"%1\" is not an address or subnet (CIDR)").arg(v));
        o.allow.append(s);
    }
    auto mqttOptions = mqtt::readOptions(parser, env);
    if (const QString* why = std::get_if<QString>(&mqttOptions))
        return fail(*why);
    o.mqtt = std::get<mqtt::Options>(mqttOptions);
    mqtt::nameSwitcher(o.mqtt, o.name);
    if (o.stateDir.isEmpty()) {
        if (const QString s = env.value(QStringLiteral("STATE_DIRECTORY")); !s.isEmpty())
            o.stateDir = s.split(QLatin1Char(':')).first(); // systemd may list several
        else if (const QString x = env.value(QStringLiteral("XDG_STATE_HOME")); !x.isEmpty())
            o.stateDir = QDir(x).filePath(QStringLiteral("hdmi-matrix"));
        else
            o.stateDir = QDir(env.value(QStringLiteral("HOME"), QDir::homePath()))
                             .filePath(QStringLiteral(".local/state/hdmi-matrix"));
    }
    return o;
}

} // namespace server

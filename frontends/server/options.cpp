#include "frontends/server/options.h"

#include "core/cmdline/option_help.h"

#include "core/platform/port_names.h"

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

namespace {

QCommandLineOption option(const QStringList& names, const char* value, const char* description) {
    QCommandLineOption o(names, QString::fromUtf8(description));
    if (value)
        o.setValueName(QLatin1String(value));
    return o;
}

// The server's options, in the order its help lists them; each description
// is the help's text, a line for each line.
QList<QCommandLineOption> serverOptions() {
    QList<QCommandLineOption> options{
        option({"p", "port"}, "P",
               "COM1..COM10 (a COMn file in the working folder holding a\ndevice or tcp:// "
               "address), a device such as /dev/ttyUSB0,\nor tcp://HOST:PORT; looked up again at "
               "every reconnect\n(default COM1)"),
        QCommandLineOption(QStringList{QStringLiteral("model")},
                           QStringLiteral("the switcher's model: %1 (default %2)")
                               .arg(protocol::Model::names().join(QStringLiteral(", ")),
                                    protocol::Model::standard().name),
                           QStringLiteral("M")),
        option({"videohub"}, "ADDR:PORT",
               "the Videohub protocol (default 127.0.0.1:9990); 0.0.0.0 or\n[::] listens on every "
               "address, IPv4 and IPv6"),
        option({"no-videohub"}, nullptr, "no Videohub protocol"),
        option({"line"}, "ADDR:PORT",
               "the switcher's own line protocol for the window and the\ntool (default "
               "127.0.0.1:9991)"),
        option({"no-line"}, nullptr, "no line port"),
        option({"web"}, "ADDR:PORT", "the web page and its JSON API (default 127.0.0.1:9980)"),
        option({"no-web"}, nullptr, "no web page"),
        option({"web-host"}, "NAME",
               "a name the web page is reached by, besides addresses,\nlocalhost and this "
               "machine's name (repeatable)"),
        option({"web-cert"}, "FILE",
               "HTTPS (and wss:// events) with this certificate (PEM, any\nintermediate "
               "certificates after it); read again on SIGHUP"),
        option({"web-key"}, "FILE", "its private key (PEM, no passphrase); read again on SIGHUP"),
        option({"web-insecure"}, nullptr,
               "plain HTTP on an address beyond loopback (refused without)"),
        option({"web-proxy"}, nullptr,
               "believe a reverse proxy on loopback about the client's\naddress (X-Forwarded-For, "
               "Forwarded) and scheme"),
        option({"state-dir"}, "DIR",
               "where labels and accounts are kept (default\n$STATE_DIRECTORY, else "
               "$XDG_STATE_HOME/hdmi-matrix, else\n~/.local/state/hdmi-matrix)"),
        option({"poll"}, "S",
               "ask the switcher for its routing every S seconds\n(default 10; 0: never)"),
        option({"name"}, "TEXT", "the friendly name clients show (default \"HDMI Matrix\")"),
        option(
            {"allow"}, "CIDR",
            "let clients in from this subnet (repeatable); loopback\naddresses are always let in"),
        option({"max-clients"}, "N", "clients per port (default 32)"),
        option({"max-per-address"}, "N", "clients per port from one address (default 8)"),
        option({"no-schedule"}, nullptr, "scenes recall only when asked, not by their schedules"),
    };
    options += mqtt::options();
    options += {
        option({"v", "verbose"}, nullptr, "log the traffic"),
        option({"h", "help"}, nullptr, "this text"),
    };
    // Only the account commands take it; their usage below says so.
    QCommandLineOption role(QStringList{QStringLiteral("role")}, {}, QStringLiteral("ROLE"));
    role.setFlags(QCommandLineOption::HiddenFromHelp);
    options.append(role);
    return options;
}

// The ports to listen on, the web page's names and its certificate into o;
// the first one wrong is the error.
QString readPorts(const QCommandLineParser& parser, Options& o) {
    for (auto [name, endpoint] : {std::pair{"videohub", &o.videohub}, std::pair{"line", &o.line},
                                  std::pair{"web", &o.web}}) {
        const QString option = QLatin1String(name);
        const bool off = parser.isSet(QStringLiteral("no-") + option);
        if (parser.isSet(option)) {
            if (off)
                return QStringLiteral("--%1 and --no-%1 exclude each other").arg(option);
            const QString v = parser.value(option);
            *endpoint = parseEndpoint(v);
            if (!*endpoint)
                return QStringLiteral("--%1: \"%2\" is not ADDRESS:PORT").arg(option, v);
        } else if (off) {
            endpoint->reset();
        }
    }
    static const QRegularExpression hostName(QStringLiteral(
        "^[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?(\\.[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)*$"));
    for (const QString& name : parser.values(QStringLiteral("web-host"))) {
        if (name.size() > 253 || !hostName.match(name).hasMatch())
            return QStringLiteral("--web-host: \"%1\" is not a host name").arg(name);
        o.webHosts.append(name.toLower());
    }
    o.webCert = parser.value(QStringLiteral("web-cert"));
    o.webKey = parser.value(QStringLiteral("web-key"));
    if (o.webCert.isEmpty() != o.webKey.isEmpty())
        return QStringLiteral("--web-cert and --web-key go together");
    return {};
}

QString defaultStateDir(const QHash<QString, QString>& env) {
    if (const QString s = env.value(QStringLiteral("STATE_DIRECTORY")); !s.isEmpty())
        return s.split(QLatin1Char(':')).first(); // systemd may list several
    if (const QString x = env.value(QStringLiteral("XDG_STATE_HOME")); !x.isEmpty())
        return QDir(x).filePath(QStringLiteral("hdmi-matrix"));
    return QDir(env.value(QStringLiteral("HOME"), QDir::homePath()))
        .filePath(QStringLiteral(".local/state/hdmi-matrix"));
}

} // namespace

QString usage() {
    QString text = QStringLiteral(
        "Usage: hdmi-matrix-server [--port P] [--model M]\n"
        "                          [--videohub ADDR:PORT | --no-videohub]\n"
        "                          [--line ADDR:PORT | --no-line] [--web ADDR:PORT | --no-web]\n"
        "                          [--web-host NAME]...\n"
        "                          [--web-cert FILE --web-key FILE] [--web-insecure]\n"
        "                          [--web-proxy]\n"
        "                          [--state-dir DIR] [--poll S] [--name TEXT] [--allow CIDR]...\n"
        "                          [--max-clients N] [--max-per-address N] [--no-schedule] [-v]\n\n"
        "Owns the switcher's line and shares it with many clients.\n\n");
    return text + cmdline::optionLines(serverOptions(), {.column = 23}) +
           QStringLiteral(
               "\n"
               "The accounts of the web page and API, in accounts.json in the state folder:\n\n"
               "  hdmi-matrix-server [--state-dir DIR] user add NAME --role ROLE\n"
               "                                       user passwd NAME | user role NAME ROLE\n"
               "                                       user remove NAME | user list\n"
               "                                       token add NAME --role ROLE\n"
               "                                       token remove NAME | token list\n\n"
               "ROLE is viewer, operator or admin. A password is asked for twice at a terminal,\n"
               "else read from the first line of standard input. token add prints the new\n"
               "token, this once only.\n");
}

std::optional<Options> parseOptions(QStringList args, const QHash<QString, QString>& env,
                                    QString* error) {
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.addOptions(serverOptions());
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
        if (const int n = platform::comNumber(v); n != 0) {
            if (n < 0)
                return fail(QStringLiteral("--port: %1 is not one of COM1 to COM10").arg(v));
        } else if (platform::isNetworkTarget(v)) {
            const platform::TcpTarget t = platform::parseTcpTarget(v);
            if (!t.isValid())
                return fail(QStringLiteral("--port: %1").arg(t.error));
        }
        o.port = v;
    }
    if (const QString why = readPorts(parser, o); !why.isEmpty())
        return fail(why);
    o.webInsecure = parser.isSet(QStringLiteral("web-insecure"));
    o.webProxy = parser.isSet(QStringLiteral("web-proxy"));
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
    if (o.stateDir.isEmpty())
        o.stateDir = defaultStateDir(env);
    return o;
}

} // namespace server

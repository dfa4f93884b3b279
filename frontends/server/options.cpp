#include "frontends/server/options.h"

#include "core/platform/tcp_target.h"

#include <QDir>
#include <QHash>
#include <QRegularExpression>

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

QString usage() {
    QString text = QStringLiteral(
        "Usage: hdmi-matrix-server [--port P] [--videohub ADDR:PORT | --no-videohub]\n"
        "                          [--line ADDR:PORT | --no-line] [--state-dir DIR] [--poll S]\n"
        "                          [--name TEXT] [--allow CIDR]... [--max-clients N] [-v]\n\n"
        "Owns the switcher's line and shares it with many clients.\n\n"
        "  -p, --port P         COM1..COM10 (a COMn file in the working folder holding a\n"
        "                       device or tcp:// address), a device such as /dev/ttyUSB0,\n"
        "                       or tcp://HOST:PORT; looked up again at every reconnect\n"
        "                       (default COM1)\n"
        "  --videohub ADDR:PORT the Videohub protocol (default 127.0.0.1:9990)\n"
        "  --no-videohub        no Videohub protocol\n"
        "  --line ADDR:PORT     the switcher's own line protocol for the window and the\n"
        "                       tool (default 127.0.0.1:9991)\n"
        "  --no-line            no line port\n"
        "  --state-dir DIR      where labels are kept (default $STATE_DIRECTORY, else\n"
        "                       $XDG_STATE_HOME/hdmi-matrix, else ~/.local/state/hdmi-matrix)\n"
        "  --poll S             ask the switcher for its routing every S seconds\n"
        "                       (default 10; 0: never)\n"
        "  --name TEXT          the friendly name clients show (default \"HDMI Matrix\")\n"
        "  --allow CIDR         let clients in from this subnet (repeatable); without it\n"
        "                       only loopback addresses\n"
        "  --max-clients N      clients per port (default 32)\n"
        "  -v, --verbose        log the traffic\n"
        "  -h, --help           this text\n");
    // The MQTT options, before -v.
    return text.insert(text.indexOf(QLatin1String("  -v, --verbose")), mqtt::usage());
}

std::optional<Options> parseOptions(QStringList args, const QHash<QString, QString>& env,
                                    QString* error) {
    Options o;
    auto mqttOptions = mqtt::takeOptions(args, env);
    if (const QString* why = std::get_if<QString>(&mqttOptions)) {
        *error = *why;
        return std::nullopt;
    }
    o.mqtt = std::get<mqtt::Options>(mqttOptions);
    bool noVideohub = false, noLine = false, videohubSet = false, lineSet = false;
    auto fail = [error](const QString& why) {
        *error = why;
        return std::nullopt;
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        QString value;
        bool hasInline = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            value = arg.mid(arg.indexOf(QLatin1Char('=')) + 1);
            arg = arg.left(arg.indexOf(QLatin1Char('=')));
            hasInline = true;
        }
        auto next = [&]() -> std::optional<QString> {
            if (hasInline)
                return value;
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        auto needs = [&](const QString& name) {
            return QStringLiteral("%1 needs a value").arg(name);
        };
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            o.help = true;
        } else if (arg == QLatin1String("-v") || arg == QLatin1String("--verbose")) {
            o.verbose = true;
        } else if (arg == QLatin1String("-p") || arg == QLatin1String("--port")) {
            const auto v = next();
            if (!v || v->isEmpty())
                return fail(
                    QStringLiteral("--port needs COM1..COM10, a device or tcp://HOST:PORT"));
            static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                                QRegularExpression::CaseInsensitiveOption);
            if (const auto m = com.match(*v); m.hasMatch()) {
                const int n = m.captured(1).toInt();
                if (m.captured(1).size() > 2 || n < 1 || n > 10)
                    return fail(QStringLiteral("--port: %1 is not one of COM1 to COM10").arg(*v));
            } else if (platform::isNetworkTarget(*v)) {
                const platform::TcpTarget t = platform::parseTcpTarget(*v);
                if (!t.isValid())
                    return fail(QStringLiteral("--port: %1").arg(t.error));
            }
            o.port = *v;
        } else if (arg == QLatin1String("--videohub") || arg == QLatin1String("--line")) {
            const auto v = next();
            if (!v)
                return fail(needs(arg));
            const auto e = parseEndpoint(*v);
            if (!e)
                return fail(QStringLiteral("%1: \"%2\" is not ADDRESS:PORT").arg(arg, *v));
            if (arg == QLatin1String("--videohub")) {
                o.videohub = e;
                videohubSet = true;
            } else {
                o.line = e;
                lineSet = true;
            }
        } else if (arg == QLatin1String("--no-videohub")) {
            noVideohub = true;
        } else if (arg == QLatin1String("--no-line")) {
            noLine = true;
        } else if (arg == QLatin1String("--state-dir")) {
            const auto v = next();
            if (!v || v->isEmpty())
                return fail(needs(arg));
            o.stateDir = *v;
        } else if (arg == QLatin1String("--poll")) {
            const auto v = next();
            bool ok = false;
            const int s = v ? v->toInt(&ok) : 0;
            if (!ok || s < 0 || s > 86400)
                return fail(QStringLiteral("--poll needs seconds from 0 to 86400"));
            o.pollSeconds = s;
        } else if (arg == QLatin1String("--name")) {
            const auto v = next();
            if (!v || v->isEmpty() || v->size() > 64 || v->contains(QLatin1Char('\n')) ||
                v->contains(QLatin1Char('\r')))
                return fail(
                    QStringLiteral("--name needs a text of 1 to 64 characters on one line"));
            o.name = *v;
        } else if (arg == QLatin1String("--allow")) {
            const auto v = next();
            if (!v)
                return fail(needs(arg));
            const Subnet s = QHostAddress::parseSubnet(*v);
            if (s.first.isNull())
                return fail(
                    QStringLiteral("--allow: \"%1\" is not an address or subnet (CIDR)").arg(*v));
            o.allow.append(s);
        } else if (arg == QLatin1String("--max-clients")) {
            const auto v = next();
            bool ok = false;
            const int n = v ? v->toInt(&ok) : 0;
            if (!ok || n < 1 || n > 1000)
                return fail(QStringLiteral("--max-clients needs a number from 1 to 1000"));
            o.maxClients = n;
        } else {
            return fail(QStringLiteral("unknown argument \"%1\"").arg(args[i]));
        }
    }
    mqtt::nameSwitcher(o.mqtt, o.name);
    if (noVideohub && videohubSet)
        return fail(QStringLiteral("--videohub and --no-videohub exclude each other"));
    if (noLine && lineSet)
        return fail(QStringLiteral("--line and --no-line exclude each other"));
    if (noVideohub)
        o.videohub.reset();
    if (noLine)
        o.line.reset();
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

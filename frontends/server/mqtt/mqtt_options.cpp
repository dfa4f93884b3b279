#include "frontends/server/mqtt/mqtt_options.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <iterator>

namespace mqtt {

namespace {

const char* const kValued[] = {"mqtt",        "mqtt-ca",   "mqtt-user",
                               "mqtt-prefix", "ha-prefix", "mqtt-password-file"};

// A prefix is one or more topic levels without wildcards.
bool validPrefix(const QString& prefix) {
    static const QRegularExpression bad(QStringLiteral("[+#\\x00]|^/|/$|//"));
    return !prefix.isEmpty() && prefix.size() <= 128 && !bad.match(prefix).hasMatch();
}

// The first line of a file of at most 4 KiB, or an empty text and the error.
QString readPassword(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("--mqtt-password-file: cannot read %1: %2")
                     .arg(path, file.errorString());
        return {};
    }
    const QByteArray bytes = file.read(4097);
    QByteArray line = bytes.left(bytes.indexOf('\n'));
    if (line.endsWith('\r'))
        line.chop(1);
    if (bytes.size() > 4096 || line.isEmpty())
        *error =
            QStringLiteral("--mqtt-password-file: %1 holds no password of at most 4 KiB").arg(path);
    return error->isEmpty() ? QString::fromUtf8(line) : QString();
}

} // namespace

QString topicSafe(const QString& name) {
    QString id;
    for (const QChar c : name.toLower()) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (keep)
            id += c;
        else if (!id.isEmpty() && !id.endsWith(QLatin1Char('-')))
            id += QLatin1Char('-');
    }
    while (id.endsWith(QLatin1Char('-')))
        id.chop(1);
    id.truncate(64);
    return id.isEmpty() ? QStringLiteral("hdmi-matrix") : id;
}

QList<QCommandLineOption> options() {
    const auto valued = [](const char* name, const char* value, const char* description) {
        return QCommandLineOption(QStringList{QLatin1String(name)}, QString::fromUtf8(description),
                                  QLatin1String(value));
    };
    return {
        valued("mqtt", "URL",
               "publish the switcher on an MQTT broker: mqtt://HOST[:PORT]\n"
               "or mqtts://HOST[:PORT] (TLS); the password comes from\n"
               "$HDMI_MATRIX_MQTT_PASSWORD or --mqtt-password-file"),
        valued("mqtt-ca", "FILE", "the CA certificate of the broker's (default: the system's)"),
        valued("mqtt-user", "NAME", "the user name on the broker"),
        valued("mqtt-password-file", "FILE", "the password: the file's first line"),
        valued("mqtt-prefix", "P", "the topics' first levels (default hdmi-matrix)"),
        valued("ha-prefix", "P", "Home Assistant's discovery prefix (default homeassistant)"),
        QCommandLineOption(QStringList{QStringLiteral("no-ha")},
                           QStringLiteral("no Home Assistant discovery")),
    };
}

void addOptions(QCommandLineParser& parser) {
    parser.addOptions(options());
}

std::variant<Options, QString> readOptions(const QCommandLineParser& parser,
                                           const QHash<QString, QString>& environment) {
    QHash<QString, QString> given;
    for (const QString& name : parser.optionNames()) {
        if (name == QLatin1String("no-ha") ||
            std::find(std::begin(kValued), std::end(kValued), name) != std::end(kValued))
            given.insert(QStringLiteral("--") + name, parser.value(name));
    }
    Options options;
    if (!given.contains("--mqtt")) {
        if (!given.isEmpty())
            return QStringLiteral("%1 needs --mqtt").arg(given.keys().constFirst());
        return options;
    }
    static const QRegularExpression url(
        QStringLiteral("^(mqtts?)://(\\[[0-9A-Fa-f:.]+\\]|[A-Za-z0-9._-]+)(?::([0-9]{1,5}))?/?$"));
    const QRegularExpressionMatch m = url.match(given.value("--mqtt"));
    if (!m.hasMatch())
        return QStringLiteral("--mqtt takes mqtt://HOST[:PORT] or mqtts://HOST[:PORT] "
                              "(the password goes in %1 or --mqtt-password-file)")
            .arg(QLatin1String(kPasswordVariable));
    ClientSettings& client = options.client;
    client.tls = m.captured(1) == "mqtts";
    client.host = m.captured(2).remove(QLatin1Char('[')).remove(QLatin1Char(']'));
    client.port = client.tls ? 8883 : 1883;
    if (m.hasCaptured(3)) {
        const int port = m.captured(3).toInt();
        if (port < 1 || port > 65535)
            return QStringLiteral("--mqtt: the port must be 1..65535");
        client.port = quint16(port);
    }
    client.caFile = given.value("--mqtt-ca");
    if (!client.caFile.isEmpty() && !client.tls)
        return QStringLiteral("--mqtt-ca needs an mqtts:// broker");
    client.user = given.value("--mqtt-user");
    if (given.contains("--mqtt-password-file")) {
        QString error;
        client.password = readPassword(given.value("--mqtt-password-file"), &error);
        if (!error.isEmpty())
            return error;
    } else {
        client.password = environment.value(QLatin1String(kPasswordVariable));
    }
    if (!client.password.isEmpty() && client.user.isEmpty())
        return QStringLiteral("a broker password needs --mqtt-user");

    BridgeSettings& bridge = options.bridge;
    bridge.prefix = given.value("--mqtt-prefix", bridge.prefix);
    bridge.haPrefix = given.value("--ha-prefix", bridge.haPrefix);
    for (const QString& prefix : {bridge.prefix, bridge.haPrefix}) {
        if (!validPrefix(prefix))
            return QStringLiteral("\"%1\" is no topic prefix (no wildcards, no empty levels)")
                .arg(prefix);
    }
    bridge.homeAssistant = !given.contains("--no-ha");
    bridge.version = QStringLiteral(HDMI_MATRIX_VERSION);
    options.enabled = true;
    nameSwitcher(options, QString());
    return options;
}

void nameSwitcher(Options& options, const QString& name) {
    BridgeSettings& bridge = options.bridge;
    bridge.id = topicSafe(name);
    bridge.name = name.isEmpty() ? QStringLiteral("HDMI matrix") : name;
    // A broker keeps one connection per client id, so the id holds the whole
    // base topic: two sites' servers of one name under other prefixes would
    // otherwise knock each other off. The default prefix keeps the short form;
    // ids have no '@', so no two prefixes and ids give one client id.
    options.client.clientId = QStringLiteral("hdmi-matrix-") + bridge.id;
    if (bridge.prefix != BridgeSettings().prefix)
        options.client.clientId += QLatin1Char('@') + bridge.prefix;
    options.client.willTopic = bridge.prefix + QLatin1Char('/') + bridge.id + "/status";
    options.client.willPayload = "offline";
}

} // namespace mqtt

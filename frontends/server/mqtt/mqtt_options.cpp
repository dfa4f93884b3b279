#include "frontends/server/mqtt/mqtt_options.h"

#include <QCommandLineParser>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>

namespace mqtt {

namespace {

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

void addOptions(QCommandLineParser& parser) {
    parser.addOptions({
        {"mqtt",
         "Publish the switcher on an MQTT broker: mqtt://HOST[:PORT] or mqtts://HOST[:PORT]"
         " (TLS). The password comes from the environment variable " +
             QString::fromLatin1(kPasswordVariable) + " or --mqtt-password-file.",
         "url"},
        {"mqtt-ca", "The CA certificate that signed the broker's (mqtts; default: the system's).",
         "file"},
        {"mqtt-user", "The user name on the broker.", "name"},
        {"mqtt-password-file", "Read the broker password from the first line of this file.",
         "file"},
        {"mqtt-prefix", "The topics' first levels (default hdmi-matrix).", "prefix"},
        {"ha-prefix", "Home Assistant's discovery prefix (default homeassistant).", "prefix"},
        {"no-ha", "Publish no Home Assistant discovery."},
    });
}

std::variant<Options, QString> optionsFrom(const QCommandLineParser& parser, const QString& name,
                                           const QProcessEnvironment& environment) {
    Options options;
    if (!parser.isSet("mqtt")) {
        for (const char* other :
             {"mqtt-ca", "mqtt-user", "mqtt-password-file", "mqtt-prefix", "ha-prefix", "no-ha"}) {
            if (parser.isSet(other))
                return QStringLiteral("--%1 needs --mqtt").arg(QLatin1String(other));
        }
        return options;
    }
    static const QRegularExpression url(
        QStringLiteral("^(mqtts?)://(\\[[0-9A-Fa-f:.]+\\]|[A-Za-z0-9._-]+)(?::([0-9]{1,5}))?/?$"));
    const QRegularExpressionMatch m = url.match(parser.value("mqtt"));
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
    client.caFile = parser.value("mqtt-ca");
    if (!client.caFile.isEmpty() && !client.tls)
        return QStringLiteral("--mqtt-ca needs an mqtts:// broker");
    client.user = parser.value("mqtt-user");
    if (parser.isSet("mqtt-password-file")) {
        QString error;
        client.password = readPassword(parser.value("mqtt-password-file"), &error);
        if (!error.isEmpty())
            return error;
    } else {
        client.password = environment.value(QLatin1String(kPasswordVariable));
    }
    if (!client.password.isEmpty() && client.user.isEmpty())
        return QStringLiteral("a broker password needs --mqtt-user");

    BridgeSettings& bridge = options.bridge;
    if (parser.isSet("mqtt-prefix"))
        bridge.prefix = parser.value("mqtt-prefix");
    if (parser.isSet("ha-prefix"))
        bridge.haPrefix = parser.value("ha-prefix");
    for (const QString& prefix : {bridge.prefix, bridge.haPrefix}) {
        if (!validPrefix(prefix))
            return QStringLiteral("%1 is no topic prefix (no wildcards, no empty levels)")
                .arg(prefix);
    }
    bridge.homeAssistant = !parser.isSet("no-ha");
    bridge.id = topicSafe(name);
    bridge.name = name.isEmpty() ? QStringLiteral("HDMI matrix") : name;
    bridge.version = QStringLiteral(HDMI_MATRIX_VERSION);
    client.clientId = QStringLiteral("hdmi-matrix-") + bridge.id;
    client.willTopic = bridge.prefix + QLatin1Char('/') + bridge.id + QStringLiteral("/status");
    client.willPayload = "offline";
    options.enabled = true;
    return options;
}

} // namespace mqtt

#pragma once

#include "core/protocol/model.h"
#include "frontends/server/listener.h"
#include "frontends/server/mqtt/mqtt_options.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace server {

// An address and port to listen on.
struct Endpoint {
    QHostAddress address;
    quint16 port = 0;
};

// What the command line asks for.
struct Options {
    QString port = QStringLiteral("COM1"); // as the command-line tool takes it
    protocol::Model model = protocol::Model::standard();
    std::optional<Endpoint> videohub = Endpoint{QHostAddress(QHostAddress::LocalHost), 9990};
    std::optional<Endpoint> line = Endpoint{QHostAddress(QHostAddress::LocalHost), 9991};
    QString stateDir;
    int pollSeconds = 10;
    QString name = QStringLiteral("HDMI Matrix");
    QList<Subnet> allow; // loopback clients are always let in
    int maxClients = 32;
    int maxPerAddress = 8; // connections from one address, per port
    // The web page and its JSON API.
    std::optional<Endpoint> web = Endpoint{QHostAddress(QHostAddress::LocalHost), 9980};
    // Names the web page is reached by, in lower case (--web-host).
    QStringList webHosts;
    // HTTPS: the certificate and its key, PEM files; both or neither.
    QString webCert;
    QString webKey;
    // Plain HTTP beyond the loopback address all the same (--web-insecure).
    bool webInsecure = false;
    // A reverse proxy on this machine is believed about the client's
    // address and scheme (--web-proxy).
    bool webProxy = false;
    mqtt::Options mqtt;   // named after the switcher (--name)
    bool schedule = true; // scenes recall by their schedules
    bool verbose = false;
    bool help = false;
    // An account command instead of the server ("user add NAME", "token
    // list"...), and its --role; empty to serve.
    QStringList command;
    QString role;
};

// Parses the arguments after the program name with Qt's parser, the MQTT
// options included. Fills *error with one line when they are wrong. env:
// the environment's values the defaults come from (STATE_DIRECTORY,
// XDG_STATE_HOME, HOME, HDMI_MATRIX_MQTT_PASSWORD).
std::optional<Options> parseOptions(QStringList args, const QHash<QString, QString>& env,
                                    QString* error);
// How the web port would face the network: on the loopback address only
// (or not at all), over TLS, or beyond loopback in the clear, which takes
// --web-insecure, else start refuses.
enum class WebExposure { Local, Tls, Insecure, Refused };
WebExposure webExposure(const Options& o);

// "ADDR:PORT" ("[ADDR]:PORT" for IPv6); nothing when it is not one.
std::optional<Endpoint> parseEndpoint(const QString& text);
QString usage();

} // namespace server

#pragma once

#include "frontends/server/mqtt/mqtt_bridge.h"
#include "frontends/server/mqtt/mqtt_client.h"

#include <QString>

#include <variant>

class QCommandLineParser;
class QProcessEnvironment;

namespace mqtt {

// The environment variable the broker password is read from (a password on
// the command line would show in every process list).
inline constexpr char kPasswordVariable[] = "HDMI_MATRIX_MQTT_PASSWORD";

struct Options {
    bool enabled = false; // --mqtt was given
    ClientSettings client;
    BridgeSettings bridge;
};

// A name as one topic level, a client id and a Home Assistant id: lower
// case letters, digits, '_' and '-'.
QString topicSafe(const QString& name);

// Adds --mqtt, --mqtt-ca, --mqtt-user, --mqtt-password-file, --mqtt-prefix,
// --ha-prefix and --no-ha to a program's options.
void addOptions(QCommandLineParser& parser);

// The settings the options ask for, or what is wrong with them, in words for
// the operator. `name` is the server's --name; the version is the server's.
std::variant<Options, QString> optionsFrom(const QCommandLineParser& parser, const QString& name,
                                           const QProcessEnvironment& environment);

} // namespace mqtt

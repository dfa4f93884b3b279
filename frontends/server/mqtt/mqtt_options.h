#pragma once

#include <QCommandLineOption>
#include <QList>

#include "frontends/server/mqtt/mqtt_bridge.h"
#include "frontends/server/mqtt/mqtt_client.h"

#include <QHash>
#include <QString>

#include <variant>

class QCommandLineParser;

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

// Adds --mqtt URL, --mqtt-ca FILE, --mqtt-user NAME, --mqtt-password-file
// FILE, --mqtt-prefix PREFIX, --ha-prefix PREFIX and --no-ha to a program's
// parser, so that one parse reads them with the program's own options.
void addOptions(QCommandLineParser& parser);
// The settings a parser that took addOptions() found, or what is wrong with
// them in words for the operator. `environment` holds the password
// variable, if set.
std::variant<Options, QString> readOptions(const QCommandLineParser& parser,
                                           const QHash<QString, QString>& environment);

// Names the switcher (the program's --name): its id in the topics, the
// client id, the will and Home Assistant's device name.
void nameSwitcher(Options& options, const QString& name);

// The options, with the descriptions a program's --help shows.
QList<QCommandLineOption> options();

} // namespace mqtt

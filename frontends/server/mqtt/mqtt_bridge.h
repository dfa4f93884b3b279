#pragma once

#include "frontends/server/mqtt/backend.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>

namespace mqtt {

class MqttClient;

struct BridgeSettings {
    QString prefix = QStringLiteral("hdmi-matrix");
    QString id;   // topic-safe, unique on the broker
    QString name; // what people call the switcher
    QString haPrefix = QStringLiteral("homeassistant");
    bool homeAssistant = true;
    QString version; // the server's, shown by Home Assistant
};

// The switcher's state and requests on topics under PREFIX/ID/, and its
// entities in Home Assistant's MQTT discovery. Outputs, inputs and presets
// are numbered from 1, as in the backend.
//
//   status                 online | offline (retained; offline is the will)
//   present                true | false: the switcher answers on its line
//   output/N/input         the routed input 1..8, null while unknown
//   output/N/source        that input's option label, None while unknown
//   output/N/input/set     <- an input's number or label
//   all/set                <- the same, for every output
//   preset/N/recall, preset/N/save   <- any payload
//   input/N/label, output/N/label    the labels
//   instance               "START RANDOM HOST PID": the server publishing here
//   scene/ID/recall        <- any payload: recalls the scene whose id is ID
//   scenes/active          the active scenes' names, a JSON list
//   scenes/ids             {"ID": "name", ...}: which id names which scene
//
// A broker keeps one connection per client id, and the client id follows
// the base topic, so a second server on the same base topic knocks the
// first off at each connection. Each finds the other's instance marker when
// it comes back; both say so in the log, and the one started first leaves
// the broker to the newer one.
//
// Everything published is retained. A request the backend refuses has the
// state published again unchanged, so that a dashboard that showed the
// choice optimistically falls back; a payload that names no input is ignored
// with one log line, as is a retained command (it would act again at every
// reconnection).
class MqttBridge : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxPayload = 256;

    // Publishes everything at once (the client sends it when connected) and
    // subscribes to the commands.
    MqttBridge(Backend& backend, MqttClient& client, BridgeSettings settings,
               QObject* parent = nullptr);

    // The base topic PREFIX/ID.
    QString base() const { return base_; }
    // Publishes `offline` and says goodbye to the broker.
    void shutdown();

    // The label an input has in Home Assistant's choice list: its own, told
    // apart by its number where two inputs share it or it is empty.
    QString option(int input) const;
    // The scenes by their ids in the topics (id -> name), each made from
    // its name as the switcher's is from --name; two names that make one
    // id are told apart by a number ("lecture", "lecture_2"), in the order
    // of the names.
    QHash<QString, QString> sceneIds() const;

private:
    void publish(const QString& rest, const QByteArray& payload);
    void publishOutput(int output);
    void publishInputLabel(int input);
    void publishOutputLabel(int output);
    void publishPresent();
    void publishDiscovery();
    void publishSelect(int output);
    void publishConfig(const QString& component, const QString& object, QJsonObject config,
                       bool needsSwitcher);
    void onMessage(const QString& topic, const QByteArray& payload, bool retained);
    void command(const QStringList& parts, const QByteArray& payload);
    int parseInput(const QByteArray& payload) const;
    void onInstance(const QByteArray& payload, bool retained);
    void publishScenes();

    Backend& backend_;
    MqttClient& client_;
    BridgeSettings settings_;
    QString base_;
    QString key_; // the unique ids' stem in Home Assistant
    bool optionsPending_ = false;
    QByteArray instance_; // this server's marker
    int connections_ = 0;
    QStringList sceneButtons_; // the ids of the scenes' buttons in Home Assistant
};

} // namespace mqtt

#include "frontends/server/mqtt/mqtt_bridge.h"

#include "core/protocol/numbers.h"

#include "frontends/server/mqtt/mqtt_client.h"
#include "frontends/server/mqtt/mqtt_options.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTimer>
#include <QtDebug>

#include <utility>

namespace mqtt {

namespace {

// A payload in one log line.
QString shown(const QByteArray& payload) {
    QString text = QString::fromUtf8(payload.left(64));
    for (QChar& c : text) {
        if (!c.isPrint())
            c = QLatin1Char('?');
    }
    return text;
}

} // namespace

MqttBridge::MqttBridge(Backend& backend, MqttClient& client, BridgeSettings settings,
                       QObject* parent)
    : QObject(parent), backend_(backend), client_(client), settings_(std::move(settings)),
      base_(settings_.prefix + QLatin1Char('/') + settings_.id),
      key_(QString(settings_.prefix).replace(QLatin1Char('/'), QLatin1Char('_')) +
           QLatin1Char('_') + settings_.id) {
    connect(&backend_, &Backend::presentChanged, this, &MqttBridge::publishPresent);
    connect(&backend_, &Backend::inputChanged, this, &MqttBridge::publishOutput);
    connect(&backend_, &Backend::outputLabelChanged, this, [this](int output) {
        publishOutputLabel(output);
        if (settings_.homeAssistant)
            publishSelect(output);
    });
    connect(&backend_, &Backend::inputLabelChanged, this, [this](int input) {
        publishInputLabel(input);
        // Every output's source and choice list (a shared label changes the
        // options of other inputs too), once for a whole set of renamings.
        if (std::exchange(optionsPending_, true))
            return;
        QTimer::singleShot(0, this, [this] {
            optionsPending_ = false;
            for (int o = 1; o <= backend_.model().outputs; ++o) {
                publishOutput(o);
                if (settings_.homeAssistant)
                    publishSelect(o);
            }
        });
    });
    connect(&backend_, &Backend::scenesChanged, this, &MqttBridge::publishScenes);
    connect(&client_, &MqttClient::message, this, &MqttBridge::onMessage);
    connect(&client_, &MqttClient::connected, this, [this] { ++connections_; });

    // Markers compare as their start times (fixed width), then at random.
    instance_ = QByteArray::number(QDateTime::currentMSecsSinceEpoch()).rightJustified(15, '0') +
                ' ' + QByteArray::number(QRandomGenerator::global()->generate64(), 16) + ' ' +
                QSysInfo::machineHostName().toUtf8() + ' ' +
                QByteArray::number(QCoreApplication::applicationPid());
    publish(QStringLiteral("instance"), instance_);
    client_.subscribe(base_ + QStringLiteral("/instance"));
    publish(QStringLiteral("status"), "online");
    publishPresent();
    for (int i = 1; i <= backend_.model().inputs; ++i)
        publishInputLabel(i);
    for (int o = 1; o <= backend_.model().outputs; ++o) {
        publishOutputLabel(o);
        publishOutput(o);
    }
    if (settings_.homeAssistant) {
        publishDiscovery();
        client_.subscribe(settings_.haPrefix + QStringLiteral("/status"));
    }
    publishScenes();
    for (const char* filter : {"/output/+/input/set", "/all/set", "/preset/+/recall",
                               "/preset/+/save", "/scene/+/recall"})
        client_.subscribe(base_ + QLatin1String(filter));
}

void MqttBridge::shutdown() {
    publish(QStringLiteral("status"), "offline");
    client_.stop();
}

QString MqttBridge::option(int input) const {
    // Plain where it can name nothing else: not shared (blanks around it do
    // not tell labels apart), not empty, not None (Home Assistant's
    // "unknown"), not a number (a number payload is the input's number), and
    // not ending like "Camera (3)", the form that names input 3.
    static const QRegularExpression numbered(QStringLiteral("\\([0-9]+\\)$"));
    const QString label = backend_.inputLabel(input).trimmed();
    bool isNumber = false;
    label.toLongLong(&isNumber);
    bool plain = !label.isEmpty() && label != QLatin1String("None") && !isNumber &&
                 !numbered.match(label).hasMatch();
    for (int i = 1; i <= backend_.model().inputs && plain; ++i)
        plain = i == input || backend_.inputLabel(i).trimmed() != label;
    return plain ? label : QStringLiteral("%1 (%2)").arg(label).arg(input).trimmed();
}

void MqttBridge::publish(const QString& rest, const QByteArray& payload) {
    client_.publish(base_ + QLatin1Char('/') + rest, payload, true);
}

void MqttBridge::publishOutput(int output) {
    const int input = backend_.input(output);
    const QString stem = QStringLiteral("output/%1/").arg(output);
    publish(stem + QStringLiteral("input"),
            input == 0 ? QByteArray("null") : QByteArray::number(input));
    // Home Assistant takes "None" as "unknown" in a select's state.
    publish(stem + QStringLiteral("source"),
            input == 0 ? QByteArray("None") : option(input).toUtf8());
}

void MqttBridge::publishInputLabel(int input) {
    publish(QStringLiteral("input/%1/label").arg(input), backend_.inputLabel(input).toUtf8());
}

void MqttBridge::publishOutputLabel(int output) {
    publish(QStringLiteral("output/%1/label").arg(output), backend_.outputLabel(output).toUtf8());
}

void MqttBridge::publishPresent() {
    publish(QStringLiteral("present"), backend_.present() ? "true" : "false");
}

void MqttBridge::publishDiscovery() {
    for (int o = 1; o <= backend_.model().outputs; ++o)
        publishSelect(o);
    for (int p = 1; p <= backend_.model().presets; ++p) {
        publishConfig(QStringLiteral("button"), QStringLiteral("preset_%1").arg(p),
                      {{"name", QStringLiteral("Recall preset %1").arg(p)},
                       {"command_topic", base_ + QStringLiteral("/preset/%1/recall").arg(p)},
                       {"payload_press", "PRESS"},
                       {"icon", "mdi:playlist-play"}},
                      true);
    }
    publishConfig(QStringLiteral("binary_sensor"), QStringLiteral("serial_line"),
                  {{"name", "Serial line"},
                   {"device_class", "connectivity"},
                   {"entity_category", "diagnostic"},
                   {"state_topic", base_ + QStringLiteral("/present")},
                   {"payload_on", "true"},
                   {"payload_off", "false"}},
                  false);
}

QHash<QString, QString> MqttBridge::sceneIds() const {
    QHash<QString, QString> ids; // id -> name
    for (const QString& name : backend_.scenes()) {
        QString base = topicSafe(name);
        if (base.isEmpty())
            base = QStringLiteral("scene");
        QString id = base;
        for (int n = 2; ids.contains(id); ++n)
            id = QStringLiteral("%1_%2").arg(base).arg(n);
        ids.insert(id, name);
    }
    return ids;
}

void MqttBridge::publishScenes() {
    const QHash<QString, QString> ids = sceneIds();
    QJsonObject names;
    for (auto it = ids.cbegin(); it != ids.cend(); ++it)
        names.insert(it.key(), it.value());
    publish(QStringLiteral("scenes/ids"), QJsonDocument(names).toJson(QJsonDocument::Compact));
    publish(QStringLiteral("scenes/active"),
            QJsonDocument(QJsonArray::fromStringList(backend_.activeScenes()))
                .toJson(QJsonDocument::Compact));
    if (!settings_.homeAssistant)
        return;
    // A button per scene; a scene gone takes its button with it (an empty
    // retained config removes the entity).
    for (const QString& id : std::as_const(sceneButtons_))
        if (!ids.contains(id))
            client_.publish(
                QStringLiteral("%1/button/%2/scene_%3/config").arg(settings_.haPrefix, key_, id),
                {}, true);
    sceneButtons_ = ids.keys();
    for (auto it = ids.cbegin(); it != ids.cend(); ++it)
        publishConfig(QStringLiteral("button"), QStringLiteral("scene_") + it.key(),
                      {{"name", it.value()},
                       {"command_topic", base_ + QStringLiteral("/scene/%1/recall").arg(it.key())},
                       {"payload_press", "PRESS"},
                       {"icon", "mdi:palette"}},
                      true);
}

void MqttBridge::publishSelect(int output) {
    QJsonArray options;
    for (int i = 1; i <= backend_.model().inputs; ++i)
        options.append(option(i));
    const QString stem = base_ + QStringLiteral("/output/%1/").arg(output);
    publishConfig(QStringLiteral("select"), QStringLiteral("output_%1").arg(output),
                  {{"name", backend_.outputLabel(output)},
                   {"state_topic", stem + QStringLiteral("source")},
                   {"command_topic", stem + QStringLiteral("input/set")},
                   {"options", options},
                   {"icon", "mdi:video-input-hdmi"}},
                  true);
}

void MqttBridge::publishConfig(const QString& component, const QString& object, QJsonObject config,
                               bool needsSwitcher) {
    QJsonArray availability{QJsonObject{{"topic", base_ + QStringLiteral("/status")},
                                        {"payload_available", "online"},
                                        {"payload_not_available", "offline"}}};
    // A control works only while the switcher behind the server is there too.
    if (needsSwitcher) {
        availability.append(QJsonObject{{"topic", base_ + QStringLiteral("/present")},
                                        {"payload_available", "true"},
                                        {"payload_not_available", "false"}});
        config.insert("availability_mode", "all");
    }
    config.insert("availability", availability);
    config.insert("unique_id", key_ + QLatin1Char('_') + object);
    config.insert("device", QJsonObject{{"identifiers", QJsonArray{key_}},
                                        {"name", settings_.name},
                                        {"model", "8x8 HDMI matrix"},
                                        {"sw_version", settings_.version}});
    client_.publish(
        QStringLiteral("%1/%2/%3/%4/config").arg(settings_.haPrefix, component, key_, object),
        QJsonDocument(config).toJson(QJsonDocument::Compact), true);
}

void MqttBridge::onMessage(const QString& topic, const QByteArray& payload, bool retained) {
    if (settings_.homeAssistant && topic == settings_.haPrefix + QStringLiteral("/status")) {
        if (payload == "online") // Home Assistant started again and forgot us
            publishDiscovery();
        return;
    }
    if (!topic.startsWith(base_ + QLatin1Char('/')))
        return;
    if (topic == base_ + QStringLiteral("/instance")) {
        onInstance(payload, retained);
        return;
    }
    if (retained) {
        qWarning().noquote() << "MQTT: ignored a retained command on" << topic;
        return;
    }
    command(topic.mid(base_.size() + 1).split(QLatin1Char('/')), payload);
}

void MqttBridge::command(const QStringList& parts, const QByteArray& payload) {
    const QString what = parts.join(QLatin1Char('/'));
    // Refused at once, or not carried out by the switcher: one log line,
    // and the outputs concerned published again as the switcher has them,
    // so that a dashboard that showed the choice at once falls back.
    const auto outcome = [this, what](const QList<int>& outputs) {
        return [this, what, outputs](Outcome o) {
            if (server::accepted(o))
                return;
            qInfo().noquote() << QStringLiteral("MQTT: %1 %2: %3")
                                     .arg(o == Outcome::Failed || o == Outcome::TimedOut
                                              ? QStringLiteral("not carried out")
                                              : QStringLiteral("refused"),
                                          what, server::outcomeWords(o));
            for (const int output : outputs)
                publishOutput(output);
        };
    };
    const auto ask = [&](const QList<int>& outputs, auto request) {
        const auto report = outcome(outputs);
        report(request(report));
    };
    QList<int> every;
    for (int o = 1; o <= backend_.model().outputs; ++o)
        every.append(o);
    const int input = parseInput(payload);
    if (parts.size() == 4 && parts[0] == "output" && parts[2] == "input" && parts[3] == "set") {
        const int output = protocol::portNumber(parts[1], backend_.model().outputs);
        if (output > 0 && input > 0) {
            ask({output}, [&](auto f) { return backend_.requestRoute(output, input, f); });
            return;
        }
    } else if (parts == QStringList{"all", "set"} && input > 0) {
        ask(every, [&](auto f) { return backend_.allOutputs(input, f); });
        return;
    } else if (parts.size() == 3 && parts[0] == "preset") {
        const int preset = protocol::portNumber(parts[1], backend_.model().presets);
        if (preset > 0 && parts[2] == "recall") {
            ask({}, [&](auto f) { return backend_.recallPreset(preset, f); });
            return;
        }
        if (preset > 0 && parts[2] == "save") {
            ask({}, [&](auto f) { return backend_.savePreset(preset, f); });
            return;
        }
    } else if (parts.size() == 3 && parts[0] == "scene" && parts[2] == "recall") {
        const QString name = sceneIds().value(parts[1]);
        if (!name.isEmpty()) {
            ask({}, [&](auto f) { return backend_.recallScene(name, f); });
            return;
        }
    }
    qWarning().noquote() << QStringLiteral("MQTT: ignored a malformed command on %1/%2: \"%3\"")
                                .arg(base_, what, shown(payload));
}

void MqttBridge::onInstance(const QByteArray& payload, bool retained) {
    // Another server's marker, stored by the broker since this one last
    // published its own: it came while this one was off, knocked off by it.
    // A stranger's marker at the first connection is a server gone before.
    if (!retained || payload == instance_ || connections_ < 2)
        return;
    const QList<QByteArray> other = payload.split(' ');
    // The older of the two leaves: a newer server is a newer configuration.
    const bool leave = payload > instance_;
    qWarning().noquote()
        << QStringLiteral("MQTT: another server (host %1, process %2) publishes as %3, and the "
                          "broker drops one of them whenever the other connects: give each its "
                          "own --name or --mqtt-prefix. %4")
               .arg(QString::fromUtf8(other.value(2)), QString::fromUtf8(other.value(3)), base_,
                    leave ? QStringLiteral("This one, the older, leaves the broker to it.")
                          : QStringLiteral("The older of the two leaves the broker."));
    if (leave) // not from inside the library's callback
        QTimer::singleShot(0, &client_, &MqttClient::stop);
}

int MqttBridge::parseInput(const QByteArray& payload) const {
    if (payload.size() > kMaxPayload)
        return 0;
    const QString text = QString::fromUtf8(payload).trimmed();
    if (const int n = protocol::portNumber(text, backend_.model().inputs))
        return n;
    // An option names one input; a label only when no other input has it.
    int byLabel = 0;
    for (int i = 1; i <= backend_.model().inputs && !text.isEmpty(); ++i) {
        if (text == option(i))
            return i;
        if (text == backend_.inputLabel(i).trimmed())
            byLabel = byLabel == 0 ? i : -1;
    }
    return byLabel > 0 ? byLabel : 0;
}

} // namespace mqtt

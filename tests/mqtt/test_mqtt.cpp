// The MQTT front end against Debian's broker, started here on a free
// loopback port, and a backend that records what reaches it.
#include "frontends/server/mqtt/mqtt_bridge.h"
#include "frontends/server/mqtt/mqtt_client.h"
#include "frontends/server/mqtt/mqtt_options.h"
#include "tests/mqtt/broker.h"
#include "tests/support/certificates.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace mqtt;

namespace {

class FakeBackend : public Backend {
public:
    int routes[8] = {1, 2, 3, 4, 5, 6, 7, 0};
    QString labels[8] = {"Input 1", "Input 2", "Input 3", "Input 4",
                         "Input 5", "Input 6", "Input 7", "Input 8"};
    int locked = 4;
    QStringList calls;
    bool present() const override { return true; }
    int input(int output) const override { return routes[output - 1]; }
    QString inputLabel(int input) const override { return labels[input - 1]; }
    QString outputLabel(int output) const override {
        return QStringLiteral("Hall %1").arg(output - 1);
    }
    Outcome requestRoute(int output, int input, Finished) override {
        calls << QStringLiteral("route %1 %2").arg(output).arg(input);
        return output == locked ? Outcome::Locked : Outcome::Queued;
    }
    Outcome allOutputs(int input, Finished) override { return log("all", input); }
    Outcome recallPreset(int preset, Finished) override { return log("recall", preset); }
    Outcome savePreset(int preset, Finished) override { return log("save", preset); }
    Outcome log(const char* what, int n) {
        calls << QStringLiteral("%1 %2").arg(QLatin1String(what)).arg(n);
        return Outcome::Queued;
    }
};

const QString kBase = QStringLiteral("hdmi-matrix/rack-1/");

} // namespace

class TestMqtt : public QObject {
    Q_OBJECT
    Broker broker;
    FakeBackend backend;
    std::unique_ptr<MqttClient> client, watcher;
    std::unique_ptr<MqttBridge> bridge;
    QHash<QString, QByteArray> seen;
    QHash<QString, int> counts;
    const quint16 tlsPort = [] {
        QTcpServer probe;
        return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
    }();

    // What the server's options make of --mqtt, --mqtt-prefix and --name.
    Options optionsFor(const QString& name, const QString& prefix = "hdmi-matrix") {
        QCommandLineParser parser;
        addOptions(parser);
        parser.parse({"server", "--mqtt", QStringLiteral("mqtt://localhost:%1").arg(broker.port),
                      "--mqtt-prefix", prefix});
        Options made = std::get<Options>(readOptions(parser, {}));
        nameSwitcher(made, name);
        made.bridge.version = "1.2.3";
        return made;
    }
    std::unique_ptr<MqttBridge> bridgeOn(MqttClient& on, const QString& name) {
        auto made = std::make_unique<MqttBridge>(backend, on, optionsFor(name).bridge);
        on.start();
        return made;
    }
    QJsonValue field(const QString& topic, const QString& path) {
        QJsonValue value = QJsonDocument::fromJson(seen.value(topic)).object();
        for (const QString& key : path.split('/')) {
            bool index = false;
            const int n = key.toInt(&index);
            value = index ? value.toArray().at(n) : value.toObject().value(key);
        }
        return value;
    }

private slots:
    void options_data() {
        QTest::addColumn<QString>("row"); // arguments | the options or the error
        QTest::newRow("plain")
            << "-v --mqtt mqtt://broker.lan --name Hall|broker.lan 1883 plain : -v --name Hall";
        QTest::newRow("tls") << "--mqtt=mqtts://[::1] --mqtt-ca ca.pem|::1 8883 tls : ";
        QTest::newRow("password")
            << "--mqtt mqtt://10.0.0.2:1884 --mqtt-user hall|10.0.0.2 1884 plain hall:secret ";
        QTest::newRow("url password") << "--mqtt mqtt://u:p@host|--mqtt takes";
        QTest::newRow("ca plain") << "--mqtt mqtt://h --mqtt-ca ca.pem|--mqtt-ca needs an";
        QTest::newRow("no broker") << "--no-ha|--no-ha needs --mqtt";
        QTest::newRow("password, no user") << "--mqtt mqtt://h|a broker password needs";
        QTest::newRow("wildcard") << "--mqtt mqtt://h --mqtt-prefix a/#|\"a/#\" is no";
    }
    void options() {
        QFETCH(QString, row);
        QCommandLineParser parser;
        addOptions(parser);
        parser.addOptions({{"v", ""}, {"name", "", "TEXT"}});
        QVERIFY(parser.parse(QStringList{"server"} + row.section('|', 0, 0).split(' ')));
        QStringList list; // the program's own options
        if (parser.isSet("v"))
            list << "-v";
        if (parser.isSet("name"))
            list << "--name" << parser.value("name");
        const QString result = row.section('|', 1);
        QHash<QString, QString> environment;
        if (QByteArray(QTest::currentDataTag()).contains("password"))
            environment.insert(kPasswordVariable, "secret");
        const auto taken = readOptions(parser, environment);
        const auto* o = std::get_if<Options>(&taken);
        QCOMPARE(o ? QStringLiteral("%1 %2 %3 %4:%5 %6")
                         .arg(o->client.host)
                         .arg(o->client.port)
                         .arg(o->client.tls ? "tls" : "plain", o->client.user,
                              o->client.user.isEmpty() ? "" : o->client.password, list.join(' '))
                   : std::get<QString>(taken).left(result.size()),
                 result);
        QCOMPARE(topicSafe(" Studio A / Rack 2"), "studio-a-rack-2");
    }

    void initTestCase() {
        // A throwaway CA signs the broker's certificate; another CA does not.
        QDir::setCurrent(broker.dir.path());
        QVERIFY(makeCertificate("ca") && makeCertificate("other") &&
                makeCertificate("localhost", "ca"));
        // As root the broker would read its key as the user mosquitto.
        broker.more =
            QStringLiteral("log_type all\nuser root\nlistener %1 127.0.0.1\ncafile ca.pem\n"
                           "certfile localhost.pem\nkeyfile localhost.key\n")
                .arg(tlsPort);
        QVERIFY(broker.start());
        client = std::make_unique<MqttClient>(optionsFor("Rack 1").client);
        bridge = bridgeOn(*client, "Rack 1");
        watcher = std::make_unique<MqttClient>(optionsFor("watcher").client);
        connect(watcher.get(), &MqttClient::message, this,
                [this](const QString& topic, const QByteArray& payload) {
                    seen[topic] = payload;
                    ++counts[topic];
                });
        watcher->subscribe("#");
        watcher->start();
        QTRY_COMPARE(seen.value(kBase + "status"), "online");
    }

    void discovery_data() {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("field"); // path=value
        const QString select = "homeassistant/select/hdmi-matrix_rack-1/output_2/config";
        QTest::newRow("select state") << select << "state_topic=" + kBase + "output/2/source";
        QTest::newRow("select command")
            << select << "command_topic=" + kBase + "output/2/input/set";
        QTest::newRow("select option") << select << "options/7=Input 8";
        QTest::newRow("select name") << select << "name=Hall 1";
        QTest::newRow("select id") << select << "unique_id=hdmi-matrix_rack-1_output_2";
        QTest::newRow("availability") << select << "availability/1/topic=" + kBase + "present";
        QTest::newRow("device") << select << "device/identifiers/0=hdmi-matrix_rack-1";
        QTest::newRow("model") << select << "device/model=8x8 HDMI matrix";
        QTest::newRow("version") << select << "device/sw_version=1.2.3";
        QTest::newRow("button") << "homeassistant/button/hdmi-matrix_rack-1/preset_3/config"
                                << "command_topic=" + kBase + "preset/3/recall";
        const QString line = "homeassistant/binary_sensor/hdmi-matrix_rack-1/serial_line/config";
        QTest::newRow("line class") << line << "device_class=connectivity";
    }
    void discovery() {
        QFETCH(QString, topic);
        QFETCH(QString, field);
        QTRY_VERIFY(seen.contains(topic));
        QCOMPARE(this->field(topic, field.section('=', 0, 0)).toString(), field.section('=', 1));
    }

    void commands_data() {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("calls");
        QTest::newRow("by number") << "output/2/input/set" << QByteArray("5") << "route 2 5";
        QTest::newRow("by label") << "output/1/input/set" << QByteArray("Input 7") << "route 1 7";
        QTest::newRow("all") << "all/set" << QByteArray(" 3\n") << "all 3";
        QTest::newRow("recall") << "preset/2/recall" << QByteArray("PRESS") << "recall 2";
        QTest::newRow("save") << "preset/3/save" << QByteArray() << "save 3";
        QTest::newRow("locked") << "output/4/input/set" << QByteArray("1") << "route 4 1";
        QTest::newRow("no input 9") << "output/1/input/set" << QByteArray("9") << "";
        QTest::newRow("no label") << "output/1/input/set" << QByteArray("Nowhere") << "";
        QTest::newRow("no output 9") << "output/9/input/set" << QByteArray("1") << "";
        QTest::newRow("too long") << "all/set" << QByteArray(300, '1') << "";
    }
    void commands() {
        QFETCH(QString, topic);
        QFETCH(QByteArray, payload);
        QFETCH(QString, calls);
        if (calls.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("malformed command on " + kBase));
        const int before = counts.value(kBase + "output/4/input");
        backend.calls.clear();
        watcher->publish(kBase + topic, payload, false);
        watcher->publish(kBase + "preset/1/save", "after", false);
        QTRY_COMPARE(backend.calls.value(backend.calls.size() - 1), "save 1");
        QCOMPARE(backend.calls.mid(0, backend.calls.size() - 1).join(';'), calls);
        // A locked output's state is published again, unchanged.
        if (QTest::currentDataTag() == QLatin1String("locked")) {
            QTRY_COMPARE(counts.value(kBase + "output/4/input"), before + 1);
            QCOMPARE(seen.value(kBase + "output/4/input"), "4");
        }
    }

    // Each option routes the input it names, a number stays an input's number.
    void optionsNameOneInput_data() {
        QTest::addColumn<QString>("labels"); // input=label,...
        QTest::newRow("number") << "0=5";
        QTest::newRow("numbered") << "1=Camera (3),2=Camera,5=Camera";
        QTest::newRow("blanks") << "3=Desk ,4= Desk,6=None,7=";
    }
    void optionsNameOneInput() {
        QFETCH(QString, labels);
        for (const QString& set : labels.split(','))
            backend.labels[set.section('=', 0, 0).toInt()] = set.section('=', 1);
        QSet<QString> options;
        for (int i = 1; i <= 8; ++i) {
            options << bridge->option(i);
            backend.calls.clear();
            watcher->publish(kBase + "output/1/input/set", bridge->option(i).toUtf8(), false);
            QTRY_COMPARE(backend.calls, QStringList{QStringLiteral("route 1 %1").arg(i)});
        }
        QCOMPARE(options.size(), 8);
        backend.calls.clear();
        watcher->publish(kBase + "output/1/input/set", "5", false);
        QTRY_COMPARE(backend.calls, QStringList{"route 1 5"});
        for (int i = 0; i < 8; ++i)
            backend.labels[i] = QStringLiteral("Input %1").arg(i + 1);
    }

    void unaskedChangeIsRetained() {
        QCOMPARE(seen.value(kBase + "output/8/input"), "null");
        backend.routes[7] = 3;
        emit backend.inputChanged(8);
        MqttClient late(optionsFor("late").client);
        QHash<QString, QByteArray> stored;
        connect(&late, &MqttClient::message, this,
                [&](const QString& topic, const QByteArray& payload, bool retained) {
                    if (retained)
                        stored[topic] = payload;
                });
        late.subscribe(kBase + "#");
        QTRY_COMPARE(seen.value(kBase + "output/8/input"), "3");
        late.start();
        QTRY_COMPARE(stored.value(kBase + "output/8/input"), "3");
        QCOMPARE(stored.value(kBase + "output/8/source"), "Input 3");
    }

    void renamedInputUpdatesOptions() {
        backend.labels[2] = "Blu-ray";
        emit backend.inputLabelChanged(3);
        const QString select = "homeassistant/select/hdmi-matrix_rack-1/output_5/config";
        QTRY_COMPARE(field(select, "options/2").toString(), "Blu-ray");
        QCOMPARE(seen.value(kBase + "input/3/label"), "Blu-ray");
        QTRY_COMPARE(seen.value(kBase + "output/8/source"), "Blu-ray"); // published after output 5
    }

    void homeAssistantBackGetsDiscovery() {
        const QString button = "homeassistant/button/hdmi-matrix_rack-1/preset_2/config";
        const int before = counts.value(button);
        watcher->publish("homeassistant/status", "online", false);
        QTRY_COMPARE(counts.value(button), before + 1);
    }

    void lastWillOnAbruptClose() {
        auto other = std::make_unique<MqttClient>(optionsFor("Rack 2").client);
        auto otherBridge = bridgeOn(*other, "Rack 2");
        QTRY_COMPARE(seen.value("hdmi-matrix/rack-2/status"), "online");
        other.reset(); // the socket closes without a goodbye, as when killed
        QTRY_COMPARE(seen.value("hdmi-matrix/rack-2/status"), "offline");
    }

    // Sites' servers of one name stay on; of two on one base topic the older leaves.
    void serversShareABroker() {
        const Options a = optionsFor("HDMI Matrix", "site-a/matrix");
        QVERIFY(a.client.clientId != optionsFor("HDMI Matrix", "site-b/matrix").client.clientId);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("another server .* publishes as "
                                                "site-a/matrix/hdmi-matrix, .* older,"));
        MqttClient first(a.client), second(a.client);
        MqttBridge one(backend, first, a.bridge);
        first.start();
        QTRY_VERIFY(first.isConnected());
        MqttBridge two(backend, second, a.bridge); // started later
        QSignalSpy secondOn(&second, &MqttClient::connected);
        second.start();
        QTRY_COMPARE_WITH_TIMEOUT(secondOn.count(), 2, 10000); // knocked off once, back
        QVERIFY(!first.isConnected() && second.isConnected());
    }

    // A call the library refuses is logged, once.
    void refusedCallsAreLogged() {
        const QString refused = "MQTT: %1 failed: Invalid function arguments provided.";
        QTest::ignoreMessage(QtWarningMsg, qPrintable(refused.arg("publishing on bad/+")));
        QTest::ignoreMessage(QtWarningMsg, qPrintable(refused.arg("subscribing to bad/#/x")));
        QTest::failOnWarning(QRegularExpression("MQTT: .* failed"));
        client->publish("bad/+", "x", false);
        client->publish("bad/+", "x", false);
        client->subscribe("bad/#/x");
    }

    // Idle, the client pings once a keep-alive (and a second) has passed.
    void keepAliveHoldsAnIdleConnection() {
        ClientSettings idle = optionsFor("Rack 3").client;
        idle.keepAliveS = 5; // the library takes no less
        MqttClient quiet(idle);
        quiet.start();
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT(
            (said += broker.process.readAll()).contains("PINGREQ from hdmi-matrix-rack-3"), 8000);
    }

    // The server as a process, killed: the broker publishes its will. Over
    // TLS too; a broker whose CA is not the one given is tried again.
    void killedServer_data() {
        QTest::addColumn<QString>("ca");       // none: plain
        QTest::addColumn<QByteArray>("input"); // routed to output 3; none: no connection
        QTest::newRow("plain") << "" << QByteArray("6");
        QTest::newRow("tls") << "ca" << QByteArray("7");
        QTest::newRow("tls, wrong ca") << "other" << QByteArray();
    }
    void killedServer() {
        QFETCH(QString, ca);
        QFETCH(QByteArray, input);
        QProcess sim, server;
        sim.start(HDMI_SIM_PATH, {"--tcp", "0", "--quiet"});
        QByteArray banner, said, brokerSaid;
        QTRY_VERIFY((banner += sim.readAll()).contains('\n'));
        const QString url =
            ca.isEmpty()
                ? QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port)
                : QStringLiteral("mqtts://127.0.0.1:%1 --mqtt-ca %2.pem").arg(tlsPort).arg(ca);
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.start(
            HDMI_SERVER_PATH,
            QStringLiteral("--port %1 --videohub 127.0.0.1:0 --no-line --no-web "
                           "--name Hall --state-dir . --mqtt %2")
                .arg(QString::fromLatin1(banner.mid(banner.indexOf("tcp://")).trimmed()), url)
                .split(' '));
        const QString hall = "hdmi-matrix/hall/";
        seen.remove(hall + "present");
        if (input.isEmpty()) {
            QTRY_VERIFY(
                (said += server.readAll()).contains(": TLS: certificate verify failed; trying"));
            QTRY_VERIFY((brokerSaid += broker.process.readAll()).count("unknown ca") >= 2);
            QCOMPARE(server.state(), QProcess::Running);
        } else {
            QTRY_COMPARE(seen.value(hall + "status"), "online");
            QTRY_COMPARE(seen.value(hall + "present"), "true");
            watcher->publish(hall + "output/3/input/set", input, false);
            QTRY_COMPARE(seen.value(hall + "output/3/input"), input);
            server.kill(); // SIGKILL: no goodbye
            QTRY_COMPARE(seen.value(hall + "status"), "offline");
        }
        server.kill();
        sim.kill();
        QTRY_VERIFY(server.state() == QProcess::NotRunning && sim.state() == QProcess::NotRunning);
    }

    // A flood of states for one topic while acknowledgements lag: the
    // library is handed 64, then only the topic's latest, and the other
    // topic held with it, as acknowledgements come in.
    void statesWaitForAcknowledgements() {
        QTcpServer fake; // a broker that takes everything and acknowledges late
        QVERIFY(fake.listen(QHostAddress::LocalHost));
        QByteArray in;
        QList<QByteArray> published; // "topic=payload"
        QTcpSocket* peer = nullptr;
        connect(&fake, &QTcpServer::newConnection, this, [&] {
            peer = fake.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, this, [&] {
                in += peer->readAll();
                // Whole packets of at most 127 bytes: one length byte.
                while (in.size() >= 2 && in.size() >= 2 + in[1]) {
                    const QByteArray p = in.mid(2, in[1]);
                    if ((in[0] & 0xf0) == 0x10)
                        peer->write(QByteArray("\x20\x02\x00\x00", 4)); // CONNACK
                    if ((in[0] & 0xf0) == 0x30) {
                        const int n = (uchar(p[0]) << 8) | uchar(p[1]);
                        published << p.mid(2, n) + '=' + p.mid(4 + n);
                        peer->write("\x40\x02" + p.mid(2 + n, 2)); // PUBACK
                    }
                    in.remove(0, 2 + in[1]);
                }
            });
        });
        ClientSettings settings;
        settings.host = "127.0.0.1";
        settings.port = fake.serverPort();
        MqttClient late(settings);
        QSignalSpy up(&late, &MqttClient::connected);
        late.start();
        QVERIFY(up.wait());
        for (int i = 1; i <= 200; ++i)
            late.publish("t/a", QByteArray::number(i), true);
        late.publish("t/b", "b", true);
        QTRY_COMPARE(published.size(), MqttClient::kMaxUnacknowledged + 2);
        QTest::qWait(200);
        QCOMPARE(published.size(), MqttClient::kMaxUnacknowledged + 2);
        QCOMPARE(published.mid(63), (QList<QByteArray>{"t/a=64", "t/a=200", "t/b=b"}));
    }

    void brokerRestartGetsEverythingBack() {
        QSignalSpy lost(client.get(), &MqttClient::disconnected);
        broker.stop();
        QVERIFY(lost.wait());
        seen.clear();
        QVERIFY(broker.start());
        QTRY_COMPARE_WITH_TIMEOUT(seen.value(kBase + "status"), "online", 20000);
        QTRY_COMPARE(seen.value(kBase + "output/8/source"), "Blu-ray");
        QTRY_VERIFY(seen.contains("homeassistant/button/hdmi-matrix_rack-1/preset_1/config"));
        watcher->publish(kBase + "output/3/input/set", "Blu-ray", false);
        QTRY_COMPARE(backend.calls.value(backend.calls.size() - 1), "route 3 3");
    }
};

QTEST_GUILESS_MAIN(TestMqtt)
#include "test_mqtt.moc"

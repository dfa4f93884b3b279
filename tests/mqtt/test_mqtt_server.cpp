// The server with MQTT on, its line owned through the in-process simulated
// switcher, against a broker of the test's own.
#include "frontends/server/line_owner.h"
#include "frontends/server/mqtt/mqtt_client.h"
#include "frontends/server/server_app.h"
#include "sim/device.h"
#include "sim/inprocess_port.h"
#include "state/scenes/scene_service.h"
#include "testing/fakes/fake_platform.h"
#include "tests/mqtt/broker.h"

#include <QTcpSocket>
#include <QTest>

class TestMqttServer : public QObject {
    Q_OBJECT
    Broker broker;
    QTemporaryDir dir;
    sim::Device device;
    sim::InProcessPort* made = nullptr;
    platform::FakePlatform platform{{false, true}};
    std::unique_ptr<server::ServerApp> app;
    std::unique_ptr<mqtt::MqttClient> watcher;
    QHash<QString, QByteArray> seen;
    const QString base = "hdmi-matrix/hall/";
    QStringList log;

private slots:
    void initTestCase() {
        QVERIFY(broker.start());
        platform.portFactory = sim::InProcessPort::factory(device, made, true);
        const QString url = QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port);
        QString error;
        const auto options =
            server::parseOptions({"--videohub", "127.0.0.1:0", "--no-line", "--no-web", "--name",
                                  "Hall", "--state-dir", dir.path(), "--mqtt", url},
                                 {}, &error);
        QVERIFY2(options, qPrintable(error));
        app = std::make_unique<server::ServerApp>(platform, *options);
        app->owner().times = {50, 400, 300, 30000};
        connect(app.get(), &server::ServerApp::log, this, [this](const QString& l) { log << l; });
        QVERIFY2(app->start(&error, false), qPrintable(error));
        mqtt::ClientSettings other = options->mqtt.client;
        other.clientId = "watcher";
        watcher = std::make_unique<mqtt::MqttClient>(other);
        watcher->subscribe(base + "#");
        watcher->subscribe("homeassistant/button/#");
        connect(watcher.get(), &mqtt::MqttClient::message, this,
                [this](const QString& topic, const QByteArray& payload) { seen[topic] = payload; });
        watcher->start();
        QTRY_COMPARE(seen.value(base + "present"), "true");
    }

    void routesByNumberAndLabel() {
        watcher->publish(base + "output/3/input/set", "6", false);
        watcher->publish(base + "output/4/input/set", "Input 8", false);
        QTRY_VERIFY(made->written.contains("cir 25\r\n") && made->written.contains("cir 37\r\n"));
        QTRY_COMPARE(seen.value(base + "output/4/input"), "8");
    }

    void lockOverVideohubRefuses() {
        QTcpSocket videohub;
        videohub.connectToHost(QHostAddress::LocalHost, app->videohubPort());
        videohub.write("VIDEO OUTPUT LOCKS:\n1 O\n\n");
        QByteArray got;
        QTRY_VERIFY((got += videohub.readAll()).contains("ACK"));
        seen.remove(base + "output/2/input");
        watcher->publish(base + "output/2/input/set", "5", false);
        QTRY_COMPARE(seen.value(base + "output/2/input"), "2");
        QVERIFY(!made->written.contains("cir 14"));
    }

    // A route the switcher refuses or ignores is logged, and the output's
    // state stays (and is published again as) what the switcher reports.
    void failedRouteIsRepublished_data() {
        QTest::addColumn<bool>("refused");
        QTest::newRow("err") << true;
        QTest::newRow("ignored") << false;
    }
    void failedRouteIsRepublished() {
        QFETCH(bool, refused);
        bool& fault = refused ? device.faults.refuseRoutes : device.faults.ignoreRoutes;
        fault = true;
        log.clear();
        seen.remove(base + "output/6/input");
        watcher->publish(base + "output/6/input/set", "3", false);
        QTRY_COMPARE(seen.value(base + "output/6/input"), "6");
        QVERIFY(made->written.contains("cir 52"));
        QCOMPARE(log.filter("route output 6 to input 3 for mqtt not carried out").size(), 1);
        fault = false;
    }

    // Two names that make one id are told apart; a recall by id goes as one
    // salvo, and a scene's button goes with it.
    void scenesRecallAndButtons() {
        server::SceneStore& store = app->scenes().store();
        QCOMPARE(store.put("Concert", {{5, 1}}, {}), server::SceneStore::Result::Done);
        QCOMPARE(store.put("concert!", {{5, 2}}, {}), server::SceneStore::Result::Done);
        const QString button = "homeassistant/button/hdmi-matrix_hall/scene_concert_2/config";
        QTRY_VERIFY(seen.value(button).contains(R"("name":"concert!")"));
        QCOMPARE(seen.value(base + "scenes/ids"),
                 R"({"concert":"Concert","concert_2":"concert!"})");
        log.clear();
        watcher->publish(base + "scene/concert_2/recall", "PRESS", false);
        QTRY_VERIFY(made->written.contains("cir 41"));
        QTRY_COMPARE(seen.value(base + "scenes/active"), R"(["concert!"])");
        QTRY_VERIFY(!log.filter(R"(audit: mqtt from 127.0.0.1:)")
                         .filter(R"(recall scene "concert!")")
                         .isEmpty());
        QCOMPARE(store.remove("concert!"), server::SceneStore::Result::Done);
        QTRY_COMPARE(seen.value(button, "gone"), "");
        QCOMPARE(seen.value(base + "scenes/active"), "[]");
    }
};

QTEST_GUILESS_MAIN(TestMqttServer)
#include "test_mqtt_server.moc"

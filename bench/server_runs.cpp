#include "bench/server_runs.h"

#include "bench/transfers.h"
#include "frontends/server/line_owner.h"
#include "frontends/server/metrics_page.h"
#include "frontends/server/mqtt/mqtt_client.h"
#include "frontends/server/server_app.h"
#include "sim/device.h"
#include "sim/inprocess_port.h"
#include "state/router_state.h"
#include "testing/fakes/fake_platform.h"
#include "tests/mqtt/broker.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace bench {

namespace {

QString num(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

double percentile(QList<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(qMin<qsizetype>(v.size() - 1, qsizetype(p * v.size())));
}

QString spread(const QList<double>& v, const QString& unit, int decimals) {
    return QStringLiteral("median %1 %4, p99 %2 %4 (%3 runs)")
        .arg(num(median(v), decimals), num(percentile(v, 0.99), decimals))
        .arg(v.size())
        .arg(unit);
}

struct Client {
    explicit Client(quint16 port, const char* from = nullptr) {
        QObject::connect(&s, &QTcpSocket::readyRead, [this] {
            got += s.readAll();
            Poker::poke();
        });
        if (from)
            s.bind(QHostAddress(QLatin1String(from)));
        s.connectToHost(QHostAddress::LocalHost, port);
    }
    QTcpSocket s;
    QByteArray got;
};

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

void inProcess(Table& table, int reps) {
    QTemporaryDir dir;
    sim::Device device;
    sim::InProcessPort* made = nullptr;
    platform::FakePlatform platform{{false, true}};
    platform.portFactory = sim::InProcessPort::factory(device, made, true);
    server::Options o;
    o.videohub = server::Endpoint{QHostAddress(QHostAddress::LocalHost), 0};
    o.line.reset();
    o.web.reset();
    o.stateDir = dir.path();
    o.pollSeconds = 0;
    o.maxClients = 128;
    o.maxPerAddress = 128; // every client comes from 127.0.0.1
    server::ServerApp app(platform, o);
    QString error;
    if (!app.start(&error, false) || !waitFor([&] { return app.state().present(); }, 5000)) {
        table.add({QStringLiteral("server: Videohub route to the wire"), "failed: " + error,
                   "< 1 ms", false, false});
        return;
    }
    qint64 wired = 0;
    device.onLine = [&](const QByteArray& line) {
        if (line.startsWith("cir"))
            wired = nowNs();
        Poker::poke();
    };

    Client one(app.videohubPort());
    waitFor([&] { return one.got.contains("END PRELUDE:"); }, 5000);
    QList<double> routeMs;
    for (int i = 0; i < reps; ++i) {
        const int input = (i + 1) % 8;
        const QByteArray report =
            QStringLiteral("VIDEO OUTPUT ROUTING:\n0 %1\n\n").arg(input).toLatin1();
        one.got.clear();
        wired = 0;
        const qint64 start = nowNs();
        one.s.write(report);
        if (!waitFor([&] { return wired != 0; }, 2000) ||
            !waitFor([&] { return one.got.contains("\n0 " + QByteArray::number(input)); }, 2000))
            break;
        routeMs << (wired - start) / 1e6;
    }
    table.add({QStringLiteral("server: Videohub route, client write to command on the wire"),
               spread(routeMs, "ms", 3), QStringLiteral("median < 1 ms"),
               routeMs.size() == reps && median(routeMs) < 1});

    // The page a scrape gets, with the routes above counted and timed.
    QList<double> pageMs;
    qsizetype pageBytes = 0;
    for (int i = 0; i < reps; ++i) {
        const qint64 start = nowNs();
        pageBytes = app.metrics().render().size();
        pageMs << (nowNs() - start) / 1e6;
    }
    table.add({QStringLiteral("server: metrics page built (%1 bytes)").arg(pageBytes),
               spread(pageMs, "ms", 3), QStringLiteral("median < 1 ms"), median(pageMs) < 1});

    std::vector<std::unique_ptr<Client>> many;
    for (int i = 0; i < 100; ++i)
        many.push_back(std::make_unique<Client>(app.videohubPort()));
    const bool all = waitFor(
        [&] {
            return std::all_of(many.begin(), many.end(),
                               [](const auto& c) { return c->got.contains("END PRELUDE:"); });
        },
        10000);
    QList<double> fanMs;
    for (int i = 0; all && i < reps; ++i) {
        const int input = (i + 3) % 8;
        const QByteArray block = "VIDEO OUTPUT ROUTING:\n1 " + QByteArray::number(input) + "\n\n";
        for (auto& c : many)
            c->got.clear();
        const qint64 start = nowNs();
        made->deliverNow("s2" + QByteArray::number(input + 1) + "\r\n");
        if (!waitFor(
                [&] {
                    return std::all_of(many.begin(), many.end(),
                                       [&](const auto& c) { return c->got.contains(block); });
                },
                5000))
            break;
        fanMs << (nowNs() - start) / 1e6;
    }
    table.add({QStringLiteral("server: routing report broadcast to 100 Videohub clients"),
               spread(fanMs, "ms", 2), QStringLiteral("median < 10 ms"),
               fanMs.size() == reps && median(fanMs) < 10});
}

void realProcess(Table& table, const QString& serverPath, const QString& simPath) {
    const QString name = QStringLiteral("server RSS idle / with 100 clients");
    QProcess sim;
    const QString target = startTcpSimulator(sim, simPath);
    QTemporaryDir dir;
    const quint16 port = freePort();
    QProcess srv;
    srv.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    QByteArray log;
    srv.start(serverPath, {"--port", target, "--videohub", QStringLiteral("127.0.0.1:%1").arg(port),
                           "--no-line", "--no-web", "--state-dir", dir.path(), "--poll", "60",
                           "--max-clients", "128", "--max-per-address", "128"});
    srv.waitForStarted();
    Client probe(port);
    // The server may still be starting: the probe tries again until it is in.
    const bool up = waitFor(
        [&] {
            if (probe.s.state() == QAbstractSocket::UnconnectedState)
                probe.s.connectToHost(QHostAddress::LocalHost, port);
            return probe.got.contains("Device present: true");
        },
        5000);
    if (!up) {
        table.add({name, QStringLiteral("failed: no dump"), "-", false, false});
    } else {
        idleFor(2000);
        const auto before = sampleProcess(srv.processId());
        idleFor(5000);
        const auto after = sampleProcess(srv.processId());
        const auto idle = memoryOf(srv.processId());
        std::vector<std::unique_ptr<Client>> many;
        for (int i = 0; i < 100; ++i)
            many.push_back(std::make_unique<Client>(port));
        waitFor(
            [&] {
                return std::all_of(many.begin(), many.end(),
                                   [](const auto& c) { return c->got.contains("END PRELUDE:"); });
            },
            10000);
        const auto busy = memoryOf(srv.processId());
        if (idle && busy && before && after) {
            const double wakeups = (after->voluntarySwitches - before->voluntarySwitches) / 5.0;
            table.add({name,
                       QStringLiteral("idle %1 KiB anonymous + %2 KiB shared libraries; 100 "
                                      "clients %3 KiB anonymous (+%4 KiB)")
                           .arg(idle->anonKiB)
                           .arg(idle->fileKiB)
                           .arg(busy->anonKiB)
                           .arg(busy->anonKiB - idle->anonKiB),
                       QStringLiteral("measured"), true});
            table.add({QStringLiteral("server idle wake-ups between polls"),
                       QStringLiteral("%1 a second over 5 s (%2 threads)")
                           .arg(num(wakeups, 1))
                           .arg(after->threads),
                       QStringLiteral("0 a second"), wakeups < 0.5});
        }
    }
    srv.terminate();
    srv.waitForFinished(3000);
    table.note(QStringLiteral("server: SIGTERM exit code %1").arg(srv.exitCode()));
    sim.kill();
    sim.waitForFinished();
}

// The program's paced EDID read through the server's line port (the server
// on the simulator's TCP line) against the same read on a network port
// straight to the simulator; a fresh simulator each run, the two kinds
// taking turns so that other load falls on both alike.
void pacedThroughLinePort(Table& table, int reps, const QString& serverPath,
                          const QString& simPath) {
    const QString name = QStringLiteral("server: paced EDID read, line port / direct port");
    const QString target = QStringLiteral("ratio <= 1.03");
    QList<double> direct;
    QList<double> through;
    for (int i = 0; i < reps; ++i) {
        for (const bool viaServer : {false, true}) {
            Rig rig(true, simPath, true, viaServer ? serverPath : QString());
            const auto before = sampleProcess(rig.serverPid());
            const TransferResult r = rig.run(Transfer::EdidRead);
            const auto after = sampleProcess(rig.serverPid());
            if (!r.ok) {
                table.add({name, "failed: " + r.failure, target, false, false});
                return;
            }
            (viaServer ? through : direct) << r.seconds;
            if (viaServer && before && after)
                table.note(QStringLiteral("%1: run %2: %3 s / %4 s (wire %5 s); the server's "
                                          "CPU time %6 ms, %7 ms per exchange")
                               .arg(name)
                               .arg(i + 1)
                               .arg(num(through.last(), 3), num(direct.last(), 3),
                                    num(r.wireSeconds(), 3),
                                    num((after->cpuNs - before->cpuNs) / 1e6, 1),
                                    num((after->cpuNs - before->cpuNs) / 1e6 / r.commands, 3)));
        }
    }
    const double ratio = median(through) / median(direct);
    table.add({name,
               QStringLiteral("%1 s / %2 s = %3 (medians of %4 runs each)")
                   .arg(num(median(through), 3), num(median(direct), 3), num(ratio, 4))
                   .arg(reps),
               target, ratio <= 1.03});
}

// What one flood of salvos came to.
struct Flood {
    QString failure; // empty: the run went through
    QList<double> routeMs;
    qint64 salvos = 0;
    qint64 idleAnonKiB = 0;
    qint64 peakAnonKiB = 0;  // sampled every 100 ms while the flood lasted
    qint64 afterAnonKiB = 0; // 3 s after the flooder left
    bool flapped = false;
};

// The real program on a paced simulator (one that prints every line it
// receives), polling every second, while one client sends 64 KB salvos of
// 16,000 routes: another client's route from its write to the simulator
// receiving the command; the server's anonymous memory, idle, at its peak
// and 3 s after the flooder left; and whether the switcher ever showed as
// absent. A flooder that does not wait sends its next salvo whenever the
// last has left its socket (reading what comes, never waiting for it); one
// that waits sends it once the last one's ACK or NAK is in.
Flood flood(int reps, bool waits, const QString& serverPath, const QString& simPath) {
    Flood result;
    QProcess sim;
    QByteArray banner;
    QByteArray said;
    qint64 wired = 0;
    QObject::connect(&sim, &QProcess::readyReadStandardOutput, [&] {
        const QByteArray chunk = sim.readAllStandardOutput();
        if (!banner.contains('\n'))
            banner += chunk;
        // The line may come in pieces: the end of the last one is kept.
        said = said.right(16) + chunk;
        if (said.contains("< cir 0"))
            wired = nowNs();
        Poker::poke();
    });
    sim.start(simPath, {"--tcp", "0", "--paced"});
    waitFor([&] { return banner.contains('\n'); }, 5000);
    banner.truncate(banner.indexOf('\n'));
    QTemporaryDir dir;
    const quint16 port = freePort();
    QProcess srv;
    // Its log has an audit line for every salvo: written, but not shown.
    srv.setStandardErrorFile(QProcess::nullDevice());
    srv.start(serverPath,
              {"--port", QString::fromLatin1(banner.mid(banner.indexOf("tcp://")).trimmed()),
               "--videohub", QStringLiteral("127.0.0.1:%1").arg(port), "--no-line", "--no-web",
               "--state-dir", dir.path(), "--poll", "1"});
    Client other(port);
    const bool up = waitFor(
        [&] {
            if (other.s.state() == QAbstractSocket::UnconnectedState)
                other.s.connectToHost(QHostAddress::LocalHost, port);
            return other.got.contains("Device present: true");
        },
        5000);
    if (!up) {
        result.failure = QStringLiteral("failed: no dump");
        srv.kill();
        sim.kill();
        srv.waitForFinished();
        sim.waitForFinished();
        return result;
    }
    idleFor(1000);
    if (const auto m = memoryOf(srv.processId()))
        result.idleAnonKiB = m->anonKiB;
    QByteArray salvo = "VIDEO OUTPUT ROUTING:\n";
    for (int i = 0; i < 16000; ++i)
        salvo += QByteArray::number(1 + i % 7) + ' ' + QByteArray::number(i / 7 % 8) + '\n';
    salvo += '\n';
    auto flooder = std::make_unique<Client>(port, "127.0.0.2");
    QTcpSocket& f = flooder->s;
    QByteArray& answers = flooder->got;
    const auto send = [&] {
        f.write(salvo);
        ++result.salvos;
    };
    const auto feed = [&] {
        if (f.state() != QAbstractSocket::ConnectedState)
            return;
        if (!waits) {
            if (f.bytesToWrite() < 16384)
                send();
            answers.clear();
        } else if (answers.contains("ACK\n\n") || answers.contains("NAK\n\n")) {
            answers.clear();
            send();
        }
    };
    QObject::connect(&f, &QTcpSocket::bytesWritten, feed);
    QObject::connect(&f, &QTcpSocket::readyRead, feed);
    QObject::connect(&f, &QTcpSocket::connected, send);
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (const auto m = memoryOf(srv.processId()))
            result.peakAnonKiB = qMax(result.peakAnonKiB, m->anonKiB);
    });
    sampler.start(100);
    idleFor(1000);
    other.got.clear();
    for (int i = 0; i < reps; ++i) {
        const QByteArray input = QByteArray::number(i % 2 ? 3 : 4);
        wired = 0;
        const qint64 start = nowNs();
        other.s.write("VIDEO OUTPUT ROUTING:\n0 " + input + "\n\n");
        if (!waitFor([&] { return wired != 0; }, 5000))
            break;
        result.routeMs << (wired - start) / 1e6;
        idleFor(200);
    }
    sampler.stop();
    flooder.reset();
    idleFor(3000);
    if (const auto m = memoryOf(srv.processId()))
        result.afterAnonKiB = m->anonKiB;
    result.flapped = other.got.contains("Device present: false");
    srv.kill();
    sim.kill();
    srv.waitForFinished();
    sim.waitForFinished();
    return result;
}

void abuse(Table& table, int reps, const QString& serverPath, const QString& simPath) {
    const QString name = QStringLiteral("server under 64 KB salvos: another client's route to "
                                        "the wire");
    for (const bool waits : {false, true}) {
        const Flood r = flood(reps, waits, serverPath, simPath);
        const QString memory =
            QStringLiteral("server under 64 KB salvos, flooder %1: anonymous memory, presence")
                .arg(waits ? QStringLiteral("waiting for answers") : QStringLiteral("not waiting"));
        if (!r.failure.isEmpty()) {
            table.add({memory, r.failure, "-", false, false});
            continue;
        }
        const QString routes =
            spread(r.routeMs, "ms", 1) + QStringLiteral(" (%1 salvos sent)").arg(r.salvos);
        if (!waits)
            table.add({name, routes, QStringLiteral("p99 < 100 ms"),
                       r.routeMs.size() == reps && percentile(r.routeMs, 0.99) < 100});
        else
            table.note(QStringLiteral("%1, flooder waiting for answers: %2").arg(name, routes));
        table.add({memory,
                   QStringLiteral("peak %1 KiB, 3 s after %2 KiB (idle %3 KiB, %4 salvos); "
                                  "switcher shown absent: %5")
                       .arg(r.peakAnonKiB)
                       .arg(r.afterAnonKiB)
                       .arg(r.idleAnonKiB)
                       .arg(r.salvos)
                       .arg(r.flapped ? QStringLiteral("yes") : QStringLiteral("never")),
                   QStringLiteral("< 32 MB, never absent"),
                   r.peakAnonKiB < 32 * 1024 && r.afterAnonKiB < 32 * 1024 && !r.flapped});
    }
}

// An in-process server with MQTT on, its line on the in-process switcher.
struct MqttServer {
    MqttServer(const QString& name, quint16 brokerPort) {
        platform.portFactory = sim::InProcessPort::factory(device, made, true);
        device.onLine = [this](const QByteArray& line) {
            if (line.startsWith("cir"))
                wired = nowNs();
            Poker::poke();
        };
        QString error;
        const auto o =
            server::parseOptions({"--videohub", "127.0.0.1:0", "--no-line", "--no-web", "--name",
                                  name, "--state-dir", dir.path(), "--poll", "0", "--no-ha",
                                  "--mqtt", QStringLiteral("mqtt://127.0.0.1:%1").arg(brokerPort)},
                                 {}, &error);
        if (o) {
            app = std::make_unique<server::ServerApp>(platform, *o);
            ok = app->start(&error, false);
        }
    }
    QTemporaryDir dir;
    sim::Device device;
    sim::InProcessPort* made = nullptr;
    platform::FakePlatform platform{{false, true}};
    std::unique_ptr<server::ServerApp> app;
    qint64 wired = 0;
    bool ok = false;
};

// A subscriber to every server's state on the broker.
struct Watcher {
    explicit Watcher(quint16 port) : client(settings(port)) {
        QObject::connect(&client, &mqtt::MqttClient::message,
                         [this](const QString& topic, const QByteArray& payload, bool retained) {
                             seen[topic] = payload;
                             if (!retained && topic.endsWith("/output/1/input"))
                                 ++states;
                             Poker::poke();
                         });
        client.subscribe("hdmi-matrix/#");
        client.start();
    }
    static mqtt::ClientSettings settings(quint16 port) {
        mqtt::ClientSettings s;
        s.host = QStringLiteral("127.0.0.1");
        s.port = port;
        s.clientId = QStringLiteral("bench-watcher");
        return s;
    }
    bool up(const QString& id) const {
        return seen.value("hdmi-matrix/" + id + "/status") == "online" &&
               seen.value("hdmi-matrix/" + id + "/present") == "true";
    }
    mqtt::MqttClient client;
    QHash<QString, QByteArray> seen;
    int states = 0;
};

// One server: an `output/1/input/set` publish to its "cir" command on the
// wire, through the broker on the loopback address.
void mqttRoute(Table& table, quint16 port, int reps) {
    const QString name = QStringLiteral("server: MQTT route, publish to command on the wire");
    Watcher watcher(port);
    MqttServer one(QStringLiteral("bench"), port);
    if (!one.ok || !waitFor([&] { return watcher.up("bench"); }, 5000)) {
        table.add({name, QStringLiteral("failed: server not up"), "median < 2 ms", false, false});
        return;
    }
    QList<double> ms;
    for (int i = 0; i < reps; ++i) {
        const QByteArray input = i % 2 ? "3" : "4";
        one.wired = 0;
        const qint64 start = nowNs();
        watcher.client.publish("hdmi-matrix/bench/output/1/input/set", input, false);
        if (!waitFor([&] { return one.wired != 0; }, 2000) ||
            !waitFor(
                [&] { return watcher.seen.value("hdmi-matrix/bench/output/1/input") == input; },
                2000))
            break;
        ms << (one.wired - start) / 1e6;
    }
    table.add({name, spread(ms, "ms", 3), QStringLiteral("median < 2 ms"),
               ms.size() == reps && median(ms) < 2});
}

// 16 servers, each on its own in-process switcher, on one broker: 100
// rounds, each routing output 1 of every server; every state message must
// reach the subscriber.
void mqttMany(Table& table, quint16 port, int rounds) {
    const QString name =
        QStringLiteral("server: MQTT 16 servers x %1 routes, state messages").arg(rounds);
    constexpr int kServers = 16;
    Watcher watcher(port);
    std::vector<std::unique_ptr<MqttServer>> servers;
    for (int s = 0; s < kServers; ++s)
        servers.push_back(std::make_unique<MqttServer>(QStringLiteral("bench-%1").arg(s), port));
    const bool up = waitFor(
        [&] {
            for (int s = 0; s < kServers; ++s) {
                if (!watcher.up(QStringLiteral("bench-%1").arg(s)) ||
                    !watcher.seen.contains(
                        QStringLiteral("hdmi-matrix/bench-%1/output/1/input").arg(s)))
                    return false;
            }
            return true;
        },
        10000);
    if (!up) {
        table.add({name, QStringLiteral("failed: servers not up"), "none lost", false, false});
        return;
    }
    idleFor(200); // the servers' first state, published at connecting, is in
    watcher.states = 0;
    const qint64 start = nowNs();
    int expected = 0;
    for (int r = 0; r < rounds; ++r) {
        const QByteArray input = r % 2 ? "2" : "5";
        for (int s = 0; s < kServers; ++s)
            watcher.client.publish(QStringLiteral("hdmi-matrix/bench-%1/output/1/input/set").arg(s),
                                   input, false);
        expected += kServers;
        if (!waitFor([&] { return watcher.states >= expected; }, 5000))
            break;
    }
    const double seconds = (nowNs() - start) / 1e9;
    idleFor(200); // late or doubled messages would still come
    table.add({name,
               QStringLiteral("%1 expected, %2 received in %3 s (%4 routes/s)")
                   .arg(kServers * rounds)
                   .arg(watcher.states)
                   .arg(num(seconds, 2))
                   .arg(num(watcher.states / seconds, 0)),
               QStringLiteral("none lost, in under 1 s"),
               watcher.states == kServers * rounds && seconds < 1});
}

// The real program with MQTT on and nothing happening: its wake-ups over a
// keep-alive (30 s) and a second, so at least one ping falls in.
void mqttIdle(Table& table, quint16 port, const QString& serverPath, const QString& simPath) {
    const QString name = QStringLiteral("server idle wake-ups, MQTT connected");
    QProcess sim;
    const QString target = startTcpSimulator(sim, simPath);
    QTemporaryDir dir;
    QProcess srv;
    srv.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    srv.start(serverPath, {"--port", target, "--videohub", "127.0.0.1:0", "--no-line", "--no-web",
                           "--state-dir", dir.path(), "--poll", "60", "--name", "idle", "--mqtt",
                           QStringLiteral("mqtt://127.0.0.1:%1").arg(port)});
    Watcher watcher(port);
    if (!waitFor([&] { return watcher.up("idle"); }, 10000)) {
        table.add({name, QStringLiteral("failed: server not up"), "-", false, false});
    } else {
        constexpr int kWindowMs = 31000;
        idleFor(2000);
        const auto before = sampleProcess(srv.processId());
        idleFor(kWindowMs);
        const auto after = sampleProcess(srv.processId());
        if (before && after) {
            const double wakeups = double(after->voluntarySwitches - before->voluntarySwitches);
            table.add({name,
                       QStringLiteral("%1 over %2 s (%3 a second)")
                           .arg(wakeups)
                           .arg(kWindowMs / 1000)
                           .arg(num(wakeups * 1000 / kWindowMs, 2)),
                       QStringLiteral("< 0.2 a second (one ping a keep-alive)"),
                       wakeups * 1000 / kWindowMs < 0.2});
        }
    }
    srv.kill();
    sim.kill();
    srv.waitForFinished();
    sim.waitForFinished();
}

void mqttRuns(Table& table, bool quick) {
    Broker broker;
    // Otherwise the broker's Nagle holds a forwarded command back until the
    // server's delayed acknowledgement of the broker's last packet (40 ms).
    broker.more = QStringLiteral("set_tcp_nodelay true\n");
    if (!broker.start()) {
        table.add({QStringLiteral("server: MQTT"), QStringLiteral("failed: no mosquitto"), "-",
                   false, false});
        return;
    }
    mqttRoute(table, broker.port, quick ? 50 : 300);
    mqttMany(table, broker.port, 100);
    mqttIdle(table, broker.port, QStringLiteral(HDMI_SERVER_PATH), QStringLiteral(HDMI_SIM_PATH));
}

} // namespace

void serverRuns(Table& table, bool quick) {
    QTextStream(stdout) << "running the server ..." << Qt::endl;
    inProcess(table, quick ? 50 : 300);
    realProcess(table, QStringLiteral(HDMI_SERVER_PATH), QStringLiteral(HDMI_SIM_PATH));
    QTextStream(stdout) << "running a paced EDID read through the server's line port ..."
                        << Qt::endl;
    pacedThroughLinePort(table, quick ? 1 : 5, QStringLiteral(HDMI_SERVER_PATH),
                         QStringLiteral(HDMI_SIM_PATH));
    QTextStream(stdout) << "running the server under a flood of salvos ..." << Qt::endl;
    abuse(table, quick ? 20 : 100, QStringLiteral(HDMI_SERVER_PATH), QStringLiteral(HDMI_SIM_PATH));
    QTextStream(stdout) << "running the server with MQTT (about 40 s) ..." << Qt::endl;
    mqttRuns(table, quick);
}

} // namespace bench

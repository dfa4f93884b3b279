#include "bench/web_runs.h"

#include "frontends/server/line_owner.h"
#include "frontends/server/server_app.h"
#include "frontends/server/web/web_server.h"
#include "sim/device.h"
#include "sim/inprocess_port.h"
#include "state/router_state.h"
#include "state/scenes/scene_service.h"
#include "testing/fakes/fake_platform.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>
#include <algorithm>
#include <memory>

namespace bench {

namespace {

QString num(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

QString spread(QList<double> v, const QString& unit, int decimals) {
    std::sort(v.begin(), v.end());
    const double p99 = v.isEmpty() ? 0 : v.at(qMin<qsizetype>(v.size() - 1, v.size() * 99 / 100));
    return QStringLiteral("median %1 %4, p99 %2 %4 (%3 runs)")
        .arg(num(median(v), decimals), num(p99, decimals))
        .arg(v.size())
        .arg(unit);
}

// An HTTP/1.1 client on one kept-alive connection: whole requests out,
// bytes in.
struct Http {
    explicit Http(quint16 port) {
        QObject::connect(&s, &QTcpSocket::readyRead, [this] {
            got += s.readAll();
            Poker::poke();
        });
        s.connectToHost(QHostAddress::LocalHost, port);
        s.waitForConnected(3000);
    }
    void send(const QByteArray& method, const QByteArray& path, const QByteArray& body = {}) {
        s.write(method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                (body.isEmpty() ? QByteArray() : "Content-Type: application/json\r\n") +
                "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        s.flush();
    }
    // The body of a GET, once whole.
    QByteArray get(const QByteArray& path) {
        got.clear();
        send("GET", path);
        waitFor(
            [&] {
                const qsizetype end = got.indexOf("\r\n\r\n");
                static const QRegularExpression length(QStringLiteral("Content-Length: (\\d+)"));
                const auto m = length.match(QString::fromLatin1(got.left(end)));
                return end > 0 && m.hasMatch() && got.size() >= end + 4 + m.captured(1).toInt();
            },
            3000);
        return got.mid(got.indexOf("\r\n\r\n") + 4);
    }
    QTcpSocket s;
    QByteArray got;
};

// The in-process server on the in-process switcher, with its web port.
struct WebRig {
    WebRig() {
        platform.portFactory = sim::InProcessPort::factory(device, made, true);
        server::Options o;
        o.videohub.reset();
        o.line.reset();
        o.web.reset(); // its own, beside, with room for 100 clients
        o.stateDir = dir.path();
        o.pollSeconds = 0;
        app = std::make_unique<server::ServerApp>(platform, o);
        web::WebLimits limits;
        limits.maxClients = 256;    // streams may take half
        limits.maxPerAddress = 128; // every client comes from 127.0.0.1
        limits.maxStreamsPerAddress = 128;
        web = std::make_unique<web::WebServer>(app->state(), QStringLiteral("bench"), limits,
                                               dir.path());
        device.onLine = [this](const QByteArray& line) {
            if (line.startsWith("cir")) {
                wired = nowNs();
                ++routes;
            }
            Poker::poke();
        };
        QString error;
        ok = app->start(&error, false) &&
             web->listener().listen(QHostAddress(QHostAddress::LocalHost), 0) &&
             waitFor([&] { return app->state().present(); }, 5000);
    }
    QTemporaryDir dir;
    sim::Device device;
    sim::InProcessPort* made = nullptr;
    platform::FakePlatform platform{{false, true}};
    std::unique_ptr<server::ServerApp> app;
    std::unique_ptr<web::WebServer> web;
    qint64 wired = 0;
    int routes = 0; // "cir" commands on the wire
    bool ok = false;
};

void inProcess(Table& table, int reps) {
    WebRig rig;
    const QString routeName = QStringLiteral("web: PUT route, client write to command on the wire");
    if (!rig.ok) {
        table.add({routeName, QStringLiteral("failed: server not up"), "-", false, false});
        return;
    }
    Http client(rig.web->listener().port());
    QList<double> routeMs;
    for (int i = 0; i < reps; ++i) {
        const QByteArray input = QByteArray::number(i % 2 + 2);
        client.got.clear();
        rig.wired = 0;
        const qint64 start = nowNs();
        client.send("PUT", "/api/v1/outputs/1/input", "{\"input\":" + input + '}');
        if (!waitFor([&] { return rig.wired != 0; }, 2000) ||
            !waitFor([&] { return client.got.contains("\"input\":" + input); }, 3000))
            break;
        routeMs << (rig.wired - start) / 1e6;
    }
    table.add({routeName, spread(routeMs, "ms", 3), QStringLiteral("median < 1 ms"),
               routeMs.size() == reps && median(routeMs) < 1});

    // A scene of every output, recalled: its salvo goes route after route as
    // the (in-process, instant) switcher reports each, so this is the
    // program's part of a recall.
    server::SceneService& scenes = rig.app->scenes();
    for (const int k : {0, 1}) {
        QList<server::RouterState::Route> routes;
        for (int o = 1; o <= protocol::Model::standard().outputs; ++o)
            routes.append({o, (o + k) % protocol::Model::standard().inputs + 1});
        scenes.store().put(QStringLiteral("scene %1").arg(k), routes, {});
    }
    QList<double> sceneMs;
    for (int i = 0; i < reps; ++i) {
        rig.routes = 0;
        const qint64 start = nowNs();
        if (scenes.recall(QStringLiteral("scene %1").arg(i % 2),
                          {QStringLiteral("bench"), QStringLiteral("bench"),
                           QStringLiteral("bench")}) != server::Outcome::Queued ||
            !waitFor([&] { return rig.routes == protocol::Model::standard().outputs; }, 3000))
            break;
        sceneMs << (rig.wired - start) / 1e6;
    }
    table.add({QStringLiteral("scene of 8 routes: recall to the last command on the wire"),
               spread(sceneMs, "ms", 3), QStringLiteral("median < 2 ms"),
               sceneMs.size() == reps && median(sceneMs) < 2});

    // The page and everything it names.
    const QByteArray page = client.get("/");
    qint64 bytes = page.size();
    QStringList files;
    static const QRegularExpression named(QStringLiteral("(?:href|src)=\"([^\"]+)\""));
    for (auto it = named.globalMatch(QString::fromUtf8(page)); it.hasNext();) {
        const QString file = it.next().captured(1);
        bytes += client.get("/" + file.toUtf8()).size();
        files << file;
    }
    table.add({QStringLiteral("web: the page's bytes, uncompressed"),
               QStringLiteral("%1 B (index.html and %2)").arg(bytes).arg(files.join(", ")),
               QStringLiteral("< 102,400 B"), bytes < 102400 && files.size() >= 2});

    std::vector<std::unique_ptr<QWebSocket>> many;
    std::vector<int> heard(100, 0);
    for (int i = 0; i < 100; ++i) {
        many.push_back(std::make_unique<QWebSocket>());
        QObject::connect(many.back().get(), &QWebSocket::textMessageReceived, [&heard, i] {
            ++heard[i];
            Poker::poke();
        });
        many.back()->open(QUrl(
            QStringLiteral("ws://127.0.0.1:%1/api/v1/events").arg(rig.web->listener().port())));
    }
    auto allHeard = [&](int n) {
        return waitFor(
            [&] { return std::all_of(heard.begin(), heard.end(), [n](int h) { return h >= n; }); },
            5000);
    };
    QList<double> fanMs;
    for (int i = 0; allHeard(1) && i < reps; ++i) {
        const qint64 start = nowNs();
        rig.made->deliverNow("s2" + QByteArray::number(i % 2 + 3) + "\r\n");
        if (!allHeard(i + 2))
            break;
        fanMs << (nowNs() - start) / 1e6;
    }
    table.add({QStringLiteral("web: routing report to 100 WebSocket event clients"),
               spread(fanMs, "ms", 2), QStringLiteral("median < 10 ms"),
               fanMs.size() == reps && median(fanMs) < 10});
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// Clients that try the web port's limits: heads and bodies one byte short
// of too large, never finished, 200 connections at a time.
void abuse(quint16 port, int rounds) {
    std::vector<std::unique_ptr<QTcpSocket>> crowd;
    for (int round = 0; round < rounds; ++round) {
        for (int i = 0; i < 200; ++i) {
            auto s = std::make_unique<QTcpSocket>();
            s->connectToHost(QHostAddress::LocalHost, port);
            if (i % 2)
                s->write("GET / HTTP/1.1\r\nX: " + QByteArray(16 * 1024 - 24, 'a'));
            else
                s->write("POST /api/v1/routes HTTP/1.1\r\nContent-Type: application/json\r\n"
                         "Content-Length: 16384\r\n\r\n" +
                         QByteArray(16383, ' '));
            crowd.push_back(std::move(s));
        }
        idleFor(300);
        crowd.clear();
    }
}

void realProcess(Table& table, const QString& serverPath, const QString& simPath, bool quick) {
    const QString name = QStringLiteral("web: server RSS idle / 100 event clients / under abuse");
    QProcess sim;
    const QString target = startTcpSimulator(sim, simPath);
    QTemporaryDir dir;
    const quint16 port = freePort();
    QProcess srv;
    srv.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&srv, &QProcess::readyRead, &Poker::instance(), &Poker::poke);
    srv.start(serverPath, {"--port", target, "--no-videohub", "--no-line", "--web",
                           QStringLiteral("127.0.0.1:%1").arg(port), "--state-dir", dir.path(),
                           "--poll", "60", "--max-clients", "128", "--max-per-address", "128"});
    QByteArray said;
    const bool up =
        waitFor([&] { return (said += srv.readAll()).contains("switcher found"); }, 10000);
    if (!up) {
        table.add({name, QStringLiteral("failed: no health"), "-", false, false});
    } else {
        idleFor(1000);
        const auto before = sampleProcess(srv.processId());
        idleFor(5000);
        const auto after = sampleProcess(srv.processId());
        const auto idle = memoryOf(srv.processId());
        std::vector<std::unique_ptr<QWebSocket>> many;
        int heard = 0;
        std::vector<bool> admitted(100, false); // the server caps streams per address
        for (int i = 0; i < 100; ++i) {
            many.push_back(std::make_unique<QWebSocket>());
            QObject::connect(many.back().get(), &QWebSocket::textMessageReceived,
                             [&heard, &admitted, i] {
                                 ++heard;
                                 admitted[i] = true;
                                 Poker::poke();
                             });
            many.back()->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/v1/events").arg(port)));
        }
        waitFor([&] { return heard >= 100; }, 10000);
        idleFor(1000);
        const auto streamsBefore = sampleProcess(srv.processId());
        idleFor(5000);
        const auto streamsAfter = sampleProcess(srv.processId());
        const auto streams = memoryOf(srv.processId());
        const auto open = std::count(admitted.begin(), admitted.end(), true);
        many.clear();
        abuse(port, quick ? 2 : 10);
        const auto abused = memoryOf(srv.processId());
        idleFor(1000);
        const auto after2 = memoryOf(srv.processId());
        if (idle && streams && abused && after2 && before && after && streamsBefore &&
            streamsAfter) {
            table.add({name,
                       QStringLiteral("%1 / %2 / %3 KiB anonymous, peak %4 KiB resident; "
                                      "%5 KiB after; %6 of the 100 streams admitted from "
                                      "one address")
                           .arg(idle->anonKiB)
                           .arg(streams->anonKiB)
                           .arg(abused->anonKiB)
                           .arg(abused->peakKiB)
                           .arg(after2->anonKiB)
                           .arg(open),
                       QStringLiteral("measured"), true});
            const double idleRate = (after->voluntarySwitches - before->voluntarySwitches) / 5.0;
            const double streamRate =
                (streamsAfter->voluntarySwitches - streamsBefore->voluntarySwitches) / 5.0;
            table.add({QStringLiteral("web: server idle wake-ups, no client / 100 event clients"),
                       QStringLiteral("%1 / %2 a second over 5 s")
                           .arg(num(idleRate, 1), num(streamRate, 1)),
                       QStringLiteral("0 a second"), idleRate < 0.5 && streamRate < 0.5});
        }
    }
    srv.terminate();
    srv.waitForFinished(3000);
    sim.kill();
    sim.waitForFinished();
}

} // namespace

void webRuns(Table& table, bool quick) {
    inProcess(table, quick ? 50 : 300);
    realProcess(table, QStringLiteral(HDMI_SERVER_PATH), QStringLiteral(HDMI_SIM_PATH), quick);
}

} // namespace bench

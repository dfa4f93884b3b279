// The whole server on the loopback address, its line owned through the
// in-process simulated switcher: Videohub and line-port clients on real
// sockets.

#include "core/edid/edid_image.h"
#include "core/seriallink/connection.h"
#include "frontends/server/line_owner.h"
#include "frontends/server/line_port_server.h"
#include "frontends/server/platform/mdns_announcer.h"
#include "frontends/server/server_app.h"
#include "sim/device.h"
#include "sim/inprocess_port.h"
#include "state/router_state.h"
#include "testing/fakes/fake_platform.h"
#include "tests/support/sim_harness.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Rig {
    explicit Rig(const QString& stateDir, int maxClients = 32, int poll = 0,
                 const std::function<void(server::Options&)>& more = {}) {
        platform.portFactory = sim::InProcessPort::factory(device, made, true);
        server::Options o;
        o.videohub = server::Endpoint{QHostAddress(QHostAddress::LocalHost), 0};
        o.line = server::Endpoint{QHostAddress(QHostAddress::LocalHost), 0};
        o.web.reset();
        o.stateDir = stateDir;
        o.maxClients = maxClients;
        o.pollSeconds = poll;
        if (more)
            more(o);
        app = std::make_unique<server::ServerApp>(platform, o);
        app->owner().times = {50, 400, 300, 30000};
        QObject::connect(app.get(), &server::ServerApp::log,
                         [this](const QString& l) { log << l; });
        QString error;
        ok = app->start(&error, false) &&
             QTest::qWaitFor([this] { return app->state().present(); }, 5000);
    }
    bool written(const QByteArray& bytes) const { return made && made->written.contains(bytes); }

    sim::Device device;
    sim::InProcessPort* made = nullptr;
    platform::FakePlatform platform{{false, true}};
    std::unique_ptr<server::ServerApp> app;
    QStringList log;
    bool ok = false;
};

struct Client {
    Client(quint16 port, const char* from = "127.0.0.1", bool reads = true) {
        s.bind(QHostAddress(QLatin1String(from)));
        if (reads)
            QObject::connect(&s, &QTcpSocket::readyRead, [this] { got += s.readAll(); });
        else
            s.setReadBufferSize(1);
        s.connectToHost(QHostAddress::LocalHost, port);
    }
    bool has(const QByteArray& text, int ms = 3000) {
        return QTest::qWaitFor([&] { return got.contains(text); }, ms);
    }
    bool closed(int ms = 3000) {
        return QTest::qWaitFor([&] { return s.state() == QAbstractSocket::UnconnectedState; }, ms);
    }
    void send(const QByteArray& b) { s.write(b); }
    QTcpSocket s;
    QByteArray got;
};

const QByteArray kAck = "ACK\n\n";

// The command-line tool through the line port; its exit code and output.
struct Tool {
    Tool(quint16 linePort, const QStringList& args) {
        p.start(QStringLiteral(HDMI_CTL_PATH),
                QStringList{"--port", QStringLiteral("tcp://127.0.0.1:%1").arg(linePort)} + args);
    }
    bool done() {
        return QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000) &&
               p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    QProcess p;
};

// The desktop program's core through the line port, in a fresh working folder.
struct Window {
    explicit Window(quint16 linePort) {
        QDir::setCurrent(dir.path());
        platform.devices = {QStringLiteral("tcp://127.0.0.1:%1").arg(linePort)};
        form = std::make_unique<MainWindow>(platform, platform.fakeDialogs());
        form->startUp();
    }
    ~Window() {
        form.reset();
        QDir::setCurrent(previous);
    }
    bool lit(int output, int input) {
        return SimHarness::waitFor([&] { return form->lamps[output - 1][input - 1]->isLit(); });
    }
    QString previous = QDir::currentPath();
    QTemporaryDir dir;
    platform::FakePlatform platform{{false, true}};
    std::unique_ptr<MainWindow> form;
};

} // namespace

class TestServerEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void dumpRouteAndSalvo();
    void labelsAcrossRestart();
    void locksBetweenAddresses();
    void unaskedAndPolledChanges();
    void lostAndFound();
    void leaseWhileRouteWaits();
    void leaseHolderLeavesMidMode();
    void toolThroughLinePort();
    void windowToolAndVideohubTogether();
    void edidReadWhileRouteWaits();
    void abuse();
    void failedRoute_data();
    void failedRoute();
    void salvosTakeTurns();
    void lostLineIsNoAbsence();
    void noSplicedLines();
    void lineFloodWaits();
    void leaseWords_data();
    void leaseWords();
    void mdnsWithoutDaemon_data();
    void mdnsWithoutDaemon();
    void whoGetsIn();
    void closedBeforeAccepted();
    void stateFolderFaults();
    void hangUp();

private:
    QTemporaryDir dir_;
};

void TestServerEndToEnd::dumpRouteAndSalvo() {
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    Client a(rig.app->videohubPort()), b(rig.app->videohubPort());
    QVERIFY(a.has("END PRELUDE:\n\n"));
    QVERIFY(b.has("END PRELUDE:\n\n"));
    QVERIFY(a.got.startsWith(
        "PROTOCOL PREAMBLE:\nVersion: 2.8\n\nVIDEOHUB DEVICE:\nDevice present: true\n"));
    QVERIFY(a.got.contains("VIDEO OUTPUT ROUTING:\n0 0\n1 1\n"));
    a.got.clear();
    b.got.clear();
    a.send("VIDEO OUTPUT ROUTING:\n0 5\n\n");
    QVERIFY(b.has("VIDEO OUTPUT ROUTING:\n0 5\n\n"));
    QVERIFY(a.has("ACK\n\nVIDEO OUTPUT ROUTING:\n0 5\n\n"));
    QVERIFY(rig.written("cir 05\r\n"));
    b.send("VIDEO OUTPUT ROUTING:\n1 6\n2 7\n\n");
    for (Client* c : {&a, &b}) {
        QVERIFY(c->has("VIDEO OUTPUT ROUTING:\n1 6\n\n"));
        QVERIFY(c->has("VIDEO OUTPUT ROUTING:\n2 7\n\n"));
    }
    QCOMPARE(rig.device.routing[2], 7);
}

void TestServerEndToEnd::labelsAcrossRestart() {
    QTemporaryDir state;
    {
        Rig rig(state.path());
        QVERIFY(rig.ok);
        Client a(rig.app->videohubPort());
        QVERIFY(a.has("END PRELUDE:"));
        a.send("INPUT LABELS:\n3 Cam\xc3\xa9ra 4\n\nOUTPUT LABELS:\n0 Beamer\n\n");
        QVERIFY(a.has("OUTPUT LABELS:\n0 Beamer\n\n"));
    }
    Rig rig(state.path());
    QVERIFY(rig.ok);
    Client a(rig.app->videohubPort());
    QVERIFY(a.has("END PRELUDE:"));
    QVERIFY(a.got.contains("INPUT LABELS:\n0 Input 1\n1 Input 2\n2 Input 3\n3 Cam\xc3\xa9ra 4\n"));
    QVERIFY(a.got.contains("OUTPUT LABELS:\n0 Beamer\n1 Output 2\n"));
}

void TestServerEndToEnd::locksBetweenAddresses() {
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    Client one(rig.app->videohubPort(), "127.0.0.1"), two(rig.app->videohubPort(), "127.0.0.2");
    QVERIFY(one.has("END PRELUDE:") && two.has("END PRELUDE:"));
    one.got.clear();
    two.got.clear();
    one.send("VIDEO OUTPUT LOCKS:\n4 O\n\n");
    QVERIFY(one.has("ACK\n\nVIDEO OUTPUT LOCKS:\n4 O\n\n"));
    QVERIFY(two.has("VIDEO OUTPUT LOCKS:\n4 L\n\n"));
    two.got.clear();
    two.send("VIDEO OUTPUT ROUTING:\n4 1\n\nVIDEO OUTPUT LOCKS:\n4 U\n\nPING:\n\n");
    QVERIFY(two.has("NAK\n\nNAK\n\nACK\n\n"));
    QVERIFY(!rig.written("cir 41"));
    one.send("VIDEO OUTPUT ROUTING:\n4 1\n\n");
    QVERIFY(two.has("VIDEO OUTPUT ROUTING:\n4 1\n\n"));
    two.send("VIDEO OUTPUT LOCKS:\n4 F\n\n");
    QVERIFY(one.has("VIDEO OUTPUT LOCKS:\n4 U\n\n"));
}

void TestServerEndToEnd::unaskedAndPolledChanges() {
    Rig rig(dir_.path(), 32, 1);
    QVERIFY(rig.ok);
    Client a(rig.app->videohubPort());
    QVERIFY(a.has("END PRELUDE:"));
    rig.device.routing[2] = 5; // the front panel, and the report it makes
    rig.made->inject("s36\r\n");
    QVERIFY(a.has("VIDEO OUTPUT ROUTING:\n2 5\n\n"));
    rig.device.routing[7] = 0; // changed behind the line's back: found by the poll
    QVERIFY(a.has("VIDEO OUTPUT ROUTING:\n7 0\n\n", 4000));
    // Polls that change nothing broadcast nothing.
    QCOMPARE(a.got.count("VIDEO OUTPUT ROUTING:"), 3);
}

void TestServerEndToEnd::lostAndFound() {
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    Client a(rig.app->videohubPort());
    QVERIFY(a.has("END PRELUDE:"));
    a.got.clear();
    rig.device.faults.silent = true;
    rig.made->close();
    emit rig.made->lost();
    QVERIFY(a.has("VIDEOHUB DEVICE:\nDevice present: false\n"));
    QVERIFY(rig.log.contains(QStringLiteral("switcher lost")));
    a.send("VIDEO OUTPUT ROUTING:\n0 1\n\n");
    QVERIFY(a.has("NAK\n\n"));
    // Open again after the retry, but the switcher is silent: still absent.
    QVERIFY(QTest::qWaitFor([&] { return rig.made->written.count("bc ") == 2; }, 3000));
    QVERIFY(!rig.app->state().present());
    rig.device.faults.silent = false;
    rig.app->owner().connection().close();
    emit rig.made->lost();
    QVERIFY(a.has("VIDEOHUB DEVICE:\nDevice present: true\n"));
    QCOMPARE(a.got.count("Device present:"), 2);
}

void TestServerEndToEnd::leaseWhileRouteWaits() {
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    Client hub(rig.app->videohubPort()), holder(rig.app->linePort()), other(rig.app->linePort());
    QVERIFY(hub.has("END PRELUDE:"));
    QVERIFY(QTest::qWaitFor([&] { return other.s.state() == QAbstractSocket::ConnectedState; }));
    holder.send("edm\r\n");
    QVERIFY(holder.has("edm"));
    hub.send("VIDEO OUTPUT ROUTING:\n6 2\n\n");
    QVERIFY(hub.has(kAck));
    other.send("bc \r\n");
    holder.send("red 00"); // the switcher acts on the line once its end comes
    holder.send("\r\n");
    QVERIFY(holder.has("err"));
    // Only the holder heard the switcher meanwhile.
    QVERIFY(!other.got.contains("err") && !other.got.contains("edm"));
    QVERIFY(!rig.written("cir 62") && rig.made->written.count("bc ") == 1);
    holder.send("edo\r\n");
    QVERIFY(hub.has("VIDEO OUTPUT ROUTING:\n6 2\n\n"));
    QVERIFY(other.has("s11"));
    QVERIFY(rig.made->written.endsWith("edo\r\ncir 62\r\nbc \r\n"));
}

void TestServerEndToEnd::leaseHolderLeavesMidMode() {
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    {
        Client holder(rig.app->linePort());
        holder.send("stm\r\n");
        QVERIFY(holder.has("stm"));
        QCOMPARE(rig.device.mode, QByteArray("stm"));
    }
    QVERIFY(QTest::qWaitFor([&] { return rig.device.mode.isEmpty(); }, 3000));
    QVERIFY(rig.made->written.endsWith("stm\r\nsto\r\n"));
    QCOMPARE(rig.app->owner().leaseHolder(), 0u);
    // A holder that stays but falls silent loses the lease too.
    rig.app->owner().times.leaseIdleMs = 300;
    Client quiet(rig.app->linePort());
    quiet.send("irm\r\n");
    QVERIFY(quiet.has("irm"));
    QVERIFY(QTest::qWaitFor([&] { return rig.device.mode.isEmpty(); }, 3000));
    QVERIFY(rig.made->written.endsWith("irm\r\niro\r\n"));
    QCOMPARE(rig.log.filter(QStringLiteral("without a word")).size(), 1);
}

void TestServerEndToEnd::toolThroughLinePort() {
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    Client hub(rig.app->videohubPort());
    QVERIFY(hub.has("END PRELUDE:"));
    Tool tool(rig.app->linePort(), {"route", "2", "3"});
    QVERIFY(tool.done());
    QVERIFY(hub.has("VIDEO OUTPUT ROUTING:\n1 2\n\n"));
}

void TestServerEndToEnd::windowToolAndVideohubTogether() {
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    Client hub(rig.app->videohubPort());
    Window w(rig.app->linePort());
    QVERIFY(hub.has("END PRELUDE:") && w.lit(8, 8) && w.form->connectedLamp->isLit());
    w.form->routeButtons[1][2]->click();
    QVERIFY(hub.has("VIDEO OUTPUT ROUTING:\n1 2\n\n") && w.lit(2, 3));
    QCOMPARE(rig.device.routing[1], 2);
    hub.send("VIDEO OUTPUT ROUTING:\n3 4\n\n");
    QVERIFY(w.lit(4, 5));
    Tool route(rig.app->linePort(), {"route", "6", "7"});
    w.form->routeButtons[7][0]->click();
    QVERIFY(route.done() && w.lit(6, 7) && w.lit(8, 1));
    QVERIFY(hub.has("VIDEO OUTPUT ROUTING:\n5 6\n\n") && hub.has("\n7 0\n\n"));
    Tool status(rig.app->linePort(), {"status"});
    QVERIFY(status.done());
    QVERIFY(status.p.readAllStandardOutput().contains(
        "output 2: input 3\noutput 3: input 3\noutput 4: input 5\noutput 5: input 5\n"
        "output 6: input 7\noutput 7: input 7\noutput 8: input 1\n"));
    QVERIFY(w.platform.fakeDialogs().messages.isEmpty());
}

void TestServerEndToEnd::edidReadWhileRouteWaits() {
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    Client hub(rig.app->videohubPort());
    QVERIFY(hub.has("END PRELUDE:"));
    hub.got.clear();
    // The switcher holds its answer to byte 100 until the route is in.
    const QByteArray held = edid::readByteCommand(100).toLatin1();
    rig.device.onLine = [&](const QByteArray& l) { rig.made->autoDeliver = l != held; };
    const QString file = QDir(dir_.path()).filePath(QStringLiteral("in4.bin"));
    Tool read(rig.app->linePort(), {"edid", "read", "4", "-o", file});
    QVERIFY(QTest::qWaitFor([&] { return !rig.made->autoDeliver; }, 20000));
    hub.send("VIDEO OUTPUT ROUTING:\n5 6\n\n");
    QVERIFY(hub.has(kAck));
    QCOMPARE(rig.device.mode, QByteArray("edm"));
    QVERIFY(!rig.written("cir 56") && read.p.state() != QProcess::NotRunning);
    rig.made->autoDeliver = true;
    rig.made->pump();
    QVERIFY(read.done());
    QVERIFY(hub.has("VIDEO OUTPUT ROUTING:\n5 6\n\n"));
    QCOMPARE(rig.device.routing[5], 6);
    QVERIFY(rig.made->written.endsWith("red FF \r\nedo\r\ncir 56\r\n"));
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray((const char*)rig.device.edid.images[3].data(), 256));
}

void TestServerEndToEnd::abuse() {
    Rig rig(dir_.path(), 4);
    QVERIFY(rig.ok);
    Client good(rig.app->videohubPort());
    QVERIFY(good.has("END PRELUDE:"));
    // Beyond the cap: closed at once; the others stay.
    std::vector<std::unique_ptr<Client>> many;
    for (int i = 0; i < 4; ++i)
        many.push_back(std::make_unique<Client>(rig.app->videohubPort()));
    QVERIFY(many.back()->closed());
    QVERIFY(rig.log.filter(QStringLiteral("refused: too many clients")).size() == 1);
    many.clear();
    QVERIFY(QTest::qWaitFor([&] { return rig.log.filter(QStringLiteral(" gone: ")).size() == 3; }));
    // An endless line, on either port.
    Client endless(rig.app->videohubPort()), longLine(rig.app->linePort());
    endless.send(QByteArray(5000, 'A'));
    longLine.send(QByteArray(300, 'b'));
    QVERIFY(endless.closed() && longLine.closed());
    QCOMPARE(rig.log.filter(QStringLiteral("too long")).size(), 2);
    QCOMPARE(rig.log.filter(QStringLiteral("gone: closed by the server")).size(), 2);
    QVERIFY(!rig.written("bbbb"));
    // A client that never reads: dropped once a megabyte waits for it.
    Client deaf(rig.app->videohubPort(), "127.0.0.1", false);
    QByteArray asks;
    for (int i = 0; i < 4000; ++i)
        asks += "INPUT LABELS:\n\nOUTPUT LABELS:\n\nVIDEO OUTPUT ROUTING:\n\n";
    for (int i = 0; i < 50 && deaf.s.state() != QAbstractSocket::UnconnectedState; ++i) {
        deaf.send(asks);
        (void)QTest::qWaitFor(
            [&] {
                return deaf.s.bytesToWrite() == 0 ||
                       deaf.s.state() == QAbstractSocket::UnconnectedState;
            },
            2000);
    }
    QVERIFY(deaf.closed(10000));
    QCOMPARE(rig.log.filter(QStringLiteral("does not read")).size(), 1);
    good.got.clear();
    good.send("PING:\n\n");
    QVERIFY(good.has(kAck));
}

void TestServerEndToEnd::failedRoute_data() {
    QTest::addColumn<bool>("refused"); // "err", else no answer at all
    QTest::newRow("err") << true;
    QTest::newRow("ignored") << false;
}

void TestServerEndToEnd::failedRoute() {
    QFETCH(bool, refused);
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    Client hub(rig.app->videohubPort());
    QVERIFY(hub.has("END PRELUDE:"));
    hub.got.clear();
    (refused ? rig.device.faults.refuseRoutes : rig.device.faults.ignoreRoutes) = true;
    hub.send("VIDEO OUTPUT ROUTING:\n4 6\n\n");
    // Acknowledged as taken; then what the switcher reports stands.
    QVERIFY(hub.has("ACK\n\nVIDEO OUTPUT ROUTING:\n4 4\n\n", 3000));
    QVERIFY(rig.log.filter("route output 5 to input 7 for 127.0.0.1 not carried out").size() == 1);
    QCOMPARE(rig.app->state().input(5), 5);
}

void TestServerEndToEnd::salvosTakeTurns() {
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    Client holder(rig.app->linePort());
    Client flood(rig.app->videohubPort(), "127.0.0.2"), other(rig.app->videohubPort());
    QVERIFY(flood.has("END PRELUDE:") && other.has("END PRELUDE:"));
    // Everything waits while a line client holds the line.
    holder.send("edm\r\n");
    QVERIFY(holder.has("edm"));
    // 2000 routes to outputs 2..8 come down to one each; a third salvo is
    // more than one client may have waiting.
    QByteArray salvo = "VIDEO OUTPUT ROUTING:\n";
    for (int i = 0; i < 2000; ++i)
        salvo += QByteArray::number(1 + i % 7) + " 1\n";
    const QByteArray second = "VIDEO OUTPUT ROUTING:\n1 2\n2 2\n3 2\n4 2\n5 2\n6 2\n7 2\n\n";
    flood.got.clear();
    flood.send(salvo + "\n" + second + second);
    QVERIFY(flood.has("ACK\n\nACK\n\nNAK\n\n"));
    other.send("VIDEO OUTPUT ROUTING:\n0 3\n\n");
    QVERIFY(other.has(kAck));
    holder.send("edo\r\n");
    QVERIFY(QTest::qWaitFor([&] { return rig.written("cir 72\r\n"); }));
    // The other client's route went second, not fifteenth.
    const QByteArray w = rig.made->written.sliced(rig.made->written.indexOf("edo"));
    QVERIFY(w.indexOf("cir 03") < w.indexOf("cir 21"));
    QCOMPARE(w.count("cir "), 15);
}

void TestServerEndToEnd::lostLineIsNoAbsence() {
    Rig rig(dir_.path(), 32, 1);
    QVERIFY(rig.ok);
    // One line of every status answer lost on the way.
    rig.device.faults.answered = 0;
    rig.device.faults.dropEvery = 8;
    QSignalSpy presence(&rig.app->state(), &server::RouterState::presenceChanged);
    QVERIFY(QTest::qWaitFor([&] { return rig.made->written.count("bc ") >= 4; }, 5000));
    QVERIFY(presence.isEmpty());
    QVERIFY(rig.app->state().present());
}

void TestServerEndToEnd::noSplicedLines() {
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    Client typist(rig.app->linePort()), hub(rig.app->videohubPort());
    QVERIFY(hub.has("END PRELUDE:"));
    typist.send("cir 1");
    QTest::qWait(300); // a pause between keys
    hub.send("VIDEO OUTPUT ROUTING:\n2 4\n\n");
    QVERIFY(hub.has("VIDEO OUTPUT ROUTING:\n2 4\n\n"));
    typist.send("4\r\n");
    QVERIFY(typist.has("s25"));
    QVERIFY(rig.written("cir 24\r\n") && rig.written("cir 14\r\n"));
    QVERIFY(!rig.written("cir 1c"));
}

// A line client that sends without pause is read only as its lines go
// out: what waits for the switcher stays small, and no line is lost.
void TestServerEndToEnd::lineFloodWaits() {
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    Client holder(rig.app->linePort());
    holder.send("edm\r\n");
    QVERIFY(holder.has("edm"));
    Client flood(rig.app->linePort()); // line client 2
    flood.send(QByteArray("cir 12\r\ncir 34\r\n").repeated(2000));
    QVERIFY(QTest::qWaitFor(
        [&] { return rig.app->owner().waiting(2) == server::LineOwner::kMaxWaitingLines; }));
    QTest::qWait(300);
    QCOMPARE(rig.app->owner().waiting(2), server::LineOwner::kMaxWaitingLines);
    holder.send("edo\r\n");
    QVERIFY(QTest::qWaitFor([&] { return rig.made->written.count("cir ") == 4000; }, 20000));
}

void TestServerEndToEnd::leaseWords_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("lease");
    QTest::newRow("blank first") << QByteArray(" edm\r\n") << true;
    QTest::newRow("after a CR") << QByteArray("\redm\r\n") << true;
    QTest::newRow("CR between words") << QByteArray("edm\rbc \r\n") << true;
    QTest::newRow("an argument") << QByteArray("edm x\r\n") << true;
    QTest::newRow("no line end") << QByteArray("edm") << false;
}

void TestServerEndToEnd::leaseWords() {
    QFETCH(QByteArray, line);
    QFETCH(bool, lease);
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    Client holder(rig.app->linePort()), hub(rig.app->videohubPort());
    QVERIFY(hub.has("END PRELUDE:"));
    holder.send(line);
    if (lease)
        QVERIFY(holder.has("edm"));
    else
        QTest::qWait(300); // the line stays unended
    hub.send("VIDEO OUTPUT ROUTING:\n2 2\n\n");
    QVERIFY(hub.has(kAck));
    holder.send("\r\nedo\r\n");
    QVERIFY(QTest::qWaitFor([&] { return rig.written("cir 22\r\n") && rig.written("edo"); }));
    const QByteArray& w = rig.made->written;
    QCOMPARE(w.indexOf("cir 22") > w.indexOf("edo"), lease);
}

void TestServerEndToEnd::mdnsWithoutDaemon_data() {
    QTest::addColumn<bool>("bus");
    QTest::addColumn<QString>("said");
    QTest::newRow("no system bus") << false << "mDNS: Daemon not running; not announced";
    QTest::newRow("a bus without avahi")
        << true << "mDNS: no avahi daemon; not announced until one starts";
}

// The system bus is one the test starts in its folder, or none at all: never
// the machine's. (The process keeps the first bus address it is given.)
void TestServerEndToEnd::mdnsWithoutDaemon() {
    QFETCH(bool, bus);
    const QString socket = dir_.filePath(QStringLiteral("bus"));
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + socket.toUtf8());
    QProcess daemon;
    if (bus) {
        daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address",
                                                     "--address", "unix:path=" + socket});
        QVERIFY2(QTest::qWaitFor([&] { return daemon.canReadLine(); }, 5000),
                 "dbus-daemon did not start (tools/install-deps.sh installs it)");
    }
    server::MdnsAnnouncer announcer(QStringLiteral("HDMI Matrix"), 9990);
    QSignalSpy events(&announcer, &server::MdnsAnnouncer::event);
    announcer.start();
    QVERIFY(events.count() == 1 || events.wait(3000));
    QTEST(events.first().first().toString(), "said");
    QVERIFY(!events.wait(1000)); // once
    daemon.kill();
    daemon.waitForFinished();
}

// Loopback in despite --allow, --max-per-address from one address.
void TestServerEndToEnd::whoGetsIn() {
    Rig rig(dir_.path(), 32, 0, [](server::Options& o) {
        o.allow = {QHostAddress::parseSubnet("192.0.2.10/32")};
        o.maxPerAddress = 2;
    });
    Client idle1(rig.app->videohubPort()), idle2(rig.app->videohubPort());
    QVERIFY(rig.ok && idle1.has("END PRELUDE:") && idle2.has("END PRELUDE:"));
    Client tooMany(rig.app->videohubPort()), other(rig.app->videohubPort(), "127.0.0.2"),
        line(rig.app->linePort());
    QVERIFY(tooMany.closed() && other.has("END PRELUDE:"));
    QCOMPARE(rig.log.filter("refused: too many clients from this address (2)").size(), 1);
    line.send("bc \r\n");
    QVERIFY(line.has("s11"));
}

// Connections closed or reset before they are accepted count for nothing.
void TestServerEndToEnd::closedBeforeAccepted() {
    Rig rig(dir_.path(), 4);
    QVERIFY(rig.ok);
    for (int i = 0; i < 21; ++i) { // connected and closed before the server looks
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{AF_INET, htons(rig.app->videohubPort()), {htonl(INADDR_LOOPBACK)}, {}};
        QCOMPARE(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        if (const linger reset{1, 0}; i == 20) // the last one reset
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(fd);
    }
    QVERIFY(QTest::qWaitFor([&] { return rig.log.filter(" gone: ").size() == 20; }));
    QCOMPARE(rig.log.filter("refused: "),
             QStringList{"videohub client (address unknown) refused: "
                         "the client reset it before it was accepted"});
}

// Changes a folder cannot keep are refused; damaged files set aside, newer ones kept.
void TestServerEndToEnd::stateFolderFaults() {
    QStringList ids;
    for (int run = 0; run < 2; ++run) {
        Rig rig(QStringLiteral("/proc/self")); // unwritable, even for root
        Client a(rig.app->videohubPort());
        QVERIFY(rig.ok && a.has("END PRELUDE:"));
        ids << QString::fromLatin1(a.got.mid(a.got.indexOf("Unique ID:"), 23));
        a.send("INPUT LABELS:\n0 Lost\n\n");
        QVERIFY(a.has("NAK\n\n"));
        QCOMPARE(rig.log.filter("label change refused").size(), 1);
    }
    QCOMPARE(ids[0], ids[1]);
    QTemporaryDir state;
    for (const QByteArray& old :
         {QByteArray("{damaged"), QByteArray(R"({"version":2,"inputs":["Far"]})")}) {
        QFile f(state.filePath("labels.json"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(old) && (f.close(), true));
        Rig rig(state.path());
        Client a(rig.app->videohubPort());
        QVERIFY(rig.ok && a.has("END PRELUDE:"));
        a.send("INPUT LABELS:\n1 New\n\n");
        const bool newer = old.contains("Far");
        QVERIFY(a.has(newer ? "NAK\n\n" : "ACK\n\n"));
        QCOMPARE(a.got.contains("\n0 Far\n"), newer);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll() == old, newer);
        QCOMPARE(QDir(state.path()).entryList({"labels.json.damaged-*"}).size(), 1);
    }
}

// SIGHUP reloads the server's labels; it ends the tool as SIGTERM does.
void TestServerEndToEnd::hangUp() {
    QTemporaryDir state;
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    Rig rig(dir_.path());
    server.start(QStringLiteral(HDMI_SERVER_PATH),
                 {"--port", "tcp://127.0.0.1:" + QString::number(rig.app->linePort()), "--videohub",
                  "127.0.0.1:0", "--no-line", "--no-web", "--state-dir", state.path()});
    QByteArray said;
    QVERIFY(rig.ok &&
            QTest::qWaitFor([&] { return (said += server.readAll()).contains("switcher found"); }));
    Client hub(said.mid(said.indexOf("protocol on 127.0.0.1:") + 22).split('\n')[0].toUShort());
    QVERIFY(hub.has("END PRELUDE:"));
    QFile f(state.filePath("labels.json"));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(R"({"version":1,"outputs":["","Hall"]})"));
    f.close();
    ::kill(pid_t(server.processId()), SIGHUP);
    QVERIFY(hub.has("OUTPUT LABELS:\n1 Hall\n\n"));
    QVERIFY(QTest::qWaitFor([&] { return (said += server.readAll()).contains("reloaded"); }));
    server.terminate();
    QVERIFY(server.waitForFinished(5000) && server.exitCode() == 0);
    Tool read(rig.app->linePort(), {"edid", "read", "4", "-o", state.filePath("x.bin")});
    QVERIFY(QTest::qWaitFor([&] { return rig.device.mode == "edm"; }, 10000));
    ::kill(pid_t(read.p.processId()), SIGHUP);
    QVERIFY(read.p.waitForFinished(10000) && read.p.exitCode() == 129);
    QVERIFY(QTest::qWaitFor([&] { return rig.device.mode.isEmpty(); }));
}

QTEST_MAIN(TestServerEndToEnd)
#include "test_server_end_to_end.moc"

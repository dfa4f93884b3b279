// The Videohub session and the line reader as data: bytes in, bytes and
// switcher commands out, against a shared router state on the simulated
// switcher in this process.

#include "core/device/switcher.h"
#include "core/protocol/commands.h"
#include "frontends/server/line_reader.h"
#include "frontends/server/listener.h"
#include "frontends/server/metrics_page.h"
#include "frontends/server/options.h"
#include "frontends/server/videohub_session.h"
#include "sim/device.h"
#include "sim/inprocess_port.h"
#include "state/scenes/scene_service.h"
#include "testing/fakes/fake_clock.h"
#include "testing/fakes/fake_platform.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using server::RouterState;
using server::VideohubSession;

namespace {

const QString kMe = QStringLiteral("10.0.0.1");
const QString kOther = QStringLiteral("10.0.0.9");

// Another Videohub client takes or gives up a lock.
void lock(RouterState& state, const QString& client, int output, RouterState::LockAction action) {
    state.ask({client, QStringLiteral("videohub"), client},
              RouterState::Change::toLocks({{output, action}}));
}

// The switcher answers only when answer() says so.
struct World {
    sim::Device device;
    platform::FakePlatform platform;
    sim::InProcessPort* port = nullptr;
    std::unique_ptr<device::Switcher> core;
    RouterState state;
    QByteArray out;
    std::unique_ptr<VideohubSession> session;
    World() {
        platform.portFactory = sim::InProcessPort::factory(device, port, false);
        core = std::make_unique<device::Switcher>(platform);
        core->link().open(1);
        state.attach(&core->requests());
        state.setPresent(true);
        for (int o = 1; o <= state.model().outputs; ++o)
            state.setInput(o, o);
        session = std::make_unique<VideohubSession>(state, server::DeviceInfo{"M", "F", "ID"}, kMe);
        QObject::connect(session.get(), &VideohubSession::send,
                         [this](const QByteArray& b) { out += b; });
    }
    void answer() { port->pump(); }
    // The commands that went to the switcher, without line ends.
    QString commands() const {
        return QString::fromLatin1(port->written)
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)
            .join(QLatin1Char('|'));
    }
};

} // namespace

class TestServerProtocol : public QObject {
    Q_OBJECT
private slots:
    void requests_data();
    void requests();
    void audit_data();
    void audit();
    void auditBound_data();
    void auditBound();
    void changesSwitcher_data();
    void changesSwitcher();
    void scheduledScene();
    void counted_data();
    void counted();
    void metricsPage();
    void broadcasts();
    void greeting();
    void longLines_data();
    void longLines();
    void lineReader_data();
    void lineReader();
    void options_data();
    void options();
    void addresses_data();
    void addresses();
};

void TestServerProtocol::requests_data() {
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QString>("setup"); // "absent", "locked3" (by another), "mine1"
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("commands");
    const QByteArray ack = "ACK\n\n", nak = "NAK\n\n";
    QTest::newRow("ping") << QByteArray("PING:\n\n") << "" << ack << "";
    QTest::newRow("ping crlf") << QByteArray("PING:\r\n\r\n") << "" << ack << "";
    QTest::newRow("route") << QByteArray("VIDEO OUTPUT ROUTING:\n2 5\n\n") << "" << ack << "cir 25";
    QTest::newRow("salvo") << QByteArray("VIDEO OUTPUT ROUTING:\r\n0 7\r\n7 0\r\n\r\n") << "" << ack
                           << "cir 07|cir 70";
    QTest::newRow("salvo, last route to an output counts")
        << QByteArray("VIDEO OUTPUT ROUTING:\n0 7\n1 2\n0 3\n\n") << "" << ack << "cir 12|cir 03";
    QTest::newRow("salvo one bad")
        << QByteArray("VIDEO OUTPUT ROUTING:\n0 7\n8 0\n\n") << "" << nak << "";
    QTest::newRow("not a number") << QByteArray("VIDEO OUTPUT ROUTING:\n0 x\n\n") << "" << nak
                                  << "";
    QTest::newRow("two blanks") << QByteArray("VIDEO OUTPUT ROUTING:\n0  1\n\n") << "" << nak << "";
    QTest::newRow("negative") << QByteArray("VIDEO OUTPUT ROUTING:\n-1 1\n\n") << "" << nak << "";
    QTest::newRow("absent") << QByteArray("VIDEO OUTPUT ROUTING:\n1 1\n\n") << "absent" << nak
                            << "";
    QTest::newRow("route to a locked output")
        << QByteArray("VIDEO OUTPUT ROUTING:\n3 1\n\n") << "locked3" << nak << "";
    QTest::newRow("route to my locked output")
        << QByteArray("VIDEO OUTPUT ROUTING:\n1 3\n\n") << "mine1" << ack << "cir 13";
    QTest::newRow("bare routing")
        << QByteArray("VIDEO OUTPUT ROUTING:\n\n") << ""
        << ack + "VIDEO OUTPUT ROUTING:\n0 0\n1 1\n2 2\n3 3\n4 4\n5 5\n6 6\n7 7\n\n"
        << "";
    QTest::newRow("take a lock") << QByteArray("VIDEO OUTPUT LOCKS:\n1 O\n\n") << ""
                                 << ack + "VIDEO OUTPUT LOCKS:\n1 O\n\n"
                                 << "";
    QTest::newRow("take another's lock")
        << QByteArray("VIDEO OUTPUT LOCKS:\n3 O\n\n") << "locked3" << nak << "";
    QTest::newRow("release another's lock")
        << QByteArray("VIDEO OUTPUT LOCKS:\n3 U\n\n") << "locked3" << nak << "";
    QTest::newRow("release a free lock")
        << QByteArray("VIDEO OUTPUT LOCKS:\n3 U\n\n") << "" << nak << "";
    QTest::newRow("release mine") << QByteArray("VIDEO OUTPUT LOCKS:\n1 U\n\n") << "mine1"
                                  << ack + "VIDEO OUTPUT LOCKS:\n1 U\n\n"
                                  << "";
    QTest::newRow("force another's") << QByteArray("VIDEO OUTPUT LOCKS:\n3 F\n\n") << "locked3"
                                     << ack + "VIDEO OUTPUT LOCKS:\n3 U\n\n"
                                     << "";
    QTest::newRow("release a free lock, then take it")
        << QByteArray("VIDEO OUTPUT LOCKS:\n3 U\n3 O\n\n") << "" << nak << "";
    QTest::newRow("take a lock, then release it")
        << QByteArray("VIDEO OUTPUT LOCKS:\n1 O\n1 U\n\n") << "" << nak << "";
    QTest::newRow("release mine, take it again") << QByteArray("VIDEO OUTPUT LOCKS:\n1 U\n1 O\n\n")
                                                 << "mine1" << ack + "VIDEO OUTPUT LOCKS:\n1 O\n\n"
                                                 << "";
    QTest::newRow("lock letter") << QByteArray("VIDEO OUTPUT LOCKS:\n1 X\n\n") << "" << nak << "";
    QTest::newRow("bare locks, my view")
        << QByteArray("VIDEO OUTPUT LOCKS:\n\n") << "mine1"
        << ack + "VIDEO OUTPUT LOCKS:\n0 U\n1 O\n2 U\n3 U\n4 U\n5 U\n6 U\n7 U\n\n"
        << "";
    QTest::newRow("label") << QByteArray("INPUT LABELS:\n2 Camera 2\n\n") << ""
                           << ack + "INPUT LABELS:\n2 Camera 2\n\n"
                           << "";
    QTest::newRow("label utf-8") << QByteArray("OUTPUT LABELS:\n7 B\xc3\xbchne\n\n") << ""
                                 << ack + "OUTPUT LABELS:\n7 B\xc3\xbchne\n\n"
                                 << "";
    QTest::newRow("label unchanged")
        << QByteArray("OUTPUT LABELS:\n0 Output 1\n\n") << "" << ack << "";
    QTest::newRow("label 64") << "INPUT LABELS:\n0 " + QByteArray(64, 'x') + "\n\n"
                              << "" << ack + "INPUT LABELS:\n0 " + QByteArray(64, 'x') + "\n\n"
                              << "";
    QTest::newRow("label 65") << "INPUT LABELS:\n0 " + QByteArray(65, 'x') + "\n\n"
                              << "" << nak << "";
    QTest::newRow("label control") << QByteArray("INPUT LABELS:\n0 a\tb\n\n") << "" << nak << "";
    QTest::newRow("label not utf-8") << QByteArray("INPUT LABELS:\n0 \xff\n\n") << "" << nak << "";
    QTest::newRow("label port 8") << QByteArray("INPUT LABELS:\n8 x\n\n") << "" << nak << "";
    QTest::newRow("label twice, the last counts") << QByteArray("INPUT LABELS:\n2 A\n3 B\n2 C\n\n")
                                                  << "" << ack + "INPUT LABELS:\n2 C\n3 B\n\n"
                                                  << "";
    QTest::newRow("label bad, then good")
        << "INPUT LABELS:\n0 " + QByteArray(65, 'x') + "\n0 ok\n\n"
        << "" << nak << "";
    QTest::newRow("labels one bad")
        << QByteArray("INPUT LABELS:\n1 ok\n9 x\n\n") << "" << nak << "";
    QTest::newRow("device change")
        << QByteArray("VIDEOHUB DEVICE:\nFriendly name: x\n\n") << "" << nak << "";
    QTest::newRow("configuration change")
        << QByteArray("CONFIGURATION:\nTake Mode: true\n\n") << "" << nak << "";
    QTest::newRow("bare configuration")
        << QByteArray("CONFIGURATION:\n\n") << "" << ack + "CONFIGURATION:\nTake Mode: false\n\n"
        << "";
    QTest::newRow("lacking section")
        << QByteArray("SERIAL PORT ROUTING:\n\n") << "" << ack + "SERIAL PORT ROUTING:\n\n"
        << "";
    QTest::newRow("lacking section change")
        << QByteArray("SERIAL PORT ROUTING:\n0 1\n\n") << "" << nak << "";
    QTest::newRow("unknown block")
        << QByteArray("SOMETHING NEW:\nx\n\n") << "" << QByteArray() << "";
    QTest::newRow("no colon") << QByteArray("hello\n\n") << "" << nak << "";
    QTest::newRow("blank lines, two blocks")
        << QByteArray("\n\nPING:\n\n\nVIDEO OUTPUT ROUTING:\n4 4\n\n") << "" << ack + ack
        << "cir 44";
    QTest::newRow("unfinished block")
        << QByteArray("VIDEO OUTPUT ROUTING:\n4 4\n") << "" << QByteArray() << "";
}

void TestServerProtocol::requests() {
    QFETCH(QByteArray, in);
    QFETCH(QString, setup);
    QFETCH(QByteArray, expected);
    QFETCH(QString, commands);
    for (const bool byteWise : {false, true}) {
        World w;
        if (setup == QLatin1String("absent"))
            w.state.setPresent(false);
        if (setup == QLatin1String("locked3"))
            lock(w.state, kOther, 4, RouterState::LockAction::Own);
        if (setup == QLatin1String("mine1"))
            lock(w.state, kMe, 2, RouterState::LockAction::Own);
        w.out.clear();
        if (byteWise)
            for (const char c : in)
                w.session->receive(QByteArrayView(&c, 1));
        else
            w.session->receive(in);
        QCOMPARE(w.out, expected);
        w.answer(); // a salvo's routes go one after another's report
        QCOMPARE(w.commands(), commands);
    }
}

// What a Videohub client asks is recorded as asked once its outcome is
// known, with why it was refused or how it failed; what only reads is not.
void TestServerProtocol::audit_data() {
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<QString>("line");
    QTest::newRow("route")
        << QByteArray("VIDEO OUTPUT ROUTING:\n0 4\n1 2\n\n") << false
        << "videohub from 10.0.0.1: route output 1 to input 5, output 2 to input 3";
    QTest::newRow("route never reported")
        << QByteArray("VIDEO OUTPUT ROUTING:\n0 4\n\n") << false
        << "videohub from 10.0.0.1: route output 1 to input 5 (failed: timed out)";
    QTest::newRow("route refused") << QByteArray("VIDEO OUTPUT ROUTING:\n3 0\n\n") << true
                                   << "videohub from 10.0.0.1: route output 4 to input 1 "
                                      "(refused: locked)";
    QTest::newRow("label") << QByteArray("INPUT LABELS:\n2 Cam 3\n\n") << false
                           << "videohub from 10.0.0.1: label input 3 \"Cam 3\"";
    QTest::newRow("lock") << QByteArray("VIDEO OUTPUT LOCKS:\n1 O\n2 F\n\n") << false
                          << "videohub from 10.0.0.1: lock output 2, force unlock output 3";
    // However many lines a block has, what it does is told once a port.
    QTest::newRow("a salvo of thousands")
        << "VIDEO OUTPUT ROUTING:\n" + QByteArray("1 1\n0 3\n").repeated(8000) + "0 2\n\n"
        << false << "videohub from 10.0.0.1: route output 2 to input 2, output 1 to input 3";
    QTest::newRow("locks asked over and over")
        << "VIDEO OUTPUT LOCKS:\n" + QByteArray("1 U\n1 O\n").repeated(8000) + "\n"
        << false << "videohub from 10.0.0.1: unlock output 2, lock output 2 (refused: locked)";
    QTest::newRow("a label far too long") << "INPUT LABELS:\n0 " + QByteArray(4000, 'x') + "\n\n"
                                          << false
                                          << "videohub from 10.0.0.1: label input 1 (4000 "
                                             "characters) (refused: invalid)";
    QTest::newRow("a bare header reads")
        << QByteArray("VIDEO OUTPUT ROUTING:\n\n") << false << QString();
}

void TestServerProtocol::audit() {
    QFETCH(QByteArray, in);
    QFETCH(bool, locked);
    QFETCH(QString, line);
    World w;
    if (locked)
        lock(w.state, kOther, 4, RouterState::LockAction::Own);
    const int before = int(w.state.audit().entries().size());
    QStringList logged;
    QObject::connect(&w.state.audit(), &server::AuditTrail::logged,
                     [&](const QString& l) { logged << l; });
    w.session->receive(in);
    const bool silent = line.endsWith("timed out)");
    if (silent)
        w.platform.clock().advance(protocol::kRoutingTimeoutMs);
    else
        w.answer();
    QCOMPARE(logged, line.isEmpty() ? QStringList() : QStringList{"audit: " + line});
    QCOMPARE(int(w.state.audit().entries().size()) - before, int(logged.size()));
}

// Each text an entry keeps is bounded, and a refusal is told whole.
void TestServerProtocol::auditBound_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("kept");
    const QString most(server::AuditTrail::kEntryText, 'x');
    const QString pair = QString::fromUtf8("\xf0\x9f\x8e\xac"); // one character, two units
    QTest::newRow("at the bound") << most << int(server::Outcome::Done) << most;
    QTest::newRow("one over") << most + "y" << int(server::Outcome::Done) << most + "... (1 more)";
    QTest::newRow("over, refused") << most + "yy" << int(server::Outcome::Busy)
                                   << most + "... (2 more) (refused: too many waiting)";
    QTest::newRow("not between the halves of a character")
        << most.first(most.size() - 1) + pair << int(server::Outcome::Done)
        << most.first(most.size() - 1) + "... (2 more)";
}

void TestServerProtocol::auditBound() {
    QFETCH(QString, what);
    QFETCH(int, verdict);
    QFETCH(QString, kept);
    server::AuditTrail trail;
    QString logged;
    QObject::connect(&trail, &server::AuditTrail::logged, [&](const QString& l) { logged = l; });
    trail.record(QStringLiteral("videohub"), kMe, what, server::Outcome(verdict));
    QCOMPARE(trail.entries().back().what, kept);
    QCOMPARE(logged, "audit: videohub from 10.0.0.1: " + kept);
}

// The lines of the line port that the audit trail records, and what they
// are counted as.
void TestServerProtocol::changesSwitcher_data() {
    using C = protocol::LineChange;
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<C>("change");
    for (const char* l : {"cir 01\r\n", "srp 1 2"})
        QTest::newRow(l) << QByteArray(l) << C::Route;
    QTest::newRow("asw 3") << QByteArray("asw 3") << C::AllOutputs;
    for (const char* l : {"msw 2", " MSA 1"})
        QTest::newRow(l) << QByteArray(l) << C::Preset;
    for (const char* l :
         {"slc 1", "smd 2", "sed 1 2", "rst", "swe 3 0", "sav", "dhc", "sip C0A80001"})
        QTest::newRow(l) << QByteArray(l) << C::Setting;
    for (const char* l : {"bc ", "ims", "sts", "swe 3 1", "wed 0 FF", "red 0 ", "ric 1", "wic 1 00",
                          "edm", "stm", "", "cirque"})
        QTest::newRow(l) << QByteArray(l) << C::None;
}

void TestServerProtocol::changesSwitcher() {
    QFETCH(QByteArray, line);
    QFETCH(protocol::LineChange, change);
    QCOMPARE(protocol::lineChange(line), change);
    QCOMPARE(protocol::changesSwitcher(line), change != protocol::LineChange::None);
}

// Every change asked of the shared state is counted by the front end, the
// kind and how it ended: twice asked, twice counted. Without a switcher
// routes end absent.
void TestServerProtocol::counted_data() {
    using F = server::Frontend;
    QTest::addColumn<F>("frontend");
    QTest::addColumn<server::Role>("role");
    QTest::addColumn<RouterState::Change>("change");
    QTest::addColumn<QByteArray>("labels");
    const auto scene = [] {
        RouterState::Change c = RouterState::Change::toRoutes({{1, 2}, {2, 3}});
        c.scene = true;
        return c;
    };
    const server::Role admin = server::Role::Admin;
    QTest::newRow("route") << F::Videohub << admin << RouterState::Change::toRoutes({{1, 2}})
                           << QByteArray(R"(frontend="videohub",kind="route",outcome="absent")");
    QTest::newRow("salvo") << F::Mqtt << admin << RouterState::Change::toRoutes({{1, 2}, {3, 4}})
                           << QByteArray(R"(frontend="mqtt",kind="salvo",outcome="absent")");
    QTest::newRow("all") << F::Web << admin << RouterState::Change::allOutputs(2)
                         << QByteArray(R"(frontend="web",kind="salvo",outcome="absent")");
    QTest::newRow("scene") << F::Schedule << admin << scene()
                           << QByteArray(R"(frontend="schedule",kind="scene",outcome="absent")");
    QTest::newRow("preset") << F::Web << admin << RouterState::Change::presetSave(1)
                            << QByteArray(R"(frontend="web",kind="preset",outcome="absent")");
    QTest::newRow("label") << F::Web << admin
                           << RouterState::Change::toLabels(RouterState::Side::Inputs, {{1, "A"}})
                           << QByteArray(R"(frontend="web",kind="label",outcome="done")");
    QTest::newRow("bad label") << F::Videohub << admin
                               << RouterState::Change::toLabels(RouterState::Side::Inputs,
                                                                {{0, ""}})
                               << QByteArray(
                                      R"(frontend="videohub",kind="label",outcome="invalid")");
    QTest::newRow("viewer") << F::Web << server::Role::Viewer
                            << RouterState::Change::toLocks({{1, RouterState::LockAction::Own}})
                            << QByteArray(R"(frontend="web",kind="lock",outcome="forbidden")");
}

void TestServerProtocol::counted() {
    QFETCH(server::Frontend, frontend);
    QFETCH(server::Role, role);
    QFETCH(RouterState::Change, change);
    QFETCH(QByteArray, labels);
    RouterState state;
    const server::MetricsPage page({&state}, QStringLiteral("1"), QStringLiteral("8x8"));
    for (int i = 0; i < 2; ++i)
        state.ask({kMe, kMe, kMe, role, frontend}, change);
    const QByteArray text = page.render();
    QVERIFY2(text.contains("\nhdmi_matrix_requests_total{" + labels + "} 2\n"), text);
    QCOMPARE(text.count("hdmi_matrix_requests_total{"), 1);
}

// The page's label values escaped, the histogram's buckets cumulative, and
// the routing only while the switcher is there.
void TestServerProtocol::metricsPage() {
    RouterState state;
    const server::MetricsPage page({&state}, QStringLiteral("2\"b\\\n"), QStringLiteral("8x8"));
    QVERIFY(page.render().contains(R"(hdmi_matrix_build_info{version="2\"b\\\n",model="8x8"} 1)"));
    server::TimeBuckets t;
    for (const qint64 ms : {4, 30, 7000})
        t.add(ms * 1000000);
    const QList<quint64> atMost{t.atMost(0), t.atMost(2), t.atMost(3), t.atMost(9), t.atMost(10)};
    QCOMPARE(atMost, (QList<quint64>{1, 1, 2, 2, 3}));
    QCOMPARE(t.seconds(), 7.034);
    state.setInput(2, 4);
    QVERIFY(!page.render().contains("hdmi_matrix_output_input{"));
    state.setPresent(true);
    QVERIFY(page.render().contains("\nhdmi_matrix_output_input{output=\"2\"} 4\n"));
    QVERIFY(page.render().contains("\nhdmi_matrix_switcher_up 1\n"));
    state.setPresent(false);
    QVERIFY(page.render().contains("\nhdmi_matrix_switcher_absent_total 1\n"));
}

// A scene recalls itself when due, through the queue, and is active once
// the switcher reports it; refused by a lock, it is tried again a minute on.
void TestServerProtocol::scheduledScene() {
    World w;
    QTemporaryDir dir;
    platform::FakeClock clock;
    const QDateTime start(QDate(2026, 12, 8), QTime(7, 59), QTimeZone::utc());
    const auto service = [&] {
        return std::make_unique<server::SceneService>(
            w.state, dir.path(), true,
            server::SceneScheduler::Clock{
                [&] { return start.addMSecs(clock.now()); }, [&] { return clock.now(); },
                [&](QObject* p) { return new platform::FakeTimer(clock, p); }},
            QTimeZone::utc());
    };
    auto owned = service();
    server::SceneService& scenes = *owned;
    QString warning;
    scenes.load(&warning);
    QStringList log;
    QObject::connect(&scenes, &server::SceneService::log, [&](const QString& l) { log << l; });
    QObject::connect(&w.state.audit(), &server::AuditTrail::logged,
                     [&](const QString& l) { log << l; });
    QCOMPARE(scenes.store().put(QStringLiteral("Signage"), {{1, 3}, {2, 3}},
                                {QStringLiteral("Daily 08:00")}),
             server::SceneStore::Result::Done);
    QCOMPARE(scenes.active(), QStringList());
    clock.advance(59'999);
    QCOMPARE(w.commands(), QString());
    clock.advance(1);
    w.answer();
    QCOMPARE(w.commands(), QStringLiteral("cir 02|cir 12"));
    QCOMPARE(scenes.active(), QStringList{"Signage"});
    QCOMPARE(log.last(), "audit: schedule from the server: recall scene \"Signage\"");

    w.state.setInput(2, 5); // somebody routes one output away
    QCOMPARE(scenes.active(), QStringList());
    lock(w.state, kOther, 2, RouterState::LockAction::Own);
    w.port->written.clear();
    clock.advance(24 * 3600'000);
    QVERIFY2(log.last().contains("trying again in a minute"), qPrintable(log.last()));
    lock(w.state, kOther, 2, RouterState::LockAction::Unlock);
    clock.advance(60'000);
    w.answer();
    QCOMPARE(w.commands(), QStringLiteral("cir 02|cir 12"));
    QCOMPARE(scenes.active(), QStringList{"Signage"});

    // Stopped for three days: the times missed are logged, not replayed;
    // after the start, the schedule read from the file recalls by itself.
    owned.reset();
    clock.advance(3 * 24 * 3600'000 - 30 * 60'000);
    owned = service();
    QObject::connect(owned.get(), &server::SceneService::log, [&](const QString& l) { log << l; });
    w.port->written.clear();
    owned->load(&warning);
    QCOMPARE(log.last(), "scene \"Signage\" was due at Thu 2026-12-10 08:00, Fri 2026-12-11 "
                         "08:00 while schedules were not running; not recalled now");
    QCOMPARE(w.commands(), QString());
    clock.advance(30 * 60'000);
    w.answer();
    QCOMPARE(w.commands(), QStringLiteral("cir 02|cir 12"));
}

void TestServerProtocol::broadcasts() {
    World w;
    w.state.setInput(3, 3); // no change: nothing
    w.state.setInput(6, 2);
    QCOMPARE(w.out, QByteArray("VIDEO OUTPUT ROUTING:\n5 1\n\n"));
    w.out.clear();
    lock(w.state, kOther, 7, RouterState::LockAction::Own);
    QCOMPARE(w.out, QByteArray("VIDEO OUTPUT LOCKS:\n6 L\n\n"));
    w.out.clear();
    w.state.setPresent(false);
    w.state.setPresent(false);
    QVERIFY(w.out.startsWith("VIDEOHUB DEVICE:\nDevice present: false\nModel name: M\n"));
    QCOMPARE(w.out.count("VIDEOHUB DEVICE:"), 1);
    QVERIFY(w.out.endsWith("Serial ports: 0\n\n"));
    // Labels changed by another session reach this one.
    w.out.clear();
    VideohubSession other(w.state, {}, kOther);
    other.receive("INPUT LABELS:\n0\n1 Desk\n\n");
    QCOMPARE(w.out, QByteArray("INPUT LABELS:\n1 Desk\n\n"));
    w.out.clear();
    other.receive("INPUT LABELS:\n1\n\n"); // empty: the default again
    QCOMPARE(w.out, QByteArray("INPUT LABELS:\n1 Input 2\n\n"));
}

void TestServerProtocol::greeting() {
    World w;
    const QByteArray g = w.session->greeting();
    QVERIFY(g.startsWith("PROTOCOL PREAMBLE:\nVersion: 2.8\n\nVIDEOHUB DEVICE:\nDevice present: "
                         "true\nModel name: M\nFriendly name: F\nUnique ID: ID\nVideo inputs: 8\n"
                         "Video processing units: 0\nVideo outputs: 8\nVideo monitoring outputs: "
                         "0\nSerial ports: 0\n\nINPUT LABELS:\n0 Input 1\n"));
    QStringList headers;
    for (const QByteArray& line : g.split('\n'))
        if (line.endsWith(':'))
            headers << QString::fromLatin1(line);
    QCOMPARE(headers, QStringList({"PROTOCOL PREAMBLE:", "VIDEOHUB DEVICE:", "INPUT LABELS:",
                                   "OUTPUT LABELS:", "VIDEO OUTPUT LOCKS:", "VIDEO OUTPUT ROUTING:",
                                   "CONFIGURATION:", "END PRELUDE:"}));
    QVERIFY(g.endsWith("CONFIGURATION:\nTake Mode: false\n\nEND PRELUDE:\n\n"));
}

void TestServerProtocol::longLines_data() {
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<bool>("dropped");
    QTest::newRow("4096 and LF") << QByteArray(4096, 'A') + "\n" << false;
    QTest::newRow("4096 and CR LF") << QByteArray(4096, 'A') + "\r\n" << false;
    QTest::newRow("4097 and LF") << QByteArray(4097, 'A') + "\n" << true;
    QTest::newRow("endless") << QByteArray(100000, 'A') << true;
    QTest::newRow("endless block") << "X:\n" + QByteArray(70000, '\n').replace("\n", "1\n") << true;
}

void TestServerProtocol::longLines() {
    QFETCH(QByteArray, in);
    QFETCH(bool, dropped);
    World w;
    bool over = false;
    QObject::connect(w.session.get(), &VideohubSession::overflowed, [&] { over = true; });
    w.session->receive(in);
    QCOMPARE(over, dropped);
}

void TestServerProtocol::lineReader_data() {
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QByteArray>("partial");
    QTest::addColumn<bool>("ok");
    QTest::newRow("two lines, one chunk")
        << QByteArrayList{"bc \r\ncir 12\r\n"} << QByteArrayList{"bc \r\n", "cir 12\r\n"}
        << QByteArray() << true;
    QTest::newRow("split") << QByteArrayList{"ci", "r 1", "2\r", "\n"}
                           << QByteArrayList{"cir 12\r\n"} << QByteArray() << true;
    QTest::newRow("partial") << QByteArrayList{"a\nstm"} << QByteArrayList{"a\n"}
                             << QByteArray("stm") << true;
    QTest::newRow("256 with CR LF")
        << QByteArrayList{QByteArray(254, 'x') + "\r\n"}
        << QByteArrayList{QByteArray(254, 'x') + "\r\n"} << QByteArray() << true;
    QTest::newRow("257 with CR LF") << QByteArrayList{QByteArray(255, 'x'), "\r\n"}
                                    << QByteArrayList{} << QByteArray() << false;
}

void TestServerProtocol::lineReader() {
    QFETCH(QByteArrayList, chunks);
    QFETCH(QByteArrayList, lines);
    QFETCH(QByteArray, partial);
    QFETCH(bool, ok);
    server::LineReader r;
    QByteArrayList got;
    bool fine = true;
    for (const QByteArray& c : chunks)
        fine = r.feed(c, got) && fine;
    QCOMPARE(fine, ok);
    QCOMPARE(got, lines);
    QCOMPARE(r.takePartial(), partial);
}

void TestServerProtocol::options_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("env"); // STATE_DIRECTORY|XDG_STATE_HOME
    // What came out: port, videohub, line, state folder, allowed subnets,
    // or "error".
    QTest::addColumn<QString>("expected");
    QTest::newRow("defaults")
        << QStringList{} << "|"
        << "COM1 127.0.0.1:9990 127.0.0.1:9991 /home/op/.local/state/hdmi-matrix 0";
    QTest::newRow("xdg") << QStringList{} << "|/x"
                         << "COM1 127.0.0.1:9990 127.0.0.1:9991 /x/hdmi-matrix 0";
    QTest::newRow("systemd") << QStringList{} << "/var/lib/hdmi-matrix|/x"
                             << "COM1 127.0.0.1:9990 127.0.0.1:9991 /var/lib/hdmi-matrix 0";
    QTest::newRow("all set") << QStringList{"--port",     "tcp://10.0.0.5:4001",
                                            "--videohub", "0.0.0.0:9000",
                                            "--no-line",  "--state-dir",
                                            "/s",         "--allow",
                                            "10.0.0.0/8", "--allow=::1"}
                             << "|"
                             << "tcp://10.0.0.5:4001 0.0.0.0:9000 - /s 2";
    QTest::newRow("ipv6 listen") << QStringList{"--line", "[::1]:7000", "--no-videohub"} << "|"
                                 << "COM1 - ::1:7000 /home/op/.local/state/hdmi-matrix 0";
    QTest::newRow("COM11") << QStringList{"--port", "COM11"} << "|"
                           << "error";
    QTest::newRow("bad tcp") << QStringList{"--port", "tcp://host"} << "|"
                             << "error";
    QTest::newRow("both videohub")
        << QStringList{"--videohub", "127.0.0.1:1", "--no-videohub"} << "|"
        << "error";
    QTest::newRow("bad cidr") << QStringList{"--allow", "10.0.0.0/33"} << "|"
                              << "error";
    QTest::newRow("no port number") << QStringList{"--line", "127.0.0.1"} << "|"
                                    << "error";
    QTest::newRow("clients 0") << QStringList{"--max-clients", "0"} << "|"
                               << "error";
    QTest::newRow("unknown") << QStringList{"--verbose", "extra"} << "|"
                             << "error";
    QTest::newRow("unknown model") << QStringList{"--model", "9x9"} << "|"
                                   << "error";
    QTest::newRow("bad metrics") << QStringList{"--metrics", "127.0.0.1"} << "|"
                                 << "error";
}

void TestServerProtocol::options() {
    QFETCH(QStringList, args);
    QFETCH(QString, env);
    QFETCH(QString, expected);
    const QHash<QString, QString> e{{"STATE_DIRECTORY", env.section('|', 0, 0)},
                                    {"XDG_STATE_HOME", env.section('|', 1, 1)},
                                    {"HOME", "/home/op"}};
    QString error;
    const auto o = server::parseOptions(args, e, &error);
    auto ep = [](const std::optional<server::Endpoint>& p) {
        return p ? QStringLiteral("%1:%2").arg(p->address.toString()).arg(p->port) : QString("-");
    };
    const QString got = o ? QStringList{o->port, ep(o->videohub), ep(o->line), o->stateDir,
                                        QString::number(o->allow.size())}
                                .join(' ')
                          : QStringLiteral("error");
    QCOMPARE(got, expected);
    QCOMPARE(error.isEmpty(), o.has_value());
}

void TestServerProtocol::addresses_data() {
    QTest::addColumn<QString>("address");
    // What is bound for it, and whether a client from it is let in with
    // --allow 192.0.2.10/32.
    QTest::addColumn<QString>("bound");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("0.0.0.0") << "0.0.0.0"
                             << "any" << false;
    QTest::newRow("::") << "::"
                        << "any" << false;
    QTest::newRow("loopback") << "127.0.0.2"
                              << "127.0.0.2" << true;
    QTest::newRow("mapped loopback") << "::ffff:127.0.0.1"
                                     << "::ffff:127.0.0.1" << true;
    QTest::newRow("::1") << "::1"
                         << "::1" << true;
    QTest::newRow("mapped allowed") << "::ffff:192.0.2.10"
                                    << "::ffff:192.0.2.10" << true;
    QTest::newRow("next one") << "192.0.2.11"
                              << "192.0.2.11" << false;
}

void TestServerProtocol::addresses() {
    QFETCH(QString, address);
    QFETCH(QString, bound);
    QFETCH(bool, allowed);
    const QHostAddress a(address);
    const QHostAddress b = server::listenAddress(a);
    // Nothing is bound here: every address is what the listener would be given.
    QCOMPARE(b.protocol() == QAbstractSocket::AnyIPProtocol ? QStringLiteral("any") : b.toString(),
             bound);
    QCOMPARE(server::allowedIn(a, {QHostAddress::parseSubnet("192.0.2.10/32")}), allowed);
}

QTEST_GUILESS_MAIN(TestServerProtocol)
#include "test_server_protocol.moc"

// The core's requests and their queue against the simulated switcher
// in-process: what each writes, when it counts as answered, and what it
// learned; a switcher that acknowledges "msw"/"asw" without reports.

#include "core/device/mode_session.h"
#include "tests/core/core_fixture.h"

#include <QSignalSpy>
#include <QTest>

using device::RequestError;

namespace {

enum class Req { Status, Route, All, Recall, Save, Dhcp, Fixed, Send, IrRoute, Raw };

device::Request* make(Req kind, int a, int b) {
    switch (kind) {
    case Req::Status:
        return device::RoutingRequest::status(1000);
    case Req::Route:
        return device::RoutingRequest::route(a, b, 1000);
    case Req::All:
        return device::RoutingRequest::allOutputs(a, 1000);
    case Req::Recall:
        return device::RoutingRequest::presetRecall(a, 1000);
    case Req::Save:
        return device::AckRequest::presetSave(a, 1000);
    case Req::Dhcp:
        return device::AckRequest::autoAddress(1000);
    case Req::Fixed:
        return device::AckRequest::fixedAddress("10.0.0.255", 1000);
    case Req::Send:
        return new device::SendRequest("bc \r\n", 1000);
    case Req::IrRoute:
        return new device::IrRouteRequest(a, b, 1000);
    case Req::Raw:
        break;
    }
    return new device::RawLineRequest("bc \r\n");
}

// What a request ended with, seen from outside: the queue deletes it later.
struct Watch {
    explicit Watch(device::Request* r) {
        QObject::connect(r, &device::Request::finished, [this](const device::RequestResult& x) {
            result = x;
            ++count;
        });
    }
    device::RequestResult result;
    int count = 0;
};

} // namespace

class Requests : public QObject {
    Q_OBJECT
private slots:
    void request_data() {
        QTest::addColumn<Req>("kind");
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<bool>("ackOnly");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<RequestError>("error");
        QTest::addColumn<QString>("inputs"); // one digit per output, '-' unseen
        QTest::addColumn<bool>("acknowledged");
        using E = RequestError;
        const QByteArray bc = "bc \r\n";
        // clang-format off
        QTest::newRow("status") << Req::Status << 0 << 0 << false << false << bc << E::None << "87654321" << false;
        QTest::newRow("route") << Req::Route << 2 << 3 << false << false << QByteArray("cir 12\r\n") << E::None << "-3------" << false;
        QTest::newRow("route, one down") << Req::Route << 1 << 9 << false << false << QByteArray("cir 08\r\n") << E::Mismatch << "7-------" << false;
        QTest::newRow("all") << Req::All << 4 << 0 << false << false << QByteArray("asw 3\r\n") << E::None << "44444444" << false;
        QTest::newRow("all, Ack only") << Req::All << 4 << 0 << true << false << QByteArray("asw 3\r\n") + bc << E::None << "44444444" << true;
        QTest::newRow("recall") << Req::Recall << 2 << 0 << false << false << QByteArray("msw 1\r\n") << E::None << "12121212" << false;
        QTest::newRow("recall, Ack only") << Req::Recall << 2 << 0 << true << false << QByteArray("msw 1\r\n") + bc << E::None << "12121212" << true;
        QTest::newRow("recall, silent") << Req::Recall << 2 << 0 << false << true << QByteArray("msw 1\r\n") << E::TimedOut << "--------" << false;
        QTest::newRow("status, silent") << Req::Status << 0 << 0 << false << true << bc << E::TimedOut << "--------" << false;
        QTest::newRow("save") << Req::Save << 3 << 0 << false << false << QByteArray("msa 2\r\n") << E::None << "--------" << false;
        QTest::newRow("dhcp") << Req::Dhcp << 0 << 0 << false << false << QByteArray("dhc\r\n") << E::None << "--------" << false;
        QTest::newRow("fixed") << Req::Fixed << 0 << 0 << false << false << QByteArray("sip A 0 0 FF\r\n") << E::None << "--------" << false;
        QTest::newRow("save, silent") << Req::Save << 1 << 0 << false << true << QByteArray("msa 0\r\n") << E::TimedOut << "--------" << false;
        QTest::newRow("send") << Req::Send << 0 << 0 << false << false << bc << E::None << "--------" << false;
        QTest::newRow("send, silent") << Req::Send << 0 << 0 << false << true << bc << E::TimedOut << "--------" << false;
        QTest::newRow("ir route") << Req::IrRoute << 3 << 5 << false << false << QByteArray("ims\r\nsrp 2 4\r\n") << E::None << "--------" << false;
        QTest::newRow("ir route, silent") << Req::IrRoute << 3 << 5 << false << true << QByteArray("ims\r\n") << E::TimedOut << "--------" << false;
        QTest::newRow("raw line") << Req::Raw << 0 << 0 << false << true << bc << E::None << "--------" << false;
        // clang-format on
    }

    void request() {
        QFETCH(Req, kind);
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(bool, ackOnly);
        QFETCH(bool, silent);
        CoreFixture c;
        c.device.routing = {7, 6, 5, 4, 3, 2, 1, 0};
        c.device.presets[1] = {0, 1, 0, 1, 0, 1, 0, 1};
        c.device.faults.ackOnlyRecall = ackOnly;
        c.device.faults.silent = silent;
        device::Request* r = make(kind, a, b);
        Watch w(r);
        c.core->requests().submit(r);
        c.run();
        c.run(1000);
        QFETCH(QByteArray, written);
        QFETCH(RequestError, error);
        QFETCH(QString, inputs);
        QFETCH(bool, acknowledged);
        QCOMPARE(c.port->written, written);
        QCOMPARE(w.count, 1);
        const device::RequestResult& res = w.result;
        QCOMPARE(res.error, error);
        QString seen;
        for (int o = 0; o < 8; ++o)
            seen += res.seen[o] ? QString::number(res.inputs[o]) : QString("-");
        QCOMPARE(seen, inputs);
        QCOMPARE(res.acknowledged, acknowledged);
    }

    // One stay in a mode: when the work starts, what the watchdog says, when
    // the stay is over; meanwhile the queue serves the session alone.
    void modeSession_data() {
        QTest::addColumn<bool>("strict");
        QTest::addColumn<bool>("echoes");
        // After enter, after the answers, after 2 s, after leave.
        QTest::addColumn<QString>("events");
        QTest::newRow("window") << false << true << "s|-|-|c";
        QTest::newRow("window, no echo") << false << false << "s|-|n|c";
        QTest::newRow("tool") << true << true << "-|s|-|c";
        QTest::newRow("tool, no echo") << true << false << "-|-|n|c";
    }

    void modeSession() {
        QFETCH(bool, strict);
        QFETCH(bool, echoes);
        QFETCH(QString, events);
        CoreFixture c;
        c.device.faults.silentModes = !echoes;
        device::ModeSession session(*c.core, device::ModeSession::Mode::Setup, {strict, 1000, 7});
        QString seen;
        QObject::connect(&session, &device::ModeSession::started, [&] { seen += 's'; });
        QObject::connect(&session, &device::ModeSession::notConfirmed, [&] { seen += 'n'; });
        QObject::connect(&session, &device::ModeSession::closed, [&] { seen += 'c'; });
        QVERIFY(session.enter());
        Watch other(c.core->requests().submit(device::RoutingRequest::status(1000), 1));
        QStringList steps{seen.isEmpty() ? "-" : seen};
        for (int ms : {0, 2000}) {
            seen.clear();
            c.run(ms);
            steps << (seen.isEmpty() ? "-" : seen);
        }
        seen.clear();
        QCOMPARE(c.port->written, QByteArray("stm\r\n"));
        session.leave();
        c.run();
        steps << (seen.isEmpty() ? "-" : seen);
        QCOMPARE(steps, events.split('|'));
        // The exit word went out, then the request that waited.
        QCOMPARE(c.port->written, QByteArray("stm\r\nsto\r\nbc \r\n"));
        QCOMPARE(other.count, 1);
    }

    // A stay in a mode takes its turn like any request: the entry word waits
    // for the exchange on the line, another client's route waits for the
    // stay, and a stay left before its turn writes nothing. With nothing on
    // the line, a feature's command goes nowhere.
    void modeSessionWaitsItsTurn_data() {
        QTest::addColumn<bool>("leaveEarly");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("left after its turn")
            << false << QByteArray("cir 01\r\nstm\r\nsto\r\ncir 12\r\n");
        QTest::newRow("left before its turn") << true << QByteArray("cir 01\r\ncir 12\r\n");
    }

    void modeSessionWaitsItsTurn() {
        QFETCH(bool, leaveEarly);
        QFETCH(QByteArray, written);
        CoreFixture c;
        device::RequestQueue& q = c.core->requests();
        Watch first(q.submit(device::RoutingRequest::route(1, 2, 1000), 3));
        device::ModeSession session(*c.core, device::ModeSession::Mode::Setup, {false, 0, 7});
        QSignalSpy started(&session, &device::ModeSession::started);
        QSignalSpy closed(&session, &device::ModeSession::closed);
        QVERIFY(session.enter());
        Watch second(q.submit(device::RoutingRequest::route(2, 3, 1000), 3));
        QCOMPARE(c.port->written, QByteArray("cir 01\r\n"));
        if (leaveEarly)
            session.leave();
        c.run();
        QVERIFY(first.result.ok());
        QCOMPARE(started.size(), leaveEarly ? 0 : 1);
        QCOMPARE(second.count, leaveEarly ? 1 : 0);
        session.leave();
        c.run();
        QCOMPARE(closed.size(), 1);
        QVERIFY(second.count == 1 && second.result.ok());
        QCOMPARE(c.port->written, written);
        c.core->settings().statusQuery();
        QCOMPARE(c.port->written, written);
    }

    // One at a time, each answered only by what came after its own write;
    // a lease lets only its holder's requests out.
    void queueOrderAndLease() {
        CoreFixture c;
        device::RequestQueue& q = c.core->requests();
        QSignalSpy reports(&q, &device::RequestQueue::routingReported);
        auto* lease = q.submit(new device::LeaseRequest("\r\n"), 1);
        QVERIFY(lease->holding() && q.holder() == 1);
        auto* other = device::RoutingRequest::status(1000);
        auto* mine = device::RoutingRequest::route(1, 2, 1000);
        Watch o(other), m(mine);
        q.submit(other, 2);
        q.submit(mine, 1);
        QCOMPARE(c.port->written, QByteArray("\r\ncir 01\r\n"));
        c.run();
        QVERIFY(m.count == 1 && m.result.ok());
        QVERIFY(!other->isStarted());
        QVERIFY(lease->end("sto\r\n"));
        QCOMPARE(c.port->written, QByteArray("\r\ncir 01\r\nsto\r\nbc \r\n"));
        c.run();
        QVERIFY(o.count == 1 && o.result.ok());
        QCOMPARE(reports.size(), 9);
        QCOMPARE(reports.first(), (QVariantList{1, 2}));
        // A client that goes away takes its waiting requests with it.
        c.device.faults.silent = true;
        auto* first = device::RoutingRequest::status(1000);
        auto* second = device::RoutingRequest::status(1000);
        Watch f(first), s(second);
        q.submit(first, 3);
        q.submit(second, 3);
        q.drop(3);
        QCOMPARE(f.result.error, RequestError::Cancelled);
        QCOMPARE(s.result.error, RequestError::Cancelled);
        QCOMPARE(q.waiting(), 0);
    }

    // Clients take turns: one with many requests waiting holds another's
    // up by one request, whatever the order they came in.
    void clientsTakeTurns() {
        CoreFixture c;
        device::RequestQueue& q = c.core->requests();
        for (int input = 1; input <= 3; ++input)
            q.submit(device::RoutingRequest::route(1, input, 1000), 5);
        q.submit(device::RoutingRequest::route(2, 4, 1000), 6);
        q.submit(device::RoutingRequest::route(1, 5, 1000), 5);
        QCOMPARE(q.waiting(5), 3);
        c.run();
        QCOMPARE(c.port->written, QByteArray("cir 00\r\ncir 13\r\ncir 01\r\ncir 02\r\ncir 04\r\n"));
    }
};

QTEST_GUILESS_MAIN(Requests)
#include "test_requests.moc"

// The network port against the simulated switcher behind its TCP transport,
// on the loopback address only.

#include "core/platform/tcp_serial_port.h"
#include "sim/device.h"
#include "sim/tcp_transport.h"
#include "testing/fakes/fake_clock.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>

using platform::SerialPort;
using platform::TcpSerialPort;

namespace {

// The switcher as a serial device server on 127.0.0.1.
struct Server {
    explicit Server(bool paced = false) {
        line.setPaced(paced);
        QString error;
        up = line.start(0, &error);
        line.onReceive = [this](const QByteArray& b) { line.send(device.receive(b)); };
    }
    QString target() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(line.port()); }
    sim::Device device;
    sim::TcpTransport line;
    bool up = false;
};

// A port's signals, everything it delivered and when the last bytes came.
struct Watch {
    explicit Watch(SerialPort& p)
        : opened(&p, &SerialPort::opened), failed(&p, &SerialPort::openFailed),
          lost(&p, &SerialPort::lost), ready(&p, &SerialPort::readyRead) {
        clock.start();
        QObject::connect(&p, &SerialPort::readyRead, [this, &p] {
            if (ignore-- > 0)
                return; // as a program busy elsewhere (a message box) does
            got += p.readAll();
            lastAtUs = clock.nsecsElapsed() / 1000;
        });
    }
    QSignalSpy opened, failed, lost, ready;
    QByteArray got;
    int ignore = 0; // announcements left unread
    QElapsedTimer clock;
    qint64 lastAtUs = 0;
};

const QByteArray kStatusAnswer = "s11\r\ns22\r\ns33\r\ns44\r\ns55\r\ns66\r\ns77\r\ns88\r\n";

} // namespace

class TcpPort : public QObject {
    Q_OBJECT
private slots:
    void exchangesWithTheSwitcher_data() {
        QTest::addColumn<bool>("paced");
        QTest::newRow("unpaced") << false;
        QTest::newRow("paced") << true;
    }
    void exchangesWithTheSwitcher() {
        QFETCH(bool, paced);
        Server s(paced);
        QVERIFY(s.up);
        TcpSerialPort port;
        Watch w(port);
        QVERIFY(port.open(s.target()));
        QVERIFY(port.isOpening() && !port.isOpen() && !port.write("bc \r\n"));
        QCOMPARE(w.opened.count(), 0); // never from inside open()
        QTRY_VERIFY(port.isOpen());
        QVERIFY(w.opened.count() == 1 && !port.isOpening());
        w.clock.start();
        QVERIFY(port.write("bc \r\n"));
        // An event loop that does not doze between batches, as QTRY_ does.
        while (w.got.size() < kStatusAnswer.size() && w.ready.wait(2000)) {
        }
        QCOMPARE(w.got, kStatusAnswer);
        // Paced, the command up to its CR and the 40-byte answer each cross
        // a 9600-baud wire first: 44 bytes of 1.0417 ms.
        if (paced)
            QVERIFY2(w.lastAtUs >= 45800, qPrintable(QString::number(w.lastAtUs)));
        QCOMPARE(w.failed.count() + w.lost.count(), 0);
    }

    // One line naming the server, and only once open() has returned: Qt
    // reports a socket it could not create from inside connectToHost().
    void failedOpensNameTheServer_data() {
        QTest::addColumn<QString>("why");
        QTest::newRow("refused") << "connection refused";
        QTest::newRow("no socket") << "Cannot reach the server";
        QTest::newRow("malformed") << "port number is missing";
    }
    void failedOpensNameTheServer() {
        const QString how = QTest::currentDataTag();
        QFETCH(QString, why);
        Server s;
        quint16 p = s.line.port();
        if (how == "refused") {
            QTcpServer taken; // a port nobody listens on once this is gone
            QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
            p = taken.serverPort();
        }
        const QString server = QStringLiteral("127.0.0.1:%1").arg(p);
        TcpSerialPort port;
        Watch w(port);
        rlimit was{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &was), 0);
        rlimit few = was;
        few.rlim_cur = how == "no socket" ? 3 : was.rlim_cur;
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &few), 0);
        const bool pending = port.open(how == "malformed" ? "tcp://127.0.0.1" : "tcp://" + server);
        const int during = w.failed.count();
        setrlimit(RLIMIT_NOFILE, &was);
        QCOMPARE(pending, how != "malformed");
        QCOMPARE(during, 0);
        if (pending)
            QTRY_COMPARE(w.failed.count(), 1);
        QTest::qWait(50);
        QCOMPARE(w.failed.count() + w.opened.count(), pending ? 1 : 0);
        const QString text = port.errorText();
        QVERIFY2(text.contains(why) && text.contains(pending ? server : "127.0.0.1"),
                 qPrintable(text));
        if (pending)
            QCOMPARE(w.failed.at(0).at(0).toString(), text);
        QVERIFY(!port.isOpen() && !port.isOpening() && !port.write("bc \r\n"));
    }

    // The last bytes before the close are delivered, even when their first
    // announcement went unread; then the port is lost, and it opens again.
    void theServerClosingTheConnectionLosesThePort() {
        Server s;
        TcpSerialPort port;
        Watch w(port);
        w.ignore = 1;
        QVERIFY(port.open(s.target()));
        QTRY_VERIFY(port.isOpen() && s.line.hasClient());
        s.line.send("s11\r\n");
        s.line.hangUp();
        QTRY_COMPARE(w.lost.count(), 1);
        QCOMPARE(w.got, QByteArray("s11\r\n"));
        QVERIFY(!port.isOpen() && !port.write("bc \r\n"));
        QCOMPARE(port.errorText(), "The server " + s.target().mid(6) + " closed the connection");
        QVERIFY(port.open(s.target()));
        QTRY_VERIFY(port.isOpen());
    }

    // As a serial device server whose port is in use: the second client is
    // opened and closed at once, the first keeps working.
    void aSecondClientIsTurnedAway() {
        Server s;
        TcpSerialPort first, second;
        Watch w1(first), w2(second);
        QVERIFY(first.open(s.target()));
        QTRY_VERIFY(s.line.hasClient() && second.open(s.target()));
        QTRY_COMPARE(w2.lost.count() + w2.failed.count(), 1);
        QVERIFY(first.write("bc \r\n"));
        QTRY_COMPARE(w1.got, kStatusAnswer);
        QCOMPARE(w1.lost.count(), 0);
    }

    void aQuietConnectionIsProbed() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, server.serverPort());
        QVERIFY(socket.waitForConnected(2000));
        QVERIFY(platform::keepAlive(socket.socketDescriptor()));
        int on = 0, idle = 0;
        socklen_t n = sizeof on;
        getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_KEEPALIVE, &on, &n);
        getsockopt(int(socket.socketDescriptor()), IPPROTO_TCP, TCP_KEEPIDLE, &idle, &n);
        QVERIFY(on && idle == platform::kKeepAliveIdleS);
        QVERIFY(!platform::keepAlive(-1));
    }

    void closeOrATimeOutEndsAPendingOpen_data() {
        QTest::addColumn<bool>("timeOut");
        QTest::newRow("close") << false;
        QTest::newRow("3 s time-out") << true;
    }
    void closeOrATimeOutEndsAPendingOpen() {
        QFETCH(bool, timeOut);
        Server s;
        platform::FakeClock clock;
        TcpSerialPort port(new platform::FakeTimer(clock, nullptr));
        Watch w(port);
        QVERIFY(port.open(s.target()));
        clock.advance(TcpSerialPort::kConnectTimeoutMs - 1);
        QVERIFY(port.isOpening());
        if (timeOut)
            clock.advance(1);
        else
            port.close();
        QVERIFY(!port.isOpening());
        QTest::qWait(100); // the connection was on its way: it is not taken
        clock.advance(10000);
        QVERIFY(!port.isOpen() && w.opened.isEmpty());
        QCOMPARE(w.failed.count(), int(timeOut));
        QCOMPARE(port.errorText(),
                 timeOut ? "Cannot reach the server " + s.target().mid(6) + ": timed out after 3 s"
                         : QString());
        QVERIFY(port.open(s.target()));
        QTRY_COMPARE(w.opened.count(), 1);
    }
};

QTEST_MAIN(TcpPort)
#include "test_tcp_port.moc"

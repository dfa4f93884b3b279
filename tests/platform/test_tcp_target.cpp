// Server addresses, and how a COMn entry in the working directory picks a
// local device or a serial device server.

#include "core/platform/port_names.h"
#include "core/platform/tcp_target.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace platform;

class TcpTargets : public QObject {
    Q_OBJECT
private slots:
    void parsing_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical"); // empty: refused
        QTest::addColumn<QString>("why");       // in the message when refused
        auto ok = [](const char* row, const char* text, const char* canonical) {
            QTest::newRow(row) << text << canonical << QString();
        };
        auto bad = [](const char* row, const char* text, const char* why) {
            QTest::newRow(row) << text << QString() << why;
        };
        ok("IPv4", "tcp://192.168.1.50:4001", "tcp://192.168.1.50:4001");
        ok("name, blanks, upper-case scheme", "  TCP://ser2net-box.lan:2000 ",
           "tcp://ser2net-box.lan:2000");
        ok("IPv6", "tcp://[::1]:4001", "tcp://[::1]:4001");
        ok("lowest port", "tcp://h:1", "tcp://h:1");
        ok("highest port, leading zero", "tcp://h:065535", "tcp://h:65535");
        bad("empty", "", "does not start with tcp://");
        bad("no scheme", "192.168.1.50:4001", "does not start with tcp://");
        bad("no host", "tcp://:4001", "host is missing");
        bad("no port", "tcp://h", "port number is missing");
        bad("port 0", "tcp://h:0", "from 1 to 65535");
        bad("port 65536", "tcp://h:65536", "from 1 to 65535");
        bad("huge port", "tcp://h:99999999999999999999", "from 1 to 65535");
        bad("path", "tcp://h:4001/", "after the port number");
        bad("second port", "tcp://h:4001:5", "after the port number");
        bad("IPv6 without brackets", "tcp://::1:4001", "in brackets");
        bad("bracket not closed", "tcp://[::1:4001", "not closed");
        bad("name in brackets", "tcp://[h]:4001", "not an IPv6 address");
        bad("text after the bracket", "tcp://[::1]x:4001", "after the address");
        bad("IPv4 byte over 255", "tcp://192.168.1.300:4001", "not a host name or IPv4");
        bad("control character in the name", "tcp://h\x07x:4001", "not a host name or IPv4");
    }
    void parsing() {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        QFETCH(QString, why);
        const TcpTarget t = parseTcpTarget(text);
        QCOMPARE(t.isValid(), !canonical.isEmpty());
        if (t.isValid()) {
            QCOMPARE(tcpTargetText(t), canonical);
            QCOMPARE(tcpTargetText(parseTcpTarget(canonical)), canonical);
            return;
        }
        QVERIFY2(t.error.contains(why), qPrintable(t.error));
        QVERIFY(t.error.contains("tcp://HOST:PORT"));
        for (QChar c : t.error)
            QVERIFY(c.category() != QChar::Other_Control); // one clean line
    }

    void comEntries_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content"); // of the file, or of the link's target
        QTest::addColumn<QString>("device");     // "@": the entry's own path
        QTest::newRow("link to a server file") << "link" << QByteArray("tcp://h:1\n") << "@";
        QTest::newRow("server") << "file" << QByteArray("tcp://192.168.1.50:4001\n")
                                << "tcp://192.168.1.50:4001";
        QTest::newRow("from a Windows editor")
            << "file" << QByteArray("\xEF\xBB\xBFtcp://[::1]:4001\r\n") << "tcp://[::1]:4001";
        QTest::newRow("first line only")
            << "file" << QByteArray(" tcp://a:1 \ntcp://b:2\n") << "tcp://a:1";
        QTest::newRow("malformed") << "file" << QByteArray("tcp://box\n") << "tcp://box";
        QTest::newRow("no scheme") << "file" << QByteArray("box:4001") << "tcp:box:4001";
        QTest::newRow("empty") << "file" << QByteArray() << "tcp:";
        QTest::newRow("only a prefix is read")
            << "file" << QByteArray(100000, 'x') << "tcp:" + QString(kTargetFileBytes, 'x');
        QTest::newRow("named pipe") << "pipe" << QByteArray() << "@";
        QTest::newRow("nothing") << "none" << QByteArray() << "/dev/ttyUSB0";
    }
    void comEntries() {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, device);
        QTemporaryDir dir;
        const QString path = dir.filePath("COM2");
        if (kind == "file" || kind == "link") {
            QFile f(kind == "link" ? dir.filePath("target") : path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(content), content.size());
            QVERIFY(kind == "file" || QFile::link(f.fileName(), path));
        } else if (kind == "pipe") {
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            QVERIFY(!readFirstLine(path)); // and it did not wait for a writer
        }
        const QString got = deviceForPort(2, dir.path(), {"/dev/ttyS0", "/dev/ttyUSB0"});
        QCOMPARE(got, device == "@" ? path : device);
        QCOMPARE(isNetworkTarget(got), device.startsWith("tcp:"));
    }

    void tooltips() {
        QCOMPARE(portTooltip(""), "No serial device behind this number");
        QCOMPARE(portTooltip("/dev/ttyUSB0"), "/dev/ttyUSB0");
        QCOMPARE(portTooltip("tcp://[::1]:4001"), "Serial device server [::1]:4001 (TCP)");
        QCOMPARE(portTooltip("tcp:box:4001"), "\"tcp:box:4001\" is not a server address: it does "
                                              "not start with tcp:// (write tcp://HOST:PORT)");
    }
};

QTEST_MAIN(TcpTargets)
#include "test_tcp_target.moc"

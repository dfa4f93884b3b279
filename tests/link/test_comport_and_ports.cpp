// The remembered port and how COM numbers reach devices.

#include "core/platform/port_names.h"
#include "core/platform/qt_serial_port.h"
#include "core/protocol/numbers.h"
#include "core/seriallink/comport.h"
#include "frontends/windows/platform/qt_dialogs.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/time.h>

using namespace seriallink;

class ComportAndPorts : public QObject {
    Q_OBJECT
private slots:
    // The numbers every front end reads: a port list name, and a port as a
    // client writes it, from 1 or (the Videohub protocol) from 0.
    void numbersClientsWrite_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("com");
        QTest::newRow("1") << "1" << 1 << 1 << 0;
        QTest::newRow("8") << "8" << 1 << 8 << 0;
        QTest::newRow("9, past the last") << "9" << 1 << 0 << 0;
        QTest::newRow("0 from 1") << "0" << 1 << 0 << 0;
        QTest::newRow("0 from 0") << "0" << 0 << 1 << 0;
        QTest::newRow("7 from 0") << "7" << 0 << 8 << 0;
        QTest::newRow("8 from 0") << "8" << 0 << 0 << 0;
        QTest::newRow("leading zero") << "008" << 1 << 8 << 0;
        QTest::newRow("four digits") << "0001" << 1 << 0 << 0;
        QTest::newRow("sign") << "+1" << 1 << 0 << 0;
        QTest::newRow("blank") << " 1" << 1 << 0 << 0;
        QTest::newRow("empty") << "" << 1 << 0 << 0;
        QTest::newRow("COM1") << "COM1" << 1 << 0 << 1;
        QTest::newRow("com10") << "com10" << 1 << 0 << 10;
        QTest::newRow("COM0") << "COM0" << 1 << 0 << -1;
        QTest::newRow("COM11") << "COM11" << 1 << 0 << -1;
        QTest::newRow("COM001") << "COM001" << 1 << 0 << -1;
        QTest::newRow("a device") << "/dev/ttyUSB0" << 1 << 0 << 0;
        QTest::newRow("a server") << "tcp://h:4001" << 1 << 0 << 0;
    }
    void numbersClientsWrite() {
        QFETCH(QString, text);
        QFETCH(int, first);
        QFETCH(int, port);
        QFETCH(int, com);
        QCOMPARE(protocol::portNumber(text, 8, first), port);
        QCOMPARE(platform::comNumber(text), com);
    }

    void comportFileFormat() {
        QCOMPARE(comportText(3), QByteArray(" 3 \r\n"));
        QCOMPARE(comportText(9), QByteArray(" 9 \r\n"));
    }

    void comportParsing_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("index");
        QTest::newRow("written form") << QByteArray(" 3 \r\n") << 3;
        QTest::newRow("bare") << QByteArray("9") << 9;
        QTest::newRow("trailing junk") << QByteArray(" 4abc") << 4;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("garbage") << QByteArray("\xff\xfe junk") << 0;
        QTest::newRow("ten") << QByteArray("10") << 0;
        QTest::newRow("negative") << QByteArray("-3") << 0;
        QTest::newRow("enormous") << QByteArray("99999999999999999999999999") << 0;
        QTest::newRow("leading zeros") << QByteArray("0007") << 7;
    }
    void comportParsing() {
        QFETCH(QByteArray, text);
        QTEST(parseComport(text), "index");
    }

    void comportFileRoundTripAndFailures() {
        QTemporaryDir dir;
        const QString path = dir.filePath("COMPORT");
        QVERIFY(!readComport(path).has_value());
        QVERIFY(writeComport(path, 5));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray(" 5 \r\n"));
        QCOMPARE(readComport(path).value_or(-1), 5);
        // A folder in the way cannot be written; that is reported, not fatal.
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        QVERIFY(!writeComport(dir.filePath("sub"), 1));
    }

    void linkInTheWorkingDirectoryWins() {
        QTemporaryDir dir;
        const QStringList present{"/dev/ttyS0", "/dev/ttyUSB0"};
        QCOMPARE(platform::deviceForPort(1, dir.path(), present), QString("/dev/ttyS0"));
        QCOMPARE(platform::deviceForPort(2, dir.path(), present), QString("/dev/ttyUSB0"));
        QCOMPARE(platform::deviceForPort(3, dir.path(), present), QString());
        QVERIFY(QFile::link("/dev/null", dir.filePath("COM2")));
        QCOMPARE(platform::deviceForPort(2, dir.path(), present), dir.filePath("COM2"));
        // A dangling link still names the port (opening it then fails).
        QVERIFY(QFile::link("/nonexistent", dir.filePath("COM10")));
        QCOMPARE(platform::deviceForPort(10, dir.path(), present), dir.filePath("COM10"));
    }

    void presentDevicesInAStableOrderWithoutPhantomUarts() {
        QTemporaryDir dev, sys;
        for (const char* n : {"ttyS0", "ttyS1", "ttyS10", "ttyS2", "ttyUSB10", "ttyUSB2", "ttyACM0",
                              "ttySfoo", "tty0"}) {
            QFile f(dev.filePath(n));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        auto uart = [&](const char* n, const char* type) {
            QVERIFY(QDir(sys.path()).mkpath(n));
            QFile t(sys.filePath(QString(n) + "/type"));
            QVERIFY(t.open(QIODevice::WriteOnly));
            t.write(type);
        };
        uart("ttyS0", "4\n");
        uart("ttyS1", "0\n"); // phantom
        uart("ttyS10", "4\n");
        // ttyS2 has no type file at all: not a real UART either.
        const QStringList got = platform::serialDevices(dev.path(), sys.path());
        const QStringList want{dev.filePath("ttyS0"), dev.filePath("ttyS10"),
                               dev.filePath("ttyUSB2"), dev.filePath("ttyUSB10"),
                               dev.filePath("ttyACM0")};
        QCOMPARE(got, want);
    }

    // A device that vanished without Qt saying so keeps the port "readable"
    // while every read is empty; a live line's occasional empty read is not
    // taken for that.
    void endlessEmptyReadsMeanTheDeviceIsGone() {
        platform::EmptyReadWatch w;
        for (int round = 0; round < 3; ++round) {
            for (int i = 0; i < platform::EmptyReadWatch::kLimit - 1; ++i)
                QVERIFY(!w.gone(0));
            QVERIFY(!w.gone(5)); // a real byte starts the count over
        }
        for (int i = 0; i < platform::EmptyReadWatch::kLimit - 1; ++i)
            QVERIFY(!w.gone(0));
        QVERIFY(w.gone(0));
        QVERIFY(!w.gone(0)); // and the count starts over after saying so
    }

    void presentDevicesAreListedAgainOnlyWhenTheFolderChanges() {
        QTemporaryDir dev, sys;
        auto node = [&](const char* n) {
            QFile f(dev.filePath(n));
            QVERIFY(f.open(QIODevice::WriteOnly));
        };
        // Sets the folder's change time seconds into the past.
        auto age = [&](int seconds) {
            const timeval now{QDateTime::currentSecsSinceEpoch() - seconds, 0};
            const timeval times[2] = {now, now};
            QCOMPARE(utimes(QFile::encodeName(dev.path()).constData(), times), 0);
        };
        node("ttyUSB0");
        age(10);
        platform::PresentDevices present(dev.path(), sys.path());
        QCOMPARE(present.list(), QStringList{dev.filePath("ttyUSB0")});
        for (int port = 1; port <= 10; ++port)
            QCOMPARE(present.list().size(), 1);
        QCOMPARE(present.scans(), 1);
        // An adapter plugged in: listed again, and again while the change is
        // too recent to be sure the stamp moved for everything that came.
        node("ttyUSB1");
        QCOMPARE(present.list(), (QStringList{dev.filePath("ttyUSB0"), dev.filePath("ttyUSB1")}));
        QCOMPARE(present.list().size(), 2);
        QCOMPARE(present.scans(), 3);
        age(5);
        QCOMPARE(present.list().size(), 2);
        QCOMPARE(present.list().size(), 2);
        QCOMPARE(present.scans(), 4);
        // The first one pulled.
        QVERIFY(QFile::remove(dev.filePath("ttyUSB0")));
        QCOMPARE(present.list(), QStringList{dev.filePath("ttyUSB1")});
        // A folder that cannot be looked at is listed every time (and is empty).
        platform::PresentDevices missing(dev.filePath("absent"), sys.path());
        QVERIFY(missing.list().isEmpty());
        QVERIFY(missing.list().isEmpty());
        QCOMPARE(missing.scans(), 2);
    }

    void fileFilterForQtDialogs() {
        QCOMPARE(platform::qtFileFilter("EDID(*.bin)|*.bin"), QString("EDID(*.bin)"));
        QCOMPARE(platform::qtFileFilter("Images|*.png"), QString("Images (*.png)"));
        QCOMPARE(platform::qtFileFilter("EDID(*.bin)|*.bin;;Dump|*.txt *.hex;;All files(*)|*"),
                 QString("EDID(*.bin);;Dump (*.txt *.hex);;All files(*)"));
    }
};

QTEST_MAIN(ComportAndPorts)
#include "test_comport_and_ports.moc"

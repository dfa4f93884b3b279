// The simulated switcher's model, in-process.

#include "sim/device.h"

#include <QTest>

class Device : public QObject {
    Q_OBJECT
private slots:
    void statusRequestReportsEveryOutput() {
        sim::Device d;
        QCOMPARE(d.receive("bc \r\n"),
                 QByteArray("s11\r\ns22\r\ns33\r\ns44\r\ns55\r\ns66\r\ns77\r\ns88\r\n"));
    }

    void routingAndArrows() {
        sim::Device d;
        QCOMPARE(d.receive("cir 12\r\n"), QByteArray("s23\r\n"));
        QCOMPARE(d.receive("cir 18\r\n"), QByteArray("s22\r\n")); // one down
        QCOMPARE(d.receive("cir 08\r\n"), QByteArray("s18\r\n")); // wraps below 1
        QCOMPARE(d.receive("cir 09\r\n"), QByteArray("s11\r\n")); // and above 8
        QCOMPARE(d.receive("cir 7A\r\n"), QByteArray("Ack\r\n"));
        QCOMPARE(d.receive("cir 8\r\n"), QByteArray("Ack\r\n"));
    }

    void presetsAndAllOutputs() {
        sim::Device d;
        d.receive("msa 2\r\n");
        QCOMPARE(d.receive("asw 7\r\n").count("8\r\n"), 8);
        QCOMPARE(d.routing[0], 7);
        d.receive("msw 2\r\n");
        QCOMPARE(d.routing[0], 0);
        QCOMPARE(d.routing[7], 7);
        QCOMPARE(d.receive("msw 3\r\n"), QByteArray("Ack\r\n"));
    }

    void modeWordsAreEchoedUnlessTold() {
        sim::Device d;
        QCOMPARE(d.receive("stm\r\n"), QByteArray("stm\r\n"));
        QCOMPARE(d.mode, QByteArray("stm"));
        QCOMPARE(d.receive("sto\r\n"), QByteArray("sto\r\n"));
        QVERIFY(d.mode.isEmpty());
        d.faults.silentModes = true;
        QCOMPARE(d.receive("edm\r\n"), QByteArray());
        QCOMPARE(d.mode, QByteArray("edm"));
    }

    void linesMayArriveInPiecesAndEndInLfOrCr() {
        sim::Device d;
        QCOMPARE(d.receive("ci"), QByteArray());
        QCOMPARE(d.receive("r 00"), QByteArray());
        QCOMPARE(d.receive("\r"), QByteArray("s11\r\n"));
        QCOMPARE(d.receive("\nxyz\n"), QByteArray("Ack\r\n"));
    }

    void faults() {
        sim::Device d;
        d.faults.dropEvery = 3;
        const QByteArray out = d.receive("bc \r\n");
        QCOMPARE(out, QByteArray("s11\r\ns22\r\ns44\r\ns55\r\ns77\r\ns88\r\n"));
        d.faults.dropEvery = 0;
        d.faults.garbage = true;
        const QByteArray noisy = d.receive("cir 00\r\n");
        QVERIFY(noisy.endsWith("s11\r\n"));
        QVERIFY(noisy.size() > 5);
        d.faults.silent = true;
        QCOMPARE(d.receive("bc \r\n"), QByteArray());
    }

    void unendedLineDoesNotGrowWithoutBound() {
        sim::Device d;
        d.receive(QByteArray(100000, 'x'));
        QCOMPARE(d.receive("\r\n"), QByteArray("Ack\r\n"));
    }
};

QTEST_MAIN(Device)
#include "test_device.moc"

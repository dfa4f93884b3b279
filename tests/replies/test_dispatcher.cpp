// The reply interpreter's every-state replies and its echo into the log.

#include "tests/support/form_fixture.h"

#include "frontends/windows/ir/ir_routing_window.h"

#include <QTest>

class Dispatcher : public QObject {
    Q_OBJECT

    static QString litRow(MainWindow& f, int output) {
        QString s;
        for (auto* lamp : f.lamps[output - 1])
            s += lamp->isLit() ? '1' : '0';
        return s;
    }

private slots:
    void routingReportLightsLampAndIsEchoed() {
        FormFixture f;
        f.takeWritten();
        f.receive("s35\r\n");
        QCOMPARE(litRow(*f.form, 3), QString("00001000"));
        QCOMPARE(f.form->logText(), QString("\r\nHDMI Out3 -> HDMI In5\n"));
        QVERIFY(f.port().written.isEmpty());
    }

    void routingReportsAreUnderstoodInEveryMode() {
        FormFixture f;
        f.form->modes().setOn(protocol::Mode::Setup, true);
        f.receive("s72\r\n");
        QCOMPARE(litRow(*f.form, 7), QString("01000000"));
        // In a mode the lone LF is dropped, not echoed.
        QCOMPARE(f.form->logText(), QString("\r\nHDMI Out7 -> HDMI In2"));
    }

    void notRoutingReportsAreEchoedUnchanged() {
        FormFixture f;
        f.receive("s1x\r\nack\r\nhello\r\n");
        QCOMPARE(f.form->logText(), QString("s1x\r\nack\r\nhello\r\n"));
        for (int o = 1; o <= 8; ++o)
            QCOMPARE(litRow(*f.form, o), QString("00000000"));
    }

    void ackAndLateModeExitsAreSilent() {
        FormFixture f;
        f.receive("Ack\r");
        f.receive("sto\r");
        f.receive("edo\r");
        f.receive("iro\r");
        QCOMPARE(f.form->logText(), QString());
        // With no mode on, the lone LFs that follow are echoed.
        f.receive("Ack\r\n");
        QCOMPARE(f.form->logText(), QString("\n"));
    }

    void irRoutingReportsGoToTheIrWindowNotTheLog() {
        FormFixture f;
        f.receive("srp  3  5\r");
        QCOMPARE(f.form->device().irRouting().lastReportedOutput(), QString("3"));
        QCOMPARE(f.form->device().irRouting().lastReportedInput(), QString("5"));
        // Kept while the window is closed, and shown once it exists.
        QCOMPARE(f.form->device().irRouting().input(3), 5);
        QVERIFY(!f.form->irRoutingWindow().isVisible());
        QVERIFY(f.form->irRoutingWindow().lamps[8 * 3 + 5]->isLit());
        QCOMPARE(f.form->logText(), QString());
        f.receive("srp\r");
        QCOMPARE(f.form->device().irRouting().lastReportedOutput(), QString(""));
    }

    void outledRules() {
        FormFixture f;
        f.form->device().routing().outled(3, 5);
        QCOMPARE(litRow(*f.form, 3), QString("00001000"));
        f.form->device().routing().outled(3, 2);
        QCOMPARE(litRow(*f.form, 3), QString("01000000"));
        f.form->device().routing().outled(2, 9); // above 8: the first lamp
        QCOMPARE(litRow(*f.form, 2), QString("10000000"));
        f.form->device().routing().outled(2, 0); // 0: the row goes dark
        QCOMPARE(litRow(*f.form, 2), QString("00000000"));
        f.form->device().routing().outled(9, 1); // no such output
        f.form->device().routing().outled(0, 1);
        f.form->device().routing().outled(QString("4"), QString("2"));
        QCOMPARE(litRow(*f.form, 4), QString("01000000"));
        QCOMPARE(litRow(*f.form, 3), QString("01000000"));
        QCOMPARE(f.form->lamps[3][1]->accessibleName(), QString("Output 4 input 2: lit"));
        QCOMPARE(f.form->lamps[3][0]->accessibleName(), QString("Output 4 input 1: dark"));
    }

    void emptyLineFromA14ByteBlockOnlyScrolls() {
        FormFixture f;
        f.receive("ABCDEFGHIJKLM\r");
        QCOMPARE(f.form->logText(), QString("ABCDEFGHIJKLM\r"));
    }

    // The log shows each report on a line of its own, without blank lines
    // between them, while keeping the exact text.
    void logShowsOneLinePerReport() {
        FormFixture f;
        f.receive("s11\r\ns22\r\nhello\r\nab\ncd\n");
        QCOMPARE(f.form->receiveLog->toPlainText(),
                 QString("\nHDMI Out1 -> HDMI In1\nHDMI Out2 -> HDMI In2\nhello\nab\ncd"));
        QCOMPARE(
            f.form->logText(),
            QString("\r\nHDMI Out1 -> HDMI In1\n\r\nHDMI Out2 -> HDMI In2\nhello\r\nab\ncd\n"));
    }

    void lowerCaseAckIsEchoed() {
        FormFixture f;
        f.receive("ack\r");
        QCOMPARE(f.form->logText(), QString("ack\r"));
    }
};

QTEST_MAIN(Dispatcher)
#include "test_dispatcher.moc"

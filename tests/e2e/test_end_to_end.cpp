// The program core and the real QSerialPort against the simulated switcher
// over a pseudo-terminal.

#include "core/platform/qt_serial_port.h"
#include "tests/support/sim_harness.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

class EndToEnd : public QObject {
    Q_OBJECT

    static int litInput(MainWindow& f, int output) {
        for (int i = 0; i < 8; ++i)
            if (f.lamps[output - 1][i]->isLit())
                return i + 1;
        return 0;
    }

private slots:
    void startupGreetsAndReportsLightTheLamps() {
        SimHarness h;
        QVERIFY(h.ok);
        QVERIFY(h.waitFor([&] { return litInput(*h.form, 8) == 8; }));
        QCOMPARE(h.received.value(0), QByteArray("bc "));
        for (int o = 1; o <= 8; ++o)
            QCOMPARE(litInput(*h.form, o), o);
        QVERIFY(h.form->connectedLamp->isLit());
        QVERIFY(!h.form->disconnectedLamp->isLit());
        QCOMPARE(h.form->connectButton->text(), QString("Disconnect"));
        QVERIFY(h.form->logText().contains("HDMI Out8 -> HDMI In8"));
        QVERIFY(h.dialogs().messages.isEmpty());
    }

    void routingClickMovesALamp() {
        SimHarness h;
        QVERIFY(h.ok);
        QVERIFY(h.waitFor([&] { return litInput(*h.form, 2) == 2; }));
        h.form->routeButtons[1][2]->click(); // output 2, input 3
        QVERIFY(h.waitFor([&] { return litInput(*h.form, 2) == 3; }));
        QCOMPARE(h.received.last(), QByteArray("cir 12"));
        h.form->routeButtons[1][8]->click(); // output 2, left arrow: one input down
        QVERIFY(h.waitFor([&] { return litInput(*h.form, 2) == 2; }));
        QCOMPARE(h.received.last(), QByteArray("cir 18"));
    }

    void presetsAndAllOutputsRoundTrip() {
        SimHarness h;
        QVERIFY(h.ok);
        QVERIFY(h.waitFor([&] { return litInput(*h.form, 8) == 8; }));
        h.form->presetSaveButtons[1]->click(); // preset 2 holds 1..8
        h.form->allOutputsList->setCurrentIndex(4);
        h.form->onAllOutputsChosen(); // all outputs to input 5
        QVERIFY(h.waitFor([&] { return litInput(*h.form, 1) == 5 && litInput(*h.form, 8) == 5; }));
        h.form->presetRecallButtons[1]->click();
        QVERIFY(h.waitFor([&] { return litInput(*h.form, 1) == 1 && litInput(*h.form, 8) == 8; }));
        QCOMPARE(h.received.mid(1), (QByteArrayList{"msa 1", "asw 4", "msw 1"}));
    }

    void aVanishingDeviceShowsTheClosedStateAndCanBeReconnected() {
        SimHarness h;
        QVERIFY(h.ok);
        QVERIFY(h.waitFor([&] { return litInput(*h.form, 8) == 8; }));
        h.line.hangUp();
        QVERIFY(h.waitFor([&] { return !h.form->link().isOpen(); }));
        QVERIFY(h.form->disconnectedLamp->isLit());
        QVERIFY(!h.form->connectedLamp->isLit());
        QCOMPARE(h.form->connectButton->text(), QString("Connect"));

        // The adapter comes back (a new pseudo-terminal behind the same link).
        QString error;
        QVERIFY(h.line.start(h.dir.path(), 1, &error));
        h.form->connectButton->click();
        QVERIFY(h.form->link().isOpen());
        h.form->statusButton->click();
        QVERIFY(h.waitFor([&] { return h.received.contains("bc ") && h.received.size() >= 2; }));
    }

    // A command is written when it is sent, not when the event loop next
    // turns, so a device that is gone makes the send itself fail.
    void aCommandToAVanishedDeviceFailsAtOnce() {
        SimHarness h;
        QVERIFY(h.ok);
        QVERIFY(h.waitFor([&] { return litInput(*h.form, 8) == 8; }));
        h.line.hangUp();
        auto* status = h.form->requests().submit(device::RoutingRequest::status(1000));
        QCOMPARE(status->result().error, device::RequestError::NotWritten);
        QVERIFY(!h.form->link().isOpen());
        QVERIFY(h.form->disconnectedLamp->isLit());
    }

    // A second program on a port, through its COMn link or the device's own
    // path, is refused as busy, and so is the window on a port another holds.
    void aPortHeldByAnotherProgramIsBusy() {
        SimHarness h;
        QVERIFY(h.ok);
        for (const QString& path : {h.line.linkPath(), h.line.slavePath()}) {
            platform::QtSerialPort other;
            QVERIFY(!other.open(path));
            QCOMPARE(other.errorText(),
                     "Cannot open " + path + ": port busy (another program has it open)");
        }
        h.form->connectButton->click();
        QVERIFY(!h.form->link().isOpen());
        platform::QtSerialPort other;
        QVERIFY(other.open(h.line.slavePath()));
        h.form->connectButton->click();
        QVERIFY(!h.form->link().isOpen());
        QCOMPARE(h.dialogs().messages.size(), 1);
        QCOMPARE(h.dialogs().last().text, seriallink::kWriteFailedText);
        other.close();
        h.form->connectButton->click();
        QVERIFY(h.form->link().isOpen());
    }
};

QTEST_MAIN(EndToEnd)
#include "test_end_to_end.moc"

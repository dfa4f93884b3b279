// The IR windows and the real serial port against the simulated switcher.

#include "frontends/windows/ir/ir_codes_window.h"
#include "frontends/windows/ir/ir_routing_window.h"
#include "tests/support/sim_harness.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

namespace {

// A run is 81 or 162 command and answer round trips.
constexpr int kRunMs = 30000;

QString hex2(int v) {
    return QString::number(v, 16).toUpper().rightJustified(2, '0');
}

// The code window open in IR mode, the device's echo in.
bool openIrCodes(SimHarness& h) {
    if (!h.ok)
        return false;
    h.form->onIrCodesClicked();
    return h.waitFor([&] { return h.received.contains("irm") && !h.form->modes().awaitingEcho(); });
}

int codeCommands(const SimHarness& h, const char* word) {
    int n = 0;
    for (const QByteArray& l : h.received)
        if (l.startsWith(word))
            ++n;
    return n;
}

} // namespace

class IrEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void readFillsTheTable() {
        SimHarness h;
        QVERIFY(openIrCodes(h));
        IrCodesWindow& s = h.form->irCodesWindow();
        h.device.ir.codes[0] = 0x3C;
        h.device.ir.codes[80] = 0xE1;
        s.readButton->click();
        QVERIFY(h.waitFor([&] { return s.statusText() == "Read OK!"; }, kRunMs));
        for (int e = 0; e <= 80; ++e)
            QCOMPARE(s.codeBoxes[e]->text(), hex2(h.device.ir.codes[e]));
        QCOMPARE(codeCommands(h, "ric"), 81);
        QVERIFY(!s.run().runInProgress());
        QVERIFY(h.dialogs().messages.isEmpty());
    }

    void writeSendsChecksAndSaves() {
        SimHarness h;
        QVERIFY(openIrCodes(h));
        IrCodesWindow& s = h.form->irCodesWindow();
        s.codeBoxes[0]->setText("a5");
        for (int e = 1; e <= 80; ++e)
            s.codeBoxes[e]->setText(hex2(0x80 + e));
        s.codeBoxes[3]->setText("5"); // one digit, read back as "05"
        s.writeButton->click();
        QVERIFY(h.waitFor([&] { return s.statusText() == "Write OK!"; }, kRunMs));
        QVERIFY(h.waitFor([&] { return h.device.ir.saved; }));
        QCOMPARE(h.received.last(), QByteArray("sav"));
        QCOMPARE(codeCommands(h, "wic"), 81);
        QCOMPARE(codeCommands(h, "ric"), 81);
        QVERIFY(h.received.contains("wic 3 5"));
        QVERIFY(h.received.contains("wic 0 a5"));
        for (int e = 0; e <= 80; ++e)
            QCOMPARE(h.device.ir.codes[e], s.codeBoxes[e]->text().toInt(nullptr, 16));
        QCOMPARE(h.form->device().irCodes().currentEntry(), 81);
    }

    void aCorruptedEntryFailsTheCheck() {
        SimHarness h;
        QVERIFY(openIrCodes(h));
        IrCodesWindow& s = h.form->irCodesWindow();
        h.device.ir.corruptEntry = 17;
        for (int e = 0; e <= 80; ++e)
            s.codeBoxes[e]->setText(hex2(0x20 + e));
        s.writeButton->click();
        QVERIFY(h.waitFor([&] { return s.statusText() == "Write error!"; }, kRunMs));
        QCOMPARE(h.received.last(), QByteArray("ric 11"));
        QVERIFY(!h.received.contains("sav"));
        QVERIFY(!h.device.ir.saved);
    }

    void lowerCaseAnswersStillCheck() {
        SimHarness h;
        QVERIFY(openIrCodes(h));
        IrCodesWindow& s = h.form->irCodesWindow();
        h.device.ir.lowerCase = true;
        s.codeBoxes[0]->setText("FA");
        for (int e = 1; e <= 80; ++e)
            s.codeBoxes[e]->setText(hex2(0x9F + e));
        s.writeButton->click();
        QVERIFY(h.waitFor([&] { return s.statusText() == "Write OK!"; }, kRunMs));
        QCOMPARE(h.device.ir.codes[10], 0xA9);
    }

    void aSilentDeviceTimesOut() {
        SimHarness h;
        QVERIFY(openIrCodes(h));
        IrCodesWindow& s = h.form->irCodesWindow();
        h.device.ir.dropAt = 6;
        s.readButton->click();
        QVERIFY(h.waitFor([&] { return s.statusText() == "Time Out!"; }, 4000));
        QCOMPARE(h.received.last(), QByteArray("ric 5"));
        QVERIFY(s.codeBoxes[4]->text().size() == 2);
        QVERIFY(s.codeBoxes[5]->text().isEmpty());
    }

    void learnedKeysFillTheGrid() {
        SimHarness h;
        QVERIFY(openIrCodes(h));
        IrCodesWindow& s = h.form->irCodesWindow();
        h.line.send(h.device.ir.keyPressed(7) + "\r\n");
        QVERIFY(h.waitFor([&] { return s.run().learnTarget() == 2; }));
        QCOMPARE(s.codeBoxes[1]->text(), QString("07"));
        QCOMPARE(s.codeBoxes[0]->text(), QString("00"));
        h.line.send(h.device.ir.learnedLine(0x5A, 0xC3) + "\r\n");
        QVERIFY(h.waitFor([&] { return s.run().learnTarget() == 3; }));
        QCOMPARE(s.codeBoxes[2]->text(), QString("C3"));
        QCOMPARE(s.receivedCustomCode->text(), QString("5A"));
        QCOMPARE(s.receivedDataCode->text(), QString("C3"));
    }

    void irRoutingRoundTrip() {
        SimHarness h;
        QVERIFY(h.ok);
        h.form->onIrRoutingClicked();
        IrRoutingWindow& m = h.form->irRoutingWindow();
        auto onlyLit = [&](int panel, int place) {
            for (int j = 0; j < 8; ++j)
                if (m.lamps[8 * panel + j]->isLit() != (j == place))
                    return false;
            return true;
        };
        QVERIFY(h.waitFor([&] {
            for (int k = 0; k < 8; ++k)
                if (!onlyLit(k, k))
                    return false;
            return true;
        }));
        m.routeButtons[10]->click();
        QVERIFY(h.waitFor([&] { return onlyLit(1, 2); }));
        QCOMPARE(h.device.ir.routing[1], 2);
        m.allOutputsList->setCurrentIndex(4);
        emit m.allOutputsList->activated(4);
        QVERIFY(h.waitFor([&] {
            for (int k = 0; k < 8; ++k)
                if (!onlyLit(k, 4))
                    return false;
            return true;
        }));
        QCOMPARE(h.received.mid(1), (QByteArrayList{"ims", "srp 1 2", "srp 8 4"}));
    }
};

QTEST_MAIN(IrEndToEnd)
#include "test_ir_end_to_end.moc"

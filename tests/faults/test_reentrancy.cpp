// Message boxes run nested event loops while ticks and arrivals go on. These
// tests hold a box open (the fake dialogs' whileOpen hook) while more bytes
// come in, and compare what the interpreter made of the stream with the
// stream itself: every line once, in the order sent.

#include "core/edid/edid_transfer.h"
#include "frontends/windows/edid/edid_window.h"
#include "frontends/windows/edid/hex_view.h"
#include "frontends/windows/ir/ir_codes_window.h"
#include "frontends/windows/settings/settings_window.h"
#include "tests/edid/edid_test_util.h"
#include "tests/faults/fault_util.h"
#include "tests/support/sim_harness.h"

#include <QRadioButton>
#include <QTest>

using namespace faults;
using Msg = platform::FakeDialogs::Message;

namespace {

// A main window on the fake port and clock whose interpreter's every line
// is recorded, with the bytes the device sent kept beside it.
struct Traffic {
    Traffic() : seen(*f.form) { f.takeWritten(); }

    // Bytes from the device, kept as part of the stream; no time passes.
    void deliver(const QByteArray& bytes) {
        stream += bytes;
        f.port().deliver(bytes);
    }
    void receive(const QByteArray& bytes, int ms = 10) {
        deliver(bytes);
        f.advance(ms);
    }
    int count(const QByteArray& command) { return int(f.port().written.count(command)); }

    FormFixture f;
    LineRecorder seen;
    QByteArray stream;
};

} // namespace

class Reentrancy : public QObject {
    Q_OBJECT

private slots:
    // The device says it left setting mode, and while the operator reads
    // the box it goes on: a routing report split over two arrivals, a
    // settings reply, an acknowledgement, and "sto" once more, which raises
    // a second box inside the first.
    void settingsQuitBoxWhileLinesKeepArriving() {
        Traffic t;
        MainWindow& f = *t.f.form;
        f.onSettingsClicked();
        t.receive("stm\r\n");
        int depth = 0;
        t.f.dialogs().whileOpen = [&](const Msg& m) {
            if (m.text != "Device quit Setting mode!" || ++depth > 1)
                return;
            t.deliver("s23\r\nslc 03\r\ns4");
            t.f.advance(10);
            t.deliver("5\r\nAck\r\nsto\r\n");
            t.f.advance(40);
        };
        t.receive("sto\r\n");
        t.receive("s11\r\nafter\r\n");

        QCOMPARE(t.seen.lines, linesOf(t.stream));
        QCOMPARE(t.f.dialogs().texts(),
                 QStringList(2, QStringLiteral("Device quit Setting mode!")));
        QVERIFY(!f.settingsWindow().isVisible());
        QCOMPARE(f.modes().isOn(protocol::Mode::Setup), false);
        QCOMPARE(t.count("sto\r\n"), 1); // the exit word once, for one closing
        QCOMPARE(f.settingsWindow().session().longCableValue(), 3);
        QVERIFY(f.settingsWindow().longCableChoices[1]->isChecked());
        QCOMPARE(litInput(f, 2), 3);
        QCOMPARE(litInput(f, 4), 5);
        QCOMPARE(litInput(f, 1), 1);
        // Only what came after the window closed is echoed.
        QVERIFY(f.logText().endsWith("after\r\n"));
        QVERIFY(!f.logText().contains("slc"));
    }

    // The EDID read times out; while "Time Out!" is up, the late "rdy", a
    // byte, a routing report and the start of another come in, and the
    // clock runs on inside the box. The late answers find no transfer; the
    // report lights its lamp; and the partial line is flushed on time after
    // the box: the clock did not fall back when the box closed.
    void edidTimeOutBoxWhileTrafficGoesOn() {
        Traffic t;
        MainWindow& f = *t.f.form;
        f.onEdidClicked();
        t.receive("edm\r\n");
        EdidWindow& w = f.edidWindow();
        const qint64 t0 = t.f.platform.clock().now();
        w.onReadClicked();
        t.f.takeWritten();
        t.f.dialogs().whileOpen = [&](const Msg& m) {
            if (m.text != "Time Out!")
                return;
            t.deliver("rdy\r\ns67\r\nok 00\r\ns28");
            t.f.advance(25); // two quiet ticks of the partial line
        };
        t.f.advance(1000);
        QCOMPARE(t.f.platform.clock().now(), t0 + 1025);
        QCOMPARE(t.f.dialogs().texts(), QStringList{"Time Out!"});
        QCOMPARE(w.statusText(), QString("Time Out!"));
        QCOMPARE(w.transfer().reading(), false);
        QVERIFY(t.f.takeWritten().isEmpty()); // no "red" for the late "rdy"
        QCOMPARE(w.hexView->text(), QString());
        QCOMPARE(litInput(f, 6), 7);
        QCOMPARE(litInput(f, 2), 0);
        t.f.advance(15);
        QCOMPARE(litInput(f, 2), 8);
        QCOMPARE(t.seen.lines, linesOf(t.stream) << "s28");
    }

    // A read whose image has a bad checksum ends in "EDID CheckSum error!".
    // While that box is up the device repeats its last answer and reports a
    // route. The transfer is over: the repeat must not be taken as a 257th
    // byte, nor raise the box a second time.
    void edidCheckSumBoxWithTheLastAnswerRepeated() {
        Traffic t;
        MainWindow& f = *t.f.form;
        f.onEdidClicked();
        t.receive("edm\r\n");
        EdidWindow& w = f.edidWindow();
        edid::Image m = edidtest::sampleImage();
        m[200] ^= 0x01;
        w.onReadClicked();
        t.receive("rdy\r\n");
        for (int i = 0; i < 255; ++i)
            t.receive("ok " + edidtest::hexByte(m[i]).toLatin1() + "\r\n");
        const QByteArray last = "ok " + edidtest::hexByte(m[255]).toLatin1() + "\r\n";
        const QString view = w.hexView->text();
        t.f.takeWritten();
        int depth = 0;
        t.f.dialogs().whileOpen = [&](const Msg& msg) {
            if (msg.text == "EDID CheckSum error!" && ++depth == 1)
                t.receive(last + "s12\r\n");
        };
        t.receive(last);
        t.f.advance(edid::EdidTransfer::kSettleMs);

        QCOMPARE(t.f.dialogs().texts(), QStringList{"EDID CheckSum error!"});
        QCOMPARE(w.statusText(), QString("CheckSum error!"));
        QCOMPARE(w.transfer().reading(), false);
        QCOMPARE(w.transfer().nextByte(), 0);
        QCOMPARE(w.hexView->text(), view + edidtest::hexByte(m[255]) + "  ");
        QVERIFY(t.f.takeWritten().isEmpty());
        QCOMPARE(litInput(f, 1), 2);
        QCOMPARE(t.seen.lines, linesOf(t.stream));
    }

    // An IR read run whose next command cannot be written: the failure box
    // is up when the device's next answer comes in. The run is over; the
    // answer must not fill a box of the table or raise a second failure.
    void irWriteFailureBoxWhileAnswersArrive() {
        Traffic t;
        MainWindow& f = *t.f.form;
        f.onIrCodesClicked();
        t.receive("irm\r\n");
        IrCodesWindow& s = f.irCodesWindow();
        s.onReadClicked(); // "ric 0"
        t.f.port().refuseWrite = true;
        int depth = 0;
        t.f.dialogs().whileOpen = [&](const Msg& m) {
            if (m.text == seriallink::kWriteFailedText && ++depth == 1)
                t.receive("rok 02\r\ns71\r\n");
        };
        t.receive("rok 01\r\n");
        QCOMPARE(t.f.dialogs().texts(), QStringList{seriallink::kWriteFailedText});
        QVERIFY(!s.run().runInProgress());
        QCOMPARE(s.codeBoxes[0]->text(), QString("01"));
        QCOMPARE(s.codeBoxes[1]->text(), QString());
        QCOMPARE(litInput(f, 7), 1);
        QCOMPARE(t.seen.lines, linesOf(t.stream));
    }

    // The mode watchdog's box is up when the device's answers arrive at
    // last: the echo, a learned IR code and a routing report are each
    // handled once, in order, while the box is open.
    void watchdogBoxWhileRepliesArrive() {
        Traffic t;
        MainWindow& f = *t.f.form;
        f.onIrCodesClicked();
        IrCodesWindow& s = f.irCodesWindow();
        t.f.dialogs().whileOpen = [&](const Msg& m) {
            if (m.text == "Device is not connect!")
                t.receive("irm\r\nrir 00 07\r\ns55\r\nok 1A\r\n", 30);
        };
        t.f.advance(2000);
        QCOMPARE(t.f.dialogs().texts(), QStringList{"Device is not connect!"});
        QCOMPARE(s.codeBoxes[0]->text(), QString("00"));
        QCOMPARE(s.codeBoxes[1]->text(), QString("07"));
        QCOMPARE(s.run().learnTarget(), 2);
        QCOMPARE(litInput(f, 5), 5);
        QVERIFY(!f.modes().awaitingEcho());
        t.f.advance(5000);
        QCOMPARE(t.f.dialogs().messages.size(), 1);
        QCOMPARE(t.seen.lines, linesOf(t.stream));
    }

    // A box inside a box: the watchdog's warning is up when the device
    // leaves setting mode, and while that second box is up a report comes.
    void aBoxRaisedInsideABox() {
        Traffic t;
        MainWindow& f = *t.f.form;
        f.onSettingsClicked();
        QStringList order;
        t.f.dialogs().whileOpen = [&](const Msg& m) {
            order << m.text;
            if (m.text == "Device is not connect!")
                t.receive("s31\r\nsto\r\ns32\r\n");
            else if (m.text == "Device quit Setting mode!")
                t.receive("s33\r\n");
        };
        t.f.advance(2000);
        t.receive("s34\r\n");
        QCOMPARE(order, (QStringList{"Device is not connect!", "Device quit Setting mode!"}));
        QCOMPARE(t.seen.lines, linesOf(t.stream));
        QCOMPARE(loggedRoutes(f.logText()),
                 (QList<std::pair<int, int>>{{3, 1}, {3, 2}, {3, 3}, {3, 4}}));
        QCOMPARE(litInput(f, 3), 4);
        QVERIFY(!f.settingsWindow().isVisible());
        QCOMPARE(t.count("sto\r\n"), 1);
        QCOMPARE(f.modes().isOn(protocol::Mode::Setup), false);
    }

    // The "Device quit Setting mode!" box comes up inside the port's arrival
    // notification. The port does not announce bytes again until that
    // notification returns, so what the device sends while the operator
    // reads the box must still be taken in once the box is gone: all of
    // it, although it is more than the receive ring holds, and in order.
    void linesThatArriveDuringABoxOverTheRealPortAreAllInterpretedInOrder() {
        SimHarness h;
        QVERIFY(h.ok);
        QVERIFY(h.waitFor([&] { return litInput(*h.form, 8) == 8; }));
        MainWindow& f = *h.form;
        f.onSettingsClicked();
        QVERIFY(h.waitFor([&] { return !f.modes().awaitingEcho(); }));

        QList<std::pair<int, int>> sent;
        QByteArray burst;
        for (int i = 0; i < 300; ++i) {
            const int o = i % 8 + 1, in = (i * 5 + i / 8) % 8 + 1;
            sent.append({o, in});
            burst += report(o, in);
        }
        burst += "slc 03\r\nlate line\r\n";
        int boxes = 0;
        h.dialogs().whileOpen = [&](const Msg& m) {
            if (m.text != "Device quit Setting mode!")
                return;
            ++boxes;
            h.line.send(burst);
            holdBoxOpen(150);
        };
        const qsizetype logBefore = loggedRoutes(f.logText()).size();
        h.line.send("sto\r\n");
        QVERIFY(h.waitFor([&] { return f.logText().contains("late line"); }));
        QCOMPARE(boxes, 1);
        QVERIFY(!f.settingsWindow().isVisible());
        QCOMPARE(f.modes().isOn(protocol::Mode::Setup), false);
        QCOMPARE(loggedRoutes(f.logText()).mid(logBefore), sent);
        QCOMPARE(f.link().rx().dropped(), quint64(0));
        QCOMPARE(litRow(f), lastRoutes(sent));
    }
};

QTEST_MAIN(Reentrancy)
#include "test_reentrancy.moc"

// What the line and the device can do wrong, end to end: the program core
// and the real serial port against the simulated switcher over a
// pseudo-terminal. A device that vanishes mid-transfer, noise, answers cut
// at every byte or sent twice, a device that never answers, answers meant
// for another mode. Each must end in a state the operator can see and
// recover from.

#include "core/edid/edid_transfer.h"
#include "core/ir/ir_code_run.h"
#include "frontends/windows/edid/edid_window.h"
#include "frontends/windows/edid/hex_view.h"
#include "frontends/windows/ir/ir_codes_window.h"
#include "frontends/windows/settings/settings_window.h"
#include "tests/edid/edid_test_util.h"
#include "tests/faults/fault_util.h"
#include "tests/support/sim_harness.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTest>

using namespace faults;
using Msg = platform::FakeDialogs::Message;

namespace {

constexpr int kRunMs = 30000;

// What the operator ends up seeing after a session of routing, an EDID
// read and an IR read, and what the interpreter was handed on the way.
struct Outcome {
    QList<int> lamps;
    QString log;
    QStringList lines;
    QString edidView, edidStatus;
    QStringList irTable;
    QString irStatus;
    QStringList boxes;
    QByteArrayList commands;
};

// The session against the simulated switcher behind the fake port, its
// answers delivered as shape cuts them.
Outcome session(const Bridge::Shape& shape) {
    Bridge b;
    b.shape = shape;
    MainWindow& f = *b.f.form;
    LineRecorder seen(f);
    b.device.routing = {3, 1, 4, 1, 5, 2, 6, 5};
    b.pump(); // the answer to the start-up "bc "
    f.routeButtons[3][6]->click();
    b.pump();
    f.onEdidClicked();
    b.pump();
    EdidWindow& w = f.edidWindow();
    w.portChoices[5]->click();
    w.readButton->click();
    b.pump();
    b.f.advance(edid::EdidTransfer::kSettleMs);
    Outcome o;
    o.edidView = w.hexView->text();
    o.edidStatus = w.statusText();
    w.close();
    b.pump();
    f.onIrCodesClicked();
    b.pump();
    IrCodesWindow& s = f.irCodesWindow();
    s.readButton->click();
    b.pump();
    b.f.advance(ir::IrCodeRun::kSettleMs);
    for (auto* box : s.codeBoxes)
        o.irTable << box->text();
    o.irStatus = s.statusText();
    s.close();
    b.pump();
    b.f.advance(100);
    o.lamps = litRow(f);
    o.log = f.logText();
    o.lines = seen.lines;
    o.boxes = b.f.dialogs().texts();
    o.commands = b.received;
    return o;
}

// Stands between the pseudo-terminal and the simulated switcher: counts
// the bytes each way, can reshape the answers, and can pull the plug the
// moment the device receives a given command.
struct Wire {
    explicit Wire(SimHarness& h) : h(h) {
        h.line.onReceive = [this](const QByteArray& bytes) { onBytes(bytes); };
    }

    void onBytes(const QByteArray& bytes) {
        fromProgram += bytes.size();
        const qsizetype before = h.received.size();
        QByteArray answer = h.device.receive(bytes);
        for (qsizetype i = before; i < h.received.size(); ++i) {
            if (!cutAt.isEmpty() && h.received[i] == cutAt) {
                cutAt.clear();
                sinceCut.start();
                // Unplugged before the answer leaves.
                QTimer::singleShot(0, &h.line, [this] { h.line.hangUp(); });
                return;
            }
        }
        if (twice)
            answer = doubled(answer).value(0);
        toProgram += answer.size();
        h.line.send(answer);
    }
    // Everything sent either way has arrived.
    bool quiet() const {
        return fromProgram == qint64(h.form->link().bytesSent()) &&
               toProgram == qint64(h.form->link().bytesReceived());
    }
    // Brings the line back after a hang-up and presses Connect.
    bool reconnect() {
        QString error;
        if (!h.line.start(h.dir.path(), 1, &error))
            return false;
        h.form->connectButton->click();
        return h.form->link().isOpen();
    }

    SimHarness& h;
    QByteArray cutAt; // command line (no CR LF) at which the line goes dead
    bool twice = false;
    QElapsedTimer sinceCut;
    qint64 fromProgram = 0;
    qint64 toProgram = 0;
};

bool started(SimHarness& h) {
    return h.ok && h.waitFor([&] { return litInput(*h.form, 8) == 8; });
}

// Opens a mode window and waits for the device's echo.
bool openConfirmed(SimHarness& h, void (MainWindow::*open)()) {
    (h.form.get()->*open)();
    return h.waitFor([&] { return !h.form->modes().awaitingEcho(); });
}

QString hex2(int v) {
    return QString::number(v, 16).toUpper().rightJustified(2, '0');
}

sim::EdidState::Image simImage(const edid::Image& m) {
    sim::EdidState::Image s;
    std::copy(m.begin(), m.end(), s.begin());
    return s;
}

// Another valid image than the simulator's own.
edid::Image otherImage() {
    edid::Image m = edidtest::sampleImage();
    m[10] = 0x77;
    edid::setChecksums(m);
    return m;
}

// The port is closed and the main window says so.
bool showsDisconnected(MainWindow& f) {
    return !f.link().isOpen() && f.disconnectedLamp->isLit() && !f.connectedLamp->isLit() &&
           f.connectButton->text() == "Connect";
}

} // namespace

class DeviceFaults : public QObject {
    Q_OBJECT

private slots:
    // The adapter is pulled while byte 0x50 of a read is asked for. The
    // window does not wait forever: a second later it says "Time Out!".
    // The operator closes it, reconnects, reopens it and reads again.
    void vanishingDuringAnEdidRead() {
        SimHarness h;
        Wire wire(h);
        QVERIFY(started(h));
        QVERIFY(openConfirmed(h, &MainWindow::onEdidClicked));
        EdidWindow& w = h.form->edidWindow();
        wire.cutAt = "red 50 ";
        w.readButton->click();
        QVERIFY(h.waitFor([&] { return showsDisconnected(*h.form); }));
        const qint64 lampMs = wire.sinceCut.elapsed();
        QVERIFY(h.waitFor([&] { return w.statusText() == "Time Out!"; }, 3000));
        qInfo("EDID read: red lamp %lld ms after the cut, \"Time Out!\" after %lld ms", lampMs,
              wire.sinceCut.elapsed());
        QCOMPARE(h.dialogs().messages, (QList<Msg>{{"Time Out!", kAppTitle}}));
        QCOMPARE(w.transfer().reading(), false);
        QCOMPARE(w.transfer().bytesShown(), 0x50);

        w.close();
        QCOMPARE(h.form->modes().isOn(protocol::Mode::Edid), false);
        QVERIFY(wire.reconnect());
        QVERIFY(h.form->connectedLamp->isLit() && !h.form->disconnectedLamp->isLit());
        QVERIFY(openConfirmed(h, &MainWindow::onEdidClicked));
        w.readButton->click();
        QVERIFY(h.waitFor([&] { return w.statusText() == "Read EDID OK!"; }, kRunMs));
        QCOMPARE(w.hexView->text(), edidtest::readForm(edidtest::sampleImage()));
        QCOMPARE(h.dialogs().messages.size(), 1);
    }

    // Pulled during a download: the device keeps its old image (a download
    // is stored only when its last byte arrives), and a second download
    // after reconnecting stores and verifies the new one.
    void vanishingDuringAnEdidDownload() {
        SimHarness h;
        Wire wire(h);
        QVERIFY(started(h));
        QVERIFY(openConfirmed(h, &MainWindow::onEdidClicked));
        EdidWindow& w = h.form->edidWindow();
        const edid::Image m = otherImage();
        w.hexView->setText(edid::writtenForm(m));
        wire.cutAt = "wed 80 " + edidtest::hexByte(m[0x80]).toLatin1();
        w.downloadButton->click();
        QVERIFY(h.waitFor([&] { return showsDisconnected(*h.form); }));
        const qint64 lampMs = wire.sinceCut.elapsed();
        QVERIFY(h.waitFor([&] { return w.statusText() == "Time Out!"; }, 3000));
        qInfo("EDID download: red lamp %lld ms after the cut, \"Time Out!\" after %lld ms", lampMs,
              wire.sinceCut.elapsed());
        QCOMPARE(w.transfer().downloading(), false);
        QCOMPARE(h.device.edid.images[0], simImage(edidtest::sampleImage()));

        w.close();
        QVERIFY(wire.reconnect());
        QVERIFY(openConfirmed(h, &MainWindow::onEdidClicked));
        w.hexView->setText(edid::writtenForm(m)); // opening emptied the view
        w.downloadButton->click();
        QVERIFY(h.waitFor([&] { return w.statusText() == "Download OK!"; }, kRunMs));
        QCOMPARE(h.device.edid.images[0], simImage(m));
        QCOMPARE(h.dialogs().texts(), QStringList{"Time Out!"});
    }

    // Pulled during the write phase of an IR run: "Time Out!" in the status
    // bar, nothing saved on the device. Written again after reconnecting,
    // the table is checked and saved.
    void vanishingDuringAnIrWriteRun() {
        SimHarness h;
        Wire wire(h);
        QVERIFY(started(h));
        QVERIFY(openConfirmed(h, &MainWindow::onIrCodesClicked));
        IrCodesWindow& s = h.form->irCodesWindow();
        auto fill = [&] {
            for (int e = 0; e <= 80; ++e)
                s.codeBoxes[e]->setText(hex2(0x60 + e));
        };
        fill();
        wire.cutAt = "wic 28 " + hex2(0x60 + 0x28).toLatin1();
        s.writeButton->click();
        QVERIFY(h.waitFor([&] { return showsDisconnected(*h.form); }));
        const qint64 lampMs = wire.sinceCut.elapsed();
        QVERIFY(h.waitFor([&] { return s.statusText() == "Time Out!"; }, 3000));
        qInfo("IR write run: red lamp %lld ms after the cut, \"Time Out!\" after %lld ms", lampMs,
              wire.sinceCut.elapsed());
        QVERIFY(!s.run().runInProgress());
        QVERIFY(!h.device.ir.saved);

        s.close();
        QCOMPARE(h.form->modes().isOn(protocol::Mode::Ir), false);
        QVERIFY(wire.reconnect());
        QVERIFY(openConfirmed(h, &MainWindow::onIrCodesClicked));
        fill();
        s.writeButton->click();
        QVERIFY(h.waitFor([&] { return s.statusText() == "Write OK!"; }, kRunMs));
        QVERIFY(h.waitFor([&] { return h.device.ir.saved; }));
        for (int e = 0; e <= 80; ++e)
            QCOMPARE(h.device.ir.codes[e], 0x60 + e);
        QVERIFY(h.dialogs().messages.isEmpty());
    }

    // 5,000 bytes of noise (every byte value) at once, ten times what the
    // receive ring holds. None of it is lost on the way in, the noise goes
    // to the receive log, and then routing reports light the lamps again.
    void aBurstOfNoiseLongerThanTheRing() {
        SimHarness h;
        QVERIFY(started(h));
        MainWindow& f = *h.form;
        QByteArray noise(5000, 0);
        QRandomGenerator rng(20240611);
        for (char& c : noise)
            c = char(rng.bounded(256));
        const quint64 before = f.link().bytesReceived();
        const qsizetype logBefore = f.logText().size();
        QElapsedTimer clock;
        clock.start();
        h.line.send(noise);
        QVERIFY(h.waitFor([&] {
            return f.link().bytesReceived() == before + 5000 &&
                   f.link().lines().partialLength() == 0;
        }));
        qInfo("5000 noise bytes taken in and flushed in %lld ms", clock.elapsed());
        QCOMPARE(f.link().rx().dropped(), quint64(0));
        QVERIFY(f.logText().size() > logBefore + 1000);

        f.routeButtons[1][2]->click(); // output 2 to input 3
        QVERIFY(h.waitFor([&] { return litInput(f, 2) == 3; }));
        h.device.routing.fill(4);
        f.statusButton->click(); // status: every route reported again
        QVERIFY(h.waitFor([&] { return litRow(f) == QList<int>(8, 5); }));
    }

    // A device that never answers: the mode watchdog warns for each window,
    // the EDID read times out with "Time Out!", the IR read says "Time Out!"
    // in its status bar, and a settings command stays "Set Command...".
    void aDeviceThatNeverAnswers() {
        SimHarness h;
        QVERIFY(started(h));
        h.device.faults.silent = true;
        MainWindow& f = *h.form;
        const QString noDevice = "Device is not connect!";

        QElapsedTimer clock;
        clock.start();
        f.onEdidClicked();
        QVERIFY(h.waitFor([&] { return h.dialogs().messages.size() == 1; }, 4000));
        qInfo("watchdog warning %lld ms after \"edm\"", clock.elapsed());
        QCOMPARE(h.dialogs().last(), (Msg{noDevice, kDeviceTitle}));
        EdidWindow& w = f.edidWindow();
        clock.restart();
        w.readButton->click();
        QVERIFY(h.waitFor([&] { return w.statusText() == "Time Out!"; }, 3000));
        qInfo("EDID \"Time Out!\" %lld ms after \"swe 0 1\"", clock.elapsed());
        QCOMPARE(h.dialogs().last(), (Msg{"Time Out!", kAppTitle}));
        w.close();

        f.onIrCodesClicked();
        QVERIFY(h.waitFor([&] { return h.dialogs().messages.size() == 3; }, 4000));
        QCOMPARE(h.dialogs().last().text, noDevice);
        IrCodesWindow& s = f.irCodesWindow();
        clock.restart();
        s.readButton->click();
        QVERIFY(h.waitFor([&] { return s.statusText() == "Time Out!"; }, 3000));
        qInfo("IR \"Time Out!\" %lld ms after \"ric 0\"", clock.elapsed());
        s.close();

        f.onSettingsClicked();
        SettingsWindow& st = f.settingsWindow();
        st.copyTargetList->setCurrentIndex(1);
        st.onCopyTargetChosen();
        st.copySourceList->setCurrentIndex(2);
        st.onCopySourceChosen();
        QCOMPARE(st.statusText(), QString("Set Command..."));
        QVERIFY(h.waitFor([&] { return h.dialogs().messages.size() == 4; }, 4000));
        QCOMPARE(h.dialogs().last().text, noDevice);
        QCOMPARE(st.statusText(), QString("Set Command..."));
        QCOMPARE(st.session().pending(), true);
        st.close();

        QVERIFY(h.waitFor([&] { return h.received.size() == 11; }));
        QCOMPARE(h.dialogs().messages.size(), 4);
        QCOMPARE(h.received.mid(1), (QByteArrayList{"edm", "swe 0 1", "edo", "irm", "ric 0", "iro",
                                                    "stm", "sts", "sed 2 1", "sto"}));
        QCOMPARE(f.modes().isOn(protocol::Mode::Edid) || f.modes().isOn(protocol::Mode::Ir) ||
                     f.modes().isOn(protocol::Mode::Setup),
                 false);
    }

    // Answers that belong to another mode change nothing where they land:
    // IR answers in the EDID window, EDID answers in the IR and settings
    // windows are dropped; with no window open, they are echoed to the log.
    void answersForTheWrongMode() {
        SimHarness h;
        QVERIFY(started(h));
        MainWindow& f = *h.form;
        const QByteArray strays = "rok 12\r\nwok\r\nrir 01 02\r\nok 1A\r\nrdy\r\nslc 03\r\n";
        // Before each batch output 1 goes to input 2; the batch's own
        // report at its end sets the lamp back to input 1.
        auto straysIn = [&] {
            const quint64 before = f.link().bytesReceived();
            h.line.send(strays + "s11\r\n");
            return h.waitFor([&] {
                return f.link().bytesReceived() == before + strays.size() + 5 &&
                       litInput(f, 1) == 1;
            });
        };
        QVERIFY(openConfirmed(h, &MainWindow::onEdidClicked));
        EdidWindow& w = f.edidWindow();
        const qsizetype sentBefore = h.received.size();
        const QString log = f.logText();
        f.routeButtons[0][1]->click();
        QVERIFY(h.waitFor([&] { return litInput(f, 1) == 2; }));
        QVERIFY(straysIn());
        QCOMPARE(w.hexView->text(), QString());
        QCOMPARE(w.statusText(), QString());
        QCOMPARE(w.transfer().running(), false);
        w.close();

        QVERIFY(openConfirmed(h, &MainWindow::onIrCodesClicked));
        IrCodesWindow& s = f.irCodesWindow();
        f.routeButtons[0][1]->click();
        QVERIFY(h.waitFor([&] { return litInput(f, 1) == 2; }));
        QVERIFY(straysIn()); // "rir" is an IR answer: it fills boxes 0 and 1
        QCOMPARE(s.codeBoxes[1]->text(), QString("02"));
        for (int e = 2; e <= 80; ++e)
            QVERIFY(s.codeBoxes[e]->text().isEmpty());
        QCOMPARE(s.statusText(), QString());
        s.close();

        QVERIFY(openConfirmed(h, &MainWindow::onSettingsClicked));
        SettingsWindow& st = f.settingsWindow();
        QVERIFY(h.waitFor([&] { return st.longCableChoices[0]->isChecked(); }));
        f.routeButtons[0][1]->click();
        QVERIFY(h.waitFor([&] { return litInput(f, 1) == 2; }));
        QVERIFY(straysIn()); // here "slc 03" is a settings answer: "ON"
        QVERIFY(st.longCableChoices[1]->isChecked());
        QCOMPARE(st.statusText(), QString());
        st.close();

        // No window open: every stray is echoed as it came.
        f.routeButtons[0][1]->click();
        QVERIFY(h.waitFor([&] { return litInput(f, 1) == 2; }));
        const QString log2 = f.logText();
        QVERIFY(straysIn());
        QCOMPARE(f.logText().mid(log2.size()),
                 QString::fromLatin1(strays) + "\r\nHDMI Out1 -> HDMI In1\n");

        // Nothing the strays did sent a command, and while a window was
        // open nothing was echoed but the routing reports.
        QByteArrayList commands = h.received.mid(sentBefore);
        commands.removeAll("cir 01");
        QCOMPARE(commands, (QByteArrayList{"edo", "irm", "iro", "stm", "sts", "sto"}));
        // (The lone LFs are those of the exit words' echoes.)
        static const QRegularExpression routesAndLfs("\r\nHDMI Out1 -> HDMI In[12]|\n");
        QCOMPARE(log2.mid(log.size()).remove(routesAndLfs), QString());
    }

    // Every answer delivered one byte per arrival: the routing reports, an
    // EDID read and an IR read come out exactly as when each answer arrives
    // whole, down to every line the interpreter is handed.
    void answersSplitAtEveryByte() {
        const Outcome whole = session({});
        const Outcome split = session(byteByByte);
        QCOMPARE(whole.lamps, (QList<int>{4, 2, 5, 7, 6, 3, 7, 6}));
        QCOMPARE(whole.edidStatus, QString("Read EDID OK!"));
        QCOMPARE(whole.edidView, edidtest::readForm(edidtest::sampleImage()));
        QCOMPARE(whole.irStatus, QString("Read OK!"));
        QCOMPARE(whole.irTable.value(80), QString("50"));
        QVERIFY(whole.boxes.isEmpty());

        QCOMPARE(split.lines, whole.lines);
        QCOMPARE(split.lamps, whole.lamps);
        QCOMPARE(split.log, whole.log);
        QCOMPARE(split.edidView, whole.edidView);
        QCOMPARE(split.edidStatus, whole.edidStatus);
        QCOMPARE(split.irTable, whole.irTable);
        QCOMPARE(split.irStatus, whole.irStatus);
        QCOMPARE(split.boxes, whole.boxes);
        QCOMPARE(split.commands, whole.commands);
        // "bc ", "cir", "edm", "swe", 256 "red", "edo", "irm", 81 "ric", "iro".
        QCOMPARE(split.commands.size(), 4 + 256 + 2 + 81 + 1);
    }

    // Every answer line sent twice. The program runs ahead of the device;
    // each transfer still ends, with the outcome noted here.
    void everyAnswerSentTwice() {
        SimHarness h;
        Wire wire(h);
        QVERIFY(started(h));
        wire.twice = true;
        MainWindow& f = *h.form;
        f.routeButtons[1][2]->click();
        QVERIFY(h.waitFor([&] { return litInput(f, 2) == 3 && wire.quiet(); }));
        QCOMPARE(loggedRoutes(f.logText()).mid(8), (QList<std::pair<int, int>>{{2, 3}, {2, 3}}));

        // EDID read: every byte after the first is taken for the next one,
        // so the image would come out with its bytes in pairs; the answers
        // still coming after the last one show the read was out of step,
        // and it fails without being judged.
        QVERIFY(openConfirmed(h, &MainWindow::onEdidClicked));
        EdidWindow& w = f.edidWindow();
        w.readButton->click();
        QVERIFY(h.waitFor(
            [&] {
                return w.transfer().reading() == false && !w.transfer().settling() && wire.quiet();
            },
            kRunMs));
        QCOMPARE(w.statusText(), QString("Read EDID Err!"));
        QVERIFY(h.dialogs().messages.isEmpty());
        QVERIFY(w.hexView->text().startsWith("00  00  FF  FF  FF  FF"));

        // Download: every byte reaches the device once and in order, so the
        // device stores the image; but the verification read starts while
        // the acceptances of the second half are still coming, takes five
        // of them for failed reads of byte 0 and gives up.
        const edid::Image m = otherImage();
        w.hexView->setText(edid::writtenForm(m));
        h.dialogs().messages.clear();
        w.downloadButton->click();
        QVERIFY(h.waitFor(
            [&] {
                return w.transfer().downloading() == false && w.transfer().reading() == false &&
                       wire.quiet();
            },
            kRunMs));
        QCOMPARE(h.device.edid.images[0], simImage(m));
        QCOMPARE(w.statusText(), QString("Read EDID Err!"));
        QVERIFY(h.dialogs().messages.isEmpty());
        QVERIFY(!w.transfer().awaitingAnswer());
        w.close();

        // IR read: each answer after the first fills the next box, so the
        // table comes out shifted and the run reaches its last entry
        // halfway; the answers that keep coming fail it.
        QVERIFY(openConfirmed(h, &MainWindow::onIrCodesClicked));
        IrCodesWindow& s = f.irCodesWindow();
        s.readButton->click();
        QVERIFY(h.waitFor([&] { return !s.run().runInProgress() && wire.quiet(); }, kRunMs));
        QCOMPARE(s.statusText(), QString("Read error!"));
        QCOMPARE(s.codeBoxes[1]->text(), hex2(h.device.ir.codes[0]));

        // IR write: the device stores every entry once; an acceptance that
        // comes while the table is being read back answers no command of
        // the check, and the run stops with "Write error!", unsaved.
        for (int e = 0; e <= 80; ++e)
            s.codeBoxes[e]->setText(hex2(0xA0 + e));
        s.writeButton->click();
        QVERIFY(h.waitFor([&] { return !s.run().runInProgress() && wire.quiet(); }, kRunMs));
        QCOMPARE(s.statusText(), QString("Write error!"));
        for (int e = 0; e <= 80; ++e)
            QCOMPARE(h.device.ir.codes[e], 0xA0 + e);
        QVERIFY(!h.device.ir.saved);
        s.close();
        QCOMPARE(f.modes().isOn(protocol::Mode::Ir) || f.modes().isOn(protocol::Mode::Edid), false);
    }
};

QTEST_MAIN(DeviceFaults)
#include "test_device_faults.moc"

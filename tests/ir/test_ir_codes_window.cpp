// The IR code window and its replies on the fake platform: the grid, its
// checks, and read and write runs driven reply by reply on a hand-driven
// clock.

#include "frontends/windows/ir/ir_codes_window.h"
#include "tests/support/form_fixture.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

namespace {

const QColor kWhite(255, 255, 255);
const QColor kOrange(255, 128, 0);
const QColor kGreen(0, 255, 0);

QString hex(int v) {
    return QString::number(v, 16).toUpper();
}
QString hex2(int v) {
    return hex(v).rightJustified(2, '0');
}

// The window opened, the device's "irm" echo in, the port record empty.
struct Opened {
    FormFixture f;
    IrCodesWindow& s;
    Opened() : s(f.form->irCodesWindow()) {
        f.takeWritten();
        f.form->onIrCodesClicked();
        f.receive("irm\r\n");
        f.takeWritten();
    }
    // A valid table of distinct codes: custom A5, data code of entry e is
    // 0x80 + e.
    void fill() {
        s.codeBoxes[0]->setText("A5");
        for (int e = 1; e <= 80; ++e)
            s.codeBoxes[e]->setText(hex2(0x80 + e));
    }
    QString text(int k) const { return s.codeBoxes[k]->text(); }
    void focus(int k) {
        QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
        QCoreApplication::sendEvent(s.codeBoxes[k], &in);
    }
};

QByteArray line(const QString& command) {
    return command.toLatin1() + "\r\n";
}

} // namespace

class IrCodesWindowTest : public QObject {
    Q_OBJECT
private slots:
    void looksAsDesigned() {
        Opened o;
        IrCodesWindow& s = o.s;
        QVERIFY(s.isVisible());
        QCOMPARE(s.windowTitle(), QString("IR CODE SET"));
        for (auto* box : s.codeBoxes) {
            QCOMPARE(box->maxLength(), 2);
            QVERIFY(box->text().isEmpty());
        }
        QCOMPARE(s.readButton->text(), QString("Read Code"));
        QCOMPARE(s.writeButton->text(), QString("Write Code"));
        QCOMPARE(s.progressBar->minimum(), 0);
        QCOMPARE(s.progressBar->maximum(), 80);
        QStringList frames;
        for (auto* g : s.findChildren<QGroupBox*>())
            frames << g->title();
        frames.sort();
        QCOMPARE(frames, (QStringList{"Receive Code", "Wait to modify code"}));
        QStringList labels;
        for (auto* l : s.findChildren<QLabel*>())
            labels << l->text();
        QCOMPARE(labels.count("Custom Code:"), 2);
        QCOMPARE(labels.count("Data Code:"), 1);
    }

    void entriesSitUnderTheirHeadings() {
        Opened o;
        auto* table = o.s.findChildren<QGroupBox*>().value(0);
        for (auto* g : o.s.findChildren<QGroupBox*>())
            if (g->title() == "Wait to modify code")
                table = g;
        auto* grid = qobject_cast<QGridLayout*>(table->layout());
        QVERIFY(grid);
        auto labelAt = [&](int r, int c) {
            QLayoutItem* it = grid->itemAtPosition(r, c);
            auto* l = it ? qobject_cast<QLabel*>(it->widget()) : nullptr;
            return l ? l->text() : QString();
        };
        auto position = [&](QWidget* w) {
            int r, c, rs, cs;
            grid->getItemPosition(grid->indexOf(w), &r, &c, &rs, &cs);
            return std::pair{r, c};
        };
        const auto [r0, c0] = position(o.s.codeBoxes[0]);
        QCOMPARE(labelAt(r0, c0 - 1), QString("Custom Code:"));
        const QStringList headings{"1", "2", "3", "4", "5", "6", "7", "8", "<", ">"};
        for (int out = 1; out <= 8; ++out) {
            // The key routing output `out` to input c, then its "<" and ">".
            QList<int> row;
            for (int c = 1; c <= 8; ++c)
                row << 8 * (out - 1) + c;
            row << 65 + 2 * (out - 1) << 66 + 2 * (out - 1);
            for (int i = 0; i < 10; ++i) {
                const auto [r, c] = position(o.s.codeBoxes[row[i]]);
                QCOMPARE(labelAt(r, 0), QString("Output%1").arg(out));
                QCOMPARE(labelAt(r0 + 1, c), headings[i]);
            }
        }
    }

    void keyFilter() {
        Opened o;
        auto* box = o.s.codeBoxes[12];
        QTest::keyClicks(box, "G -xz+f");
        QCOMPARE(box->text(), QString("f"));
        QTest::keyClicks(box, "A9");
        QCOMPARE(box->text(), QString("fA")); // two characters at most
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(box->text(), QString("f"));
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(box->text(), QString("f"));
        QVERIFY(o.f.takeWritten().isEmpty());
        // Text set by other means than typing is not filtered.
        box->setText("zz");
        QCOMPARE(box->text(), QString("zz"));
    }

    void focusClearsTheColourAndAimsLearnedCodes() {
        Opened o;
        QCOMPARE(o.s.run().learnTarget(), 1);
        o.s.onWriteClicked(); // all empty: every box orange
        QCOMPARE(o.s.boxColor(37), kOrange);
        o.focus(37);
        QCOMPARE(o.s.boxColor(37), kWhite);
        QCOMPARE(o.s.boxColor(36), kOrange);
        QCOMPARE(o.s.run().learnTarget(), 37);
        o.focus(0);
        QCOMPARE(o.s.boxColor(0), kWhite);
        QCOMPARE(o.s.run().learnTarget(), 1);
    }

    void formatTest() {
        Opened o;
        o.fill();
        o.s.codeBoxes[44]->clear();
        o.s.codeBoxes[0]->setText("G1"); // pasted, never typed
        o.s.onWriteClicked();
        QCOMPARE(o.s.boxColor(44), kOrange);
        QCOMPARE(o.s.boxColor(0), kOrange);
        QCOMPARE(o.s.boxColor(43), kWhite);
        QCOMPARE(o.s.statusText(), QString("format error!"));
        QVERIFY(o.f.takeWritten().isEmpty());
    }

    void duplicateTestGoesByValue() {
        Opened o;
        o.fill();
        o.s.codeBoxes[3]->setText("1A");
        o.s.codeBoxes[70]->setText("1a");
        o.s.codeBoxes[9]->setText("5");
        o.s.codeBoxes[10]->setText("05");
        o.s.codeBoxes[0]->setText(o.text(20)); // custom code = a data code
        o.s.onWriteClicked();
        for (int k : {3, 70, 9, 10})
            QCOMPARE(o.s.boxColor(k), kGreen);
        for (int k : {0, 20, 1, 80})
            QCOMPARE(o.s.boxColor(k), kWhite);
        QCOMPARE(o.s.statusText(), QString("the same code!"));
        QVERIFY(o.f.takeWritten().isEmpty());
    }

    void bothErrorsEndWithTheSameCode() {
        Opened o;
        o.fill();
        o.s.codeBoxes[5]->clear();
        o.s.codeBoxes[6]->setText(o.text(7));
        o.s.onWriteClicked();
        QCOMPARE(o.s.boxColor(5), kOrange);
        QCOMPARE(o.s.boxColor(6), kGreen);
        QCOMPARE(o.s.boxColor(7), kGreen);
        QCOMPARE(o.s.statusText(), QString("the same code!"));
        QVERIFY(o.f.takeWritten().isEmpty());
    }

    void aValidTableSendsOnlyTheFirstEntry() {
        Opened o;
        o.fill();
        o.s.codeBoxes[0]->setText("5");
        o.s.onWriteClicked();
        QCOMPARE(o.f.takeWritten(), QByteArray("wic 0 5\r\n"));
        QVERIFY(o.s.run().lastRunWrote());
        QCOMPARE(o.f.form->device().irCodes().currentEntry(), 0);
        QVERIFY(o.s.run().runInProgress());
    }

    void readRun() {
        Opened o;
        o.fill();
        o.s.setBoxColor(4, kGreen);
        o.s.onReadClicked();
        QCOMPARE(o.s.boxColor(4), kWhite);
        QVERIFY(o.text(4).isEmpty());
        QVERIFY(!o.s.run().lastRunWrote());
        for (int e = 0; e <= 80; ++e) {
            QCOMPARE(o.f.takeWritten(), line("ric " + hex(e)));
            o.f.receive(line("rok " + hex2(0xFF - e)));
            QCOMPARE(o.text(e), hex2(0xFF - e));
            if (e < 80) {
                QCOMPARE(o.s.progressBar->value(), e);
                QCOMPARE(o.s.statusText(), QString("Reading"));
            }
        }
        // The run is judged once no further answer follows.
        QCOMPARE(o.s.statusText(), QString("Reading"));
        o.f.advance(ir::IrCodeRun::kSettleMs);
        QCOMPARE(o.s.statusText(), QString("Read OK!"));
        QVERIFY(o.f.takeWritten().isEmpty());
        QVERIFY(!o.s.run().runInProgress());
        // No time-out follows a finished run.
        o.f.advance(5000);
        QCOMPARE(o.s.statusText(), QString("Read OK!"));
        // A late answer does not touch the table any more.
        o.f.receive("rok 11\r\n");
        QCOMPARE(o.text(80), hex2(0xFF - 80));
        QVERIFY(o.f.takeWritten().isEmpty());
    }

    // The progress bar repaints at once when its value changes; the device
    // need not wait for that, so the next command is on the line first.
    void eachNextCommandGoesOutBeforeTheProgressShows() {
        Opened o;
        o.fill();
        QByteArrayList writtenWhenShown;
        connect(o.s.progressBar, &QProgressBar::valueChanged, this,
                [&] { writtenWhenShown << o.f.port().written; });
        o.s.onWriteClicked();
        for (int e = 0; e <= 80; ++e) {
            o.f.takeWritten();
            o.f.receive("wok\r\n");
        }
        for (int e = 0; e <= 2; ++e) {
            o.f.takeWritten();
            o.f.receive(line("rok " + o.text(e)));
        }
        // Value 0 at the first write is no change; then 1..79 while writing,
        // 0, 1, 2 while checking.
        QCOMPARE(writtenWhenShown.size(), 79 + 3);
        QCOMPARE(writtenWhenShown.first(), line("wic 2 " + o.text(2)));
        QCOMPARE(writtenWhenShown.value(78), line("wic 50 " + o.text(80)));
        QCOMPARE(writtenWhenShown.value(79), line("ric 1"));
        QCOMPARE(writtenWhenShown.value(81), line("ric 3"));
    }

    void writeRunWritesChecksAndSaves() {
        Opened o;
        o.fill();
        o.s.codeBoxes[7]->setText("1c");
        o.s.codeBoxes[9]->setText("5");
        o.s.onWriteClicked();
        for (int e = 0; e <= 80; ++e) {
            QCOMPARE(o.f.takeWritten(), line("wic " + hex(e) + " " + o.text(e)));
            o.f.receive("wok\r\n");
            if (e < 80) {
                QCOMPARE(o.s.progressBar->value(), e);
                QCOMPARE(o.s.statusText(), QString("Writing"));
            }
        }
        QCOMPARE(o.f.form->device().irCodes().currentEntry(), 0);
        for (int e = 0; e <= 80; ++e) {
            QCOMPARE(o.f.takeWritten(), line("ric " + hex(e)));
            // The device answers two upper-case digits: "1C" for "1c", "05"
            // for "5".
            o.f.receive(line("rok " + o.text(e).toUpper().rightJustified(2, '0')));
            if (e < 80)
                QCOMPARE(o.s.statusText(), QString("Write Checking!"));
        }
        QCOMPARE(o.s.statusText(), QString("Write OK!"));
        QCOMPARE(o.f.takeWritten(), QByteArray("sav\r\n"));
        QCOMPARE(o.f.form->device().irCodes().currentEntry(), 81);
        o.f.receive("rok A5\r\nwok\r\n");
        QVERIFY(o.f.takeWritten().isEmpty());
        QCOMPARE(o.s.statusText(), QString("Write OK!"));
    }

    void aMismatchStopsTheWrite() {
        Opened o;
        o.fill();
        o.s.onWriteClicked();
        o.f.receive(QByteArray("wok\r\n").repeated(81)); // every entry written: the check
        o.f.takeWritten();
        o.f.receive(line("rok " + o.text(0)));
        o.f.receive(line("rok " + o.text(1)));
        o.f.receive("rok 00\r\n"); // entry 2 came back wrong
        QCOMPARE(o.s.statusText(), QString("Write error!"));
        QCOMPARE(o.f.takeWritten(), QByteArray("ric 1\r\nric 2\r\n"));
        QVERIFY(!o.s.run().runInProgress());
        o.f.receive(line("rok " + o.text(2)));
        o.f.advance(2000);
        QVERIFY(o.f.takeWritten().isEmpty());
        QCOMPARE(o.s.statusText(), QString("Write error!"));
    }

    void aMismatchOnTheLastEntrySavesNothing() {
        Opened o;
        o.fill();
        o.s.onWriteClicked();
        o.f.receive(QByteArray("wok\r\n").repeated(81));
        for (int k = 0; k < 80; ++k)
            o.f.receive(line("rok " + o.text(k)));
        o.f.takeWritten();
        o.f.receive("rok 00\r\n");
        QCOMPARE(o.s.statusText(), QString("Write error!"));
        QVERIFY(o.f.takeWritten().isEmpty());
    }

    void aStalledRunTimesOut() {
        Opened o;
        o.s.onReadClicked();
        o.f.receive("rok 01\r\n");
        // Each command gives the device a fresh second.
        o.f.advance(900);
        o.f.receive("rok 02\r\n");
        o.f.advance(900);
        QCOMPARE(o.s.statusText(), QString("Reading"));
        QCOMPARE(o.f.takeWritten(), QByteArray("ric 0\r\nric 1\r\nric 2\r\n"));
        o.f.advance(100);
        QCOMPARE(o.s.statusText(), QString("Time Out!"));
        QVERIFY(!o.s.run().runInProgress());
        // The late answer neither fills a box nor restarts the run.
        o.f.receive("rok 03\r\n");
        QVERIFY(o.text(2).isEmpty());
        QVERIFY(o.f.takeWritten().isEmpty());
        QCOMPARE(o.s.statusText(), QString("Time Out!"));
        QVERIFY(o.f.dialogs().messages.isEmpty());
    }

    void aStalledWriteTimesOutAndLateRepliesAreIgnored() {
        Opened o;
        o.fill();
        o.s.onWriteClicked();
        o.f.receive("wok\r\n");
        o.f.advance(1000);
        QCOMPARE(o.s.statusText(), QString("Time Out!"));
        o.f.takeWritten();
        o.f.receive("wok\r\nrok A5\r\n");
        QVERIFY(o.f.takeWritten().isEmpty());
        QCOMPARE(o.s.statusText(), QString("Time Out!"));
        // A new run starts normally.
        o.s.onReadClicked();
        QCOMPARE(o.f.takeWritten(), QByteArray("ric 0\r\n"));
        o.f.receive("rok A5\r\n");
        QCOMPARE(o.f.takeWritten(), QByteArray("ric 1\r\n"));
    }

    void readingDuringAWriteRestartsAsARead() {
        Opened o;
        o.fill();
        o.s.onWriteClicked();
        o.f.receive("wok\r\nwok\r\n");
        o.s.onReadClicked();
        QCOMPARE(o.f.form->device().irCodes().currentEntry(), 0);
        QVERIFY(!o.s.run().lastRunWrote());
        o.f.takeWritten();
        o.f.receive("rok 33\r\n");
        QCOMPARE(o.text(0), QString("33"));
        QCOMPARE(o.f.takeWritten(), QByteArray("ric 1\r\n"));
    }

    void aClosedPortStartsNoRun() {
        Opened o;
        o.fill();
        o.f.port().pullPlug();
        o.s.onReadClicked();
        QCOMPARE(o.f.dialogs().last(),
                 (platform::FakeDialogs::Message{"open serial port fail\uFF01 ", "ERROR"}));
        QCOMPARE(o.text(5), hex2(0x85)); // the table is kept
        QVERIFY(!o.s.run().runInProgress());
        o.s.onWriteClicked();
        QCOMPARE(o.f.dialogs().messages.size(), 2);
        QCOMPARE(o.f.dialogs().last().title, QString("ERROR"));
        QVERIFY(!o.s.run().runInProgress());
        o.f.advance(2000);
        QVERIFY(o.s.statusText().isEmpty());
    }

    void aFailedWriteDuringARunEndsIt() {
        Opened o;
        o.s.onReadClicked();
        o.f.takeWritten();
        o.f.port().refuseWrite = true;
        o.f.receive("rok 01\r\n");
        QCOMPARE(o.f.dialogs().last().text, QString("open serial port fail\uFF01 "));
        QVERIFY(!o.s.run().runInProgress());
        o.f.port().refuseWrite = false;
        o.f.receive("rok 02\r\n");
        QVERIFY(o.f.takeWritten().isEmpty());
    }

    void learnedCodesFillTheFocusedBox() {
        Opened o;
        o.f.receive("rir 12 34\r\n");
        QCOMPARE(o.s.receivedCustomCode->text(), QString("12"));
        QCOMPARE(o.s.receivedDataCode->text(), QString("34"));
        QCOMPARE(o.text(0), QString("12"));
        QCOMPARE(o.text(1), QString("34"));
        QCOMPARE(o.s.run().learnTarget(), 2);
        o.focus(40);
        o.s.setBoxColor(41, kOrange);
        o.f.receive("rir 12 9a\r\n");
        QCOMPARE(o.text(40), QString("9a"));
        QCOMPARE(o.s.run().learnTarget(), 41);
        QCOMPARE(o.s.boxColor(41), kWhite); // focused next
        o.focus(0);
        o.f.receive("rir 12 07\r\n");
        QCOMPARE(o.text(1), QString("07"));
        QCOMPARE(o.text(0), QString("12"));
        QVERIFY(o.f.takeWritten().isEmpty());
    }

    void theLastBoxKeepsTheFocus() {
        Opened o;
        o.s.run().learnInto(80);
        o.f.receive("rir 00 55\r\nrir 00 66\r\n");
        QCOMPARE(o.text(80), QString("66"));
        QVERIFY(o.text(79).isEmpty());
        QCOMPARE(o.s.run().learnTarget(), 80);
    }

    void learnedCodesDuringARunLeaveItGoing() {
        Opened o;
        o.s.onReadClicked();
        o.f.receive("rok 01\r\nrir 0F 44\r\nrok 02\r\n");
        QCOMPARE(o.f.takeWritten(), QByteArray("ric 0\r\nric 1\r\nric 2\r\n"));
        QCOMPARE(o.s.receivedDataCode->text(), QString("44"));
    }

    void modeEchoes() {
        FormFixture f;
        f.form->onIrCodesClicked();
        IrCodesWindow& s = f.form->irCodesWindow();
        QCOMPARE(f.takeWritten(), QByteArray("bc \r\nirm\r\n"));
        f.receive("irm\r\n");
        f.advance(2500);
        QVERIFY(f.dialogs().messages.isEmpty()); // watchdog stopped
        f.receive("iro\r\n");
        QCOMPARE(f.dialogs().last(),
                 (platform::FakeDialogs::Message{"Device quit IR Set mode!", "TARVIK-QE7"}));
        QVERIFY(!s.isVisible());
        QCOMPARE(f.form->modes().isOn(protocol::Mode::Ir), false);
        QCOMPARE(f.takeWritten(), QByteArray("iro\r\n"));
    }

    void reopeningStartsClean() {
        Opened o;
        o.fill();
        o.s.onWriteClicked();
        o.s.setBoxColor(3, kGreen);
        o.focus(30);
        o.f.receive("rir 01 02\r\n");
        o.s.close();
        QVERIFY(!o.s.run().awaitingAnswer());
        QVERIFY(!o.s.run().runInProgress());
        o.f.form->onIrCodesClicked();
        QVERIFY(o.s.isVisible());
        QCOMPARE(o.s.run().learnTarget(), 1);
        QVERIFY(o.s.run().lastRunWrote()); // kept while closed
        for (int k = 0; k < 81; ++k) {
            QVERIFY(o.text(k).isEmpty());
            QCOMPARE(o.s.boxColor(k), kWhite);
        }
        QVERIFY(o.s.receivedCustomCode->text().isEmpty());
        QVERIFY(o.s.statusText().isEmpty());
        QCOMPARE(o.s.progressBar->value(), 0);
        o.f.receive("rir 01 02\r\n");
        QCOMPARE(o.text(1), QString("02"));
    }
};

QTEST_MAIN(IrCodesWindowTest)
#include "test_ir_codes_window.moc"

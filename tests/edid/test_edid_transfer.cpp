// EDID transfers end to end: the real program core and the real serial port
// against the simulated switcher over a pseudo-terminal.

#include "frontends/windows/edid/edid_window.h"
#include "frontends/windows/edid/hex_view.h"
#include "tests/edid/edid_test_util.h"
#include "tests/support/sim_harness.h"

#include <QEventLoop>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace edidtest;
using Msg = platform::FakeDialogs::Message;

namespace {

constexpr int kTransferMs = 30000;

sim::EdidState::Image simImage(const edid::Image& m) {
    sim::EdidState::Image s;
    std::copy(m.begin(), m.end(), s.begin());
    return s;
}

// Another valid image: the sample with a different product code.
edid::Image otherImage() {
    edid::Image m = sampleImage();
    m[10] = 0x5A;
    m[11] = 0xC3;
    edid::setChecksums(m);
    return m;
}

// Opens the EDID window and waits for the device to confirm EDID mode.
bool openWindow(SimHarness& h) {
    h.form->onEdidClicked();
    return h.waitFor([&] { return !h.form->modes().awaitingEcho(); });
}

// Runs the event loop until the window shows the status text. Unlike a
// polling wait this wakes on every status change, so a transfer of hundreds
// of round trips runs at the speed of the link.
bool statusIs(SimHarness& h, const QString& text) {
    EdidWindow& w = h.form->edidWindow();
    if (w.statusText() == text)
        return true;
    QEventLoop loop;
    QObject::connect(&w, &EdidWindow::statusChanged, &loop, [&](const QString& s) {
        if (s == text)
            loop.quit();
    });
    QTimer::singleShot(kTransferMs, &loop, &QEventLoop::quit);
    loop.exec();
    return w.statusText() == text;
}

} // namespace

class EdidTransferTest : public QObject {
    Q_OBJECT

private slots:
    void aReadShowsAll256BytesOfTheChosenInput() {
        SimHarness h;
        QVERIFY(h.ok);
        const edid::Image m = otherImage();
        h.device.edid.images[2] = simImage(m);
        QVERIFY(openWindow(h));
        EdidWindow& w = h.form->edidWindow();
        w.portChoices[2]->click();
        w.readButton->click();
        QVERIFY(statusIs(h, "Read EDID OK!"));
        QCOMPARE(w.hexView->text(), readForm(m));
        QCOMPARE(h.received.value(1), QByteArray("edm"));
        QCOMPARE(h.received.value(2), QByteArray("swe 2 1"));
        QCOMPARE(h.received.value(3), QByteArray("red 0 "));
        QCOMPARE(h.received.last(), QByteArray("red FF "));
        QCOMPARE(h.received.size(), 3 + 256);
        QVERIFY(h.dialogs().messages.isEmpty());
        QCOMPARE(w.transfer().reading(), false);
        QVERIFY(!w.transfer().awaitingAnswer());
    }

    void aDownloadIsVerifiedAndStored() {
        SimHarness h;
        QVERIFY(h.ok);
        const edid::Image m = otherImage();
        QVERIFY(openWindow(h));
        EdidWindow& w = h.form->edidWindow();
        w.portChoices[6]->click();
        w.hexView->setText(edid::writtenForm(m));
        w.downloadButton->click();
        QVERIFY(statusIs(h, "Download OK!"));
        QCOMPARE(h.device.edid.images[6], simImage(m));
        QCOMPARE(h.device.edid.images[5], simImage(sampleImage()));
        QCOMPARE(w.hexView->text(), readForm(m));
        const qsizetype verify = h.received.indexOf("swe 6 1");
        QVERIFY(verify > 0);
        QCOMPARE(h.received.value(verify - 1), "wed FF " + hexByte(m[255]).toLatin1());
        QCOMPARE(h.received.value(2), QByteArray("swe 6 0"));
        QVERIFY(h.dialogs().messages.isEmpty());
    }

    void aCorruptedByteFailsTheVerification() {
        SimHarness h;
        QVERIFY(h.ok);
        h.device.edid.corruptAt = 60;
        QVERIFY(openWindow(h));
        EdidWindow& w = h.form->edidWindow();
        w.hexView->setText(edid::writtenForm(otherImage()));
        w.downloadButton->click();
        QVERIFY(statusIs(h, "Verify EDID ERR!"));
        QCOMPARE(h.dialogs().messages, (QList<Msg>{{"Verify EDID ERR!", kAppTitle}}));
    }

    void lowerCaseAnswersStillVerify() {
        SimHarness h;
        QVERIFY(h.ok);
        h.device.edid.lowerCase = true;
        QVERIFY(openWindow(h));
        EdidWindow& w = h.form->edidWindow();
        // Cells typed in lower case, answers in lower case: the values agree.
        w.hexView->setText(edid::writtenForm(otherImage()).toLower());
        w.downloadButton->click();
        QVERIFY(statusIs(h, "Download OK!"));
        QCOMPARE(w.hexView->text(), readForm(otherImage(), true));
        QVERIFY(h.dialogs().messages.isEmpty());
    }

    void anErrorAnswerEndsADownload() {
        SimHarness h;
        QVERIFY(h.ok);
        h.device.edid.errorAt = 30;
        QVERIFY(openWindow(h));
        EdidWindow& w = h.form->edidWindow();
        w.hexView->setText(edid::writtenForm(otherImage()));
        w.downloadButton->click();
        QVERIFY(statusIs(h, "DownLoad Err!"));
        QCOMPARE(h.received.last(), "wed 1E " + hexByte(otherImage()[30]).toLatin1());
        QCOMPARE(h.device.edid.images[0], simImage(sampleImage()));
    }
};

QTEST_MAIN(EdidTransferTest)
#include "test_edid_transfer.moc"

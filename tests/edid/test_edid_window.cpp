// The EDID window on the fake platform: layout, files, check, the exact
// transfer commands, and every reply-driven step with hand-made replies on a
// hand-driven clock.

#include "core/edid/decode/edid_text.h"
#include "core/edid/edid_transfer.h"
#include "core/files/edid_file.h"
#include "frontends/windows/edid/decoded_pane.h"
#include "frontends/windows/edid/edid_window.h"
#include "frontends/windows/edid/edit_panel.h"
#include "frontends/windows/edid/hex_view.h"
#include "frontends/windows/edid/view_text.h"
#include "tests/edid/edid_test_util.h"
#include "tests/support/form_fixture.h"

#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QUndoStack>

using namespace edidtest;
using Msg = platform::FakeDialogs::Message;

namespace {

// A main window on the fake platform with the EDID window open and the
// device's "edm" echo received.
struct EdidFixture {
    EdidFixture() : w(f.form->edidWindow()) { open(); }

    void open() {
        f.takeWritten();
        f.form->onEdidClicked();
        f.receive("edm\r\n");
        f.takeWritten();
    }
    // One device line, CR LF added.
    void reply(const QByteArray& line) { f.receive(line + "\r\n"); }
    void replyTimes(const QByteArray& line, int n) {
        for (int i = 0; i < n; ++i)
            reply(line);
    }
    // The last command line written since the last call, CR LF included.
    QByteArray lastLine() {
        const QByteArray all = f.takeWritten();
        const qsizetype prev = all.lastIndexOf("\r\n", all.size() - 3);
        return prev < 0 ? all : all.mid(prev + 2);
    }
    QList<Msg>& messages() { return f.dialogs().messages; }
    void load(const QString& path) {
        f.dialogs().fileAnswers << path;
        w.openButton->click();
    }
    QString path(const QString& name) const { return f.dir.filePath(name); }
    QString decoded() const { return w.decodedPane->toPlainText(); }

    FormFixture f;
    EdidWindow& w;
};

QString decodedOf(const edid::Image& m) {
    return edid::decodedText(edid::decodeEdid(m));
}

} // namespace

class EdidWindowTest : public QObject {
    Q_OBJECT

    // Answers a running download and its verification read: the device
    // returns image m for the read-back.
    static void answerDownload(EdidFixture& x, const edid::Image& m, bool lower = false) {
        x.reply("rdy");
        x.replyTimes("ok", 256);
        x.reply("rdy");
        for (int i = 0; i < 256; ++i)
            x.reply("ok " + hexByte(m[i], lower).toLatin1());
    }

private slots:
    void layoutAndOpeningState() {
        EdidFixture x;
        EdidWindow& w = x.w;
        QVERIFY(w.isVisible());
        QCOMPARE(x.f.form->modes().isOn(protocol::Mode::Edid), true);
        QVERIFY(!x.f.form->modes().awaitingEcho());
        QCOMPARE(w.windowTitle(), QString("EDID Set"));
        QCOMPARE(w.portGroup->title(), QString("Port Select"));
        for (int k = 0; k < 8; ++k)
            QCOMPARE(w.portChoices[k]->text(), QString::number(k + 1));
        QVERIFY(w.portChoices[0]->isChecked());
        QCOMPARE(w.openButton->text(), QString("Open EDID"));
        QCOMPARE(w.downloadButton->text(), QString("Download"));
        QCOMPARE(w.readButton->text(), QString("Read EDID"));
        QCOMPARE(w.saveAsButton->text(), QString("Save as"));
        QCOMPARE(w.progressBar->minimum(), 0);
        QCOMPARE(w.progressBar->maximum(), 256);
        QCOMPARE(w.progressStartLabel->text(), QString("0%"));
        QCOMPARE(w.progressEndLabel->text(), QString("100%"));
        QCOMPARE(w.columnHeadingsLabel->text(),
                 QString("00  01  02  03  04  05  06  07  08  09  0A  0B  0C  0D  0E  0F"));
        QCOMPARE(w.rowHeadingsLabel->text().split('\n'),
                 (QStringList{"00", "10", "20", "30", "40", "50", "60", "70", "80", "90", "A0",
                              "B0", "C0", "D0", "E0", "F0"}));
        QCOMPARE(w.columnHeadingsLabel->font(), w.hexView->font());
        QCOMPARE(w.hexView->font(), edid::hexViewFont());
        QVERIFY(!w.hexView->isReadOnly());
        QVERIFY(!w.transfer().awaitingAnswer());
        QCOMPARE(w.transfer().input(), 0);
        QCOMPARE(w.view().cursorCell, std::int16_t(1));
        QCOMPARE(w.transfer().downloading(), false);
        QVERIFY(w.hexView->text().isEmpty());
        QVERIFY(x.messages().isEmpty());
    }

    void portChoiceGoesIntoTheOpeningCommand() {
        EdidFixture x;
        x.w.portChoices[2]->click();
        QCOMPARE(x.w.transfer().input(), 2);
        x.w.hexView->setText("stale");
        x.w.readButton->click();
        QCOMPARE(x.f.takeWritten(), QByteArray("swe 2 1\r\n"));
        QVERIFY(x.w.hexView->text().isEmpty());
        QCOMPARE(x.w.statusText(), QString("EDID Readding... "));
        QCOMPARE(x.w.transfer().reading(), true);
        QVERIFY(x.w.transfer().awaitingAnswer());
        x.w.portChoices[7]->click();
        x.w.downloadButton->click();
        QCOMPARE(x.f.takeWritten(), QByteArray("swe 7 0\r\n"));
        QCOMPARE(x.w.statusText(), QString("EDID Download... "));
        QCOMPARE(x.w.transfer().downloading(), true);
    }

    void loadingShowsTheWrittenForm() {
        EdidFixture x;
        const edid::Image m = sampleImage();
        QVERIFY(writeFile(x.path("full.bin"), bytesOf(m)));
        x.load(x.path("full.bin"));
        QCOMPARE(
            x.f.dialogs().filters,
            QStringList{"EDID(*.bin)|*.bin;;EDID dump(*.txt *.hex)|*.txt *.hex;;All files(*)|*"});
        QCOMPARE(x.w.hexView->text(), edid::writtenForm(m));
        QCOMPARE(x.w.statusText(), QString("Open EDID "));
        QVERIFY(x.messages().isEmpty());

        // A single-block file and a longer file load cleanly too.
        edid::Image half = m;
        std::fill(half.begin() + 128, half.end(), std::uint8_t(0));
        QVERIFY(writeFile(x.path("half.bin"), bytesOf(m).left(128)));
        x.load(x.path("half.bin"));
        QCOMPARE(x.w.hexView->text(), edid::writtenForm(half));
        QVERIFY(x.w.hexView->text().endsWith("00  00  \r\n"));
        QVERIFY(writeFile(x.path("long.bin"), bytesOf(m) + QByteArray(100, '\x11')));
        x.load(x.path("long.bin"));
        QCOMPARE(x.w.hexView->text(), edid::writtenForm(m));
        QVERIFY(x.messages().isEmpty());
        QCOMPARE(x.w.statusText(), QString("Open EDID "));
    }

    void loadingReportsBadImagesAndStillShowsThem_data() {
        QTest::addColumn<int>("flip"); // byte changed by one, -1: all zero
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("status");
        QTest::newRow("all zero") << -1 << "EDID format error!"
                                  << "EDID error!";
        QTest::newRow("header") << 3 << "EDID format error!"
                                << "EDID error!";
        QTest::newRow("first block") << 40 << "EDID CheckSum error!"
                                     << "CheckSum error!";
        QTest::newRow("second block") << 200 << "EDID CheckSum error!"
                                      << "CheckSum error!";
    }
    void loadingReportsBadImagesAndStillShowsThem() {
        QFETCH(int, flip);
        QFETCH(QString, text);
        QFETCH(QString, status);
        EdidFixture x;
        edid::Image m{};
        if (flip >= 0) {
            m = sampleImage();
            m[flip] += 1;
        }
        QVERIFY(writeFile(x.path("bad.bin"), bytesOf(m)));
        x.load(x.path("bad.bin"));
        QCOMPARE(x.messages(), (QList<Msg>{{text, "TARVIK-QE7"}}));
        QCOMPARE(x.w.statusText(), status);
        QCOMPARE(x.w.hexView->text(), edid::writtenForm(m));
    }

    void blocksThatCancelEachOtherStillFail() {
        EdidFixture x;
        edid::Image m = sampleImage();
        m[127] += 1;
        m[255] -= 1;
        QVERIFY(writeFile(x.path("both.bin"), bytesOf(m)));
        x.load(x.path("both.bin"));
        QCOMPARE(x.messages(), (QList<Msg>{{"EDID CheckSum error!", "TARVIK-QE7"}}));
    }

    void unreadableFilesActAsCancel_data() {
        QTest::addColumn<QString>("answer");
        QTest::newRow("cancel") << QString();
        QTest::newRow("missing") << QString("missing.bin");
        QTest::newRow("directory") << QString("folder");
    }
    void unreadableFilesActAsCancel() {
        QFETCH(QString, answer);
        EdidFixture x;
        QVERIFY(QDir(x.f.dir.path()).mkdir("folder"));
        x.w.hexView->setText("00  11  ");
        x.w.setStatus("before");
        x.f.dialogs().fileAnswers << (answer.isEmpty() ? QString() : x.path(answer));
        x.w.openButton->click();
        QVERIFY(x.w.hexView->text().isEmpty());
        QCOMPARE(x.w.statusText(), QString("Open EDID "));
        QVERIFY(x.messages().isEmpty());
        QVERIFY(!QFileInfo::exists(x.path("missing.bin")));
    }

    void savingWritesTheViewAsExactly256Bytes() {
        EdidFixture x;
        const edid::Image m = sampleImage();
        x.w.hexView->setText(edid::writtenForm(m).toLower());
        QVERIFY(writeFile(x.path("old.bin"), QByteArray(300, '\x33')));
        x.f.dialogs().fileAnswers << x.path("old.bin");
        x.w.saveAsButton->click();
        QCOMPARE(x.f.dialogs().filters, QStringList{"EDID(*.bin)|*.bin"});
        QCOMPARE(readFile(x.path("old.bin")), bytesOf(m));
        QCOMPARE(x.w.statusText(), QString("Save done!"));
        QCOMPARE(x.w.view().cursorCell, std::int16_t(257 + 15 + 255));

        // An empty view saves 256 zero bytes; no test is made on save.
        x.w.hexView->clear();
        x.f.dialogs().fileAnswers << x.path("zero");
        x.w.saveAsButton->click();
        QCOMPARE(readFile(x.path("zero")), QByteArray(256, '\0'));
        QVERIFY(x.messages().isEmpty());

        // Cancel: nothing happens.
        x.w.setStatus("before");
        x.w.saveAsButton->click();
        QCOMPARE(x.w.statusText(), QString("before"));
    }

    void aFailedSaveSaysWhyAndKeepsTheOldFile() {
        EdidFixture x;
        x.w.hexView->setText(edid::writtenForm(sampleImage()));
        x.w.setStatus("before");
        const QString nowhere = x.path("no/such/dir/x.bin");
        x.f.dialogs().fileAnswers << nowhere;
        x.w.saveAsButton->click();
        QVERIFY(x.f.dialogs().last().text.startsWith("Cannot save " + nowhere + ": "));
        QVERIFY(x.messages()[0].text.size() > QString("Cannot save " + nowhere + ": ").size());
        QCOMPARE(x.messages()[0].title, kAppTitle);
        QCOMPARE(x.w.statusText(), QString("before"));

        const QByteArray old(300, '\x44');
        QVERIFY(writeFile(x.path("old.bin"), old));
        x.f.dialogs().fileAnswers << x.path("old.bin");
        {
            FileSizeLimit limit;
            QVERIFY(limit.ok());
            x.w.saveAsButton->click();
        }
        QCOMPARE(x.messages().size(), 2);
        QVERIFY(x.messages()[1].text.startsWith("Cannot save "));
        QCOMPARE(readFile(x.path("old.bin")), old);
        QCOMPARE(x.w.statusText(), QString("before"));
    }

    void openingADumpOrATextWithoutOne() {
        EdidFixture x;
        QVERIFY(writeFile(x.path("dump.txt"), bytesOf(sampleImage()).toHex(' ')));
        QVERIFY(writeFile(x.path("bad.txt"), "hello\n"));
        x.load(x.path("dump.txt"));
        x.w.setStatus("before");
        x.load(x.path("bad.txt"));
        // The dump's image and the status come back, and the box says why.
        QCOMPARE(x.w.hexView->text(), edid::writtenForm(sampleImage()));
        QCOMPARE(x.w.statusText(), QString("before"));
        const QString why =
            " holds no EDID dump: line 1, column 1: 'h' is not a hexadecimal digit.";
        QCOMPARE(x.messages(), (QList<Msg>{{x.path("bad.txt") + why, "TARVIK-QE7"}}));
        QCOMPARE(x.decoded(), decodedOf(sampleImage()));
    }

    // Edited or read: the pane shows the image the view ends with, before
    // any box about it.
    void theDecodedPaneFollowsTheImage_data() {
        QTest::addColumn<bool>("read"); // else an edit
        QTest::addColumn<bool>("badChecksum");
        QTest::newRow("edit") << false << false;
        QTest::newRow("read, bad checksum") << true << true;
        QTest::newRow("read") << true << false;
    }
    void theDecodedPaneFollowsTheImage() {
        QFETCH(bool, read);
        QFETCH(bool, badChecksum);
        EdidFixture x;
        QStringList atBox;
        x.f.dialogs().whileOpen = [&](const Msg&) { atBox << x.decoded(); };
        QVERIFY(x.decoded().isEmpty() && !x.w.exportButton->isEnabled());
        edid::Image m = sampleImage();
        m[255] ^= badChecksum ? 1 : 0;
        if (!read) {
            m[16] = 13;
            x.w.hexView->setText(edid::writtenForm(m));
        } else {
            x.w.readButton->click();
            x.reply("rdy");
            for (int i = 0; i < 256; ++i)
                x.reply("ok " + hexByte(m[i]).toLatin1());
            QVERIFY(x.decoded().isEmpty()); // not judged yet
            x.f.advance(edid::EdidTransfer::kSettleMs);
        }
        QCOMPARE(x.decoded(), decodedOf(m));
        QCOMPARE(atBox, badChecksum ? QStringList{decodedOf(m)} : QStringList{});
        // The summary and the findings stand out: only their lines carry formats.
        for (QTextBlock b = x.w.decodedPane->document()->begin(); b.isValid(); b = b.next())
            QCOMPARE(!b.layout()->formats().isEmpty(),
                     b.blockNumber() == 0 || b.text().startsWith("! "));
        // So does the edit panel (stereo audio chosen), and the cells the
        // edit would change are framed.
        const edid::EditPanel& p = *x.w.editPanel;
        QVERIFY2(p.previewText().startsWith("Changes") && p.ApplyBtn->isEnabled(),
                 qPrintable(p.previewText()));
        const edid::Image edited = *edid::applyEdit(m, edid::Edit(edid::Edit::Kind::Audio)).image;
        QStringList framed, changed;
        for (const auto& [from, to] : x.w.hexView->framedCells()) {
            QTextCursor c(x.w.hexView->document());
            c.setPosition(from);
            c.setPosition(to, QTextCursor::KeepAnchor);
            framed << c.selectedText();
        }
        for (int i = 0; i < 256; ++i)
            if (m[i] != edited[i])
                changed << hexByte(m[i]);
        QCOMPARE(framed, changed);
    }

    void exportWritesTheDecodedTextOrKeepsTheOldFile() {
        EdidFixture x;
        x.w.hexView->setText(edid::writtenForm(sampleImage()).toLower());
        x.f.dialogs().fileAnswers << x.path("new.txt") << x.path("new.txt");
        x.w.exportButton->click();
        QCOMPARE(readFile(x.path("new.txt")), decodedOf(sampleImage()).toUtf8());
        QCOMPARE(x.f.dialogs().filters, QStringList{"Decoded EDID(*.txt)|*.txt"});
        QCOMPARE(x.w.statusText(), QString("Export done!"));
        QCOMPARE(x.w.view().cursorCell, std::int16_t(1)); // the download's place stays
        {
            FileSizeLimit limit;
            QVERIFY(limit.ok());
            x.w.exportButton->click();
        }
        QVERIFY(x.f.dialogs().last().text.startsWith("Cannot save " + x.path("new.txt") + ": "));
        QCOMPARE(readFile(x.path("new.txt")), decodedOf(sampleImage()).toUtf8()); // not cut
    }

    void comparingWithAFile_data() {
        edid::Image other = sampleImage(); // made in another week (byte 16, 12 -> 13)
        other[16] = 13;
        edid::setChecksums(other);
        QTest::addColumn<QByteArray>("file");    // empty: no such file
        QTest::addColumn<QString>("shown");      // a comparison line, or the box (%1: the path)
        QTest::addColumn<QStringList>("marked"); // the cells marked in the dump
        QTest::newRow("same, as a dump")
            << bytesOf(sampleImage()).toHex(' ') << "The images are identical." << QStringList{};
        QTest::newRow("other week")
            << bytesOf(other) << "week: 12 -> 13" << QStringList{"0C", hexByte(sampleImage()[127])};
        QTest::newRow("missing") << QByteArray() << "Cannot read %1: No such file or directory"
                                 << QStringList{};
    }
    void comparingWithAFile() {
        QFETCH(QByteArray, file);
        QFETCH(QString, shown);
        QFETCH(QStringList, marked);
        const bool refused = shown.contains("%1");
        EdidFixture x;
        x.w.hexView->setText(edid::writtenForm(sampleImage()));
        const QString path = x.path("other");
        QVERIFY(file.isEmpty() || writeFile(path, file));
        x.f.dialogs().fileAnswers << path;
        x.w.compareButton->click();
        QCOMPARE(x.messages(),
                 refused ? (QList<Msg>{{shown.arg(path), kEdidFileTitle}}) : QList<Msg>());
        QCOMPARE(x.w.decodedTabs->isTabVisible(1), !refused);
        QStringList cells;
        for (const QTextEdit::ExtraSelection& s : x.w.hexView->extraSelections())
            cells << s.cursor.selectedText();
        QCOMPARE(cells, marked);
        if (refused)
            return;
        QVERIFY(x.w.comparisonPane->toPlainText().split('\n').contains(shown));
        // An edit compares again: the view now holds the file's image.
        x.w.hexView->setText(edid::writtenForm(*files::readEdidFile(path).image));
        QVERIFY(x.w.comparisonPane->toPlainText().contains("The images are identical."));
        QVERIFY(x.w.hexView->extraSelections().isEmpty());
    }

    void editsApplyAfterTheirPreviewAndUndo() {
        EdidFixture x;
        x.w.show();
        edid::EditPanel& p = *x.w.editPanel;
        for (QWidget* c : p.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            QVERIFY2(!c->isVisible() || !c->accessibleName().isEmpty() ||
                         c->focusPolicy() == Qt::NoFocus,
                     c->metaObject()->className());
        const edid::Image m = sampleImage();
        x.w.view().setText(edid::writtenForm(m));
        p.choose(0); // stereo
        QVERIFY2(p.previewText().startsWith("Changes"), qPrintable(p.previewText()));
        x.w.hexView->setPlainText(edid::writtenForm(m) + "0"); // typed after the preview
        const QString typed = x.w.view().text();
        p.ApplyBtn->click();
        QCOMPARE(x.w.view().text(), typed);
        p.ApplyBtn->click();
        int pos = 1;
        const edid::Image edited = edid::parseView(x.w.view().text(), pos);
        QCOMPARE(edid::decodeEdid(edited).cta.value(0).audio.size(), 1);
        QCOMPARE(x.decoded(), decodedOf(edited));
        QVERIFY(!p.ApplyBtn->isEnabled()); // applied twice: nothing changes
        x.w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&x.w));
        p.ApplyBtn->setFocus(); // the dump has an undo of its own for typing
        QTest::keyClick(&x.w, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(x.w.view().text(), typed);
        QTest::keyClick(&x.w, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(x.w.view().text(), edid::writtenForm(edited));
        x.w.view().setText(edid::writtenForm(m)); // a load: no step back from it
        QVERIFY(!p.undoStack()->canUndo());
        p.menu()->actions().last()->trigger(); // the last template
        p.ApplyBtn->click();
        pos = 1;
        QCOMPARE(edid::parseView(x.w.view().text(), pos),
                 *edid::buildTemplate(edid::templateNames().last()));
    }

    void checkReportsOnTheViewItHolds() {
        EdidFixture x;
        x.w.readButton->click();
        x.f.takeWritten();
        x.w.check();
        QCOMPARE(x.messages(), (QList<Msg>{{"EDID format error!", "TARVIK-5120-300"}}));
        QCOMPARE(x.w.statusText(), QString("EDID error!"));

        edid::Image m = sampleImage();
        m[255] ^= 0x10;
        x.w.hexView->setText(readForm(m));
        x.w.check();
        QCOMPARE(x.messages().last(), (Msg{"EDID CheckSum error!", "TARVIK-5120-300"}));
        QCOMPARE(x.w.statusText(), QString("CheckSum error!"));

        x.w.hexView->setText(readForm(sampleImage(), true));
        x.w.check();
        QCOMPARE(x.w.statusText(), QString("Read EDID OK!"));
        QCOMPARE(x.messages().size(), 2);
        QCOMPARE(x.w.transfer().reading(), true); // check changes no flag

        x.w.transfer().end();
        x.w.setStatus("before");
        x.w.check();
        QCOMPARE(x.w.statusText(), QString("before"));
    }

    void downloadSendsEachCellAsTheViewHoldsIt() {
        EdidFixture x;
        // An empty view: every command has nothing after the index.
        x.w.downloadButton->click();
        QCOMPARE(x.f.takeWritten(), QByteArray("swe 0 0\r\n"));
        x.reply("rdy");
        QCOMPARE(x.f.takeWritten(), QByteArray("wed 0 \r\n"));
        QVERIFY(x.w.transfer().awaitingAnswer());
        x.reply("ok ");
        QCOMPARE(x.f.takeWritten(), QByteArray("wed 1 \r\n"));

        // Byte 10 of a loaded file; cells typed in lower case or with a
        // blank go out as typed.
        const edid::Image m = sampleImage();
        QString text = edid::writtenForm(m);
        // Byte i of the written form starts at 4 i plus a CR LF per full row.
        text.replace(4 * 20 + 2, 2, "ab");
        text.replace(4 * 21 + 2, 2, "7 ");
        x.w.hexView->setText(text);
        x.w.downloadButton->click();
        x.reply("rdy");
        x.replyTimes("ok", 10);
        QCOMPARE(x.lastLine(), QByteArray("wed A 2B\r\n"));
        x.replyTimes("ok", 11);
        QByteArray all = x.f.takeWritten();
        QVERIFY(all.contains("wed 14 ab\r\n"));
        QVERIFY(all.endsWith("wed 15 7 \r\n"));
        QCOMPARE(x.w.progressBar->value(), 21);
        QCOMPARE(x.w.transfer().nextByte(), 22);
        x.replyTimes("ok", 234);
        QVERIFY(x.f.takeWritten().endsWith("wed FF " + hexByte(m[255]).toLatin1() + "\r\n"));
        QCOMPARE(x.w.transfer().sentByte(255), std::optional<std::uint8_t>(m[255]));
        QCOMPARE(x.w.progressBar->value(), 255);
        QCOMPARE(x.w.transfer().sentByte(20), std::optional<std::uint8_t>(0xAB));
        QCOMPARE(x.w.transfer().sentByte(21), std::optional<std::uint8_t>(7));
    }

    void theLastAcceptanceStartsTheVerificationRead() {
        EdidFixture x;
        x.w.portChoices[4]->click();
        x.w.hexView->setText(edid::writtenForm(sampleImage()));
        x.w.downloadButton->click();
        x.reply("rdy");
        x.replyTimes("ok", 256);
        QCOMPARE(x.lastLine(), QByteArray("swe 4 1\r\n"));
        QCOMPARE(x.w.transfer().verifying(), true);
        QCOMPARE(x.w.transfer().downloading(), false);
        QCOMPARE(x.w.transfer().reading(), true);
        QCOMPARE(x.w.transfer().nextByte(), 0);
        QCOMPARE(x.w.transfer().bytesShown(), 0);
        QVERIFY(x.w.hexView->text().isEmpty());
        QCOMPARE(x.w.statusText(), QString("EDID Verify... "));
        QVERIFY(x.w.transfer().awaitingAnswer());
        x.reply("rdy");
        QCOMPARE(x.f.takeWritten(), QByteArray("red 0 \r\n"));
    }

    void verificationComparesEveryByteValue_data() {
        QTest::addColumn<int>("differ"); // byte that comes back different, -1: none
        QTest::addColumn<bool>("lower");
        QTest::addColumn<QString>("status");
        QTest::newRow("same bytes") << -1 << false << "Download OK!";
        QTest::newRow("lower-case answers") << -1 << true << "Download OK!";
        QTest::newRow("byte 50 differs") << 50 << false << "Verify EDID ERR!";
        QTest::newRow("byte 127 differs") << 127 << false << "Verify EDID ERR!";
        QTest::newRow("byte 0 differs") << 0 << false << "Verify EDID ERR!";
    }
    void verificationComparesEveryByteValue() {
        QFETCH(int, differ);
        QFETCH(bool, lower);
        QFETCH(QString, status);
        EdidFixture x;
        const edid::Image m = sampleImage();
        x.w.hexView->setText(edid::writtenForm(m));
        x.w.downloadButton->click();
        edid::Image back = m;
        if (differ >= 0)
            back[differ] ^= 0x04;
        answerDownload(x, back, lower);
        QCOMPARE(x.w.statusText(), status);
        if (status == "Verify EDID ERR!")
            QCOMPARE(x.messages(), (QList<Msg>{{"Verify EDID ERR!", kAppTitle}}));
        else
            QVERIFY(x.messages().isEmpty());
        QCOMPARE(x.w.hexView->text(), readForm(back, lower));
        QCOMPARE(x.w.transfer().image(), back);
        QCOMPARE(x.w.transfer().verifying(), false);
        QCOMPARE(x.w.transfer().reading(), false);
        QCOMPARE(x.w.transfer().nextByte(), 0);
        QVERIFY(!x.w.transfer().awaitingAnswer());
        x.f.advance(5000);
        QCOMPARE(x.messages().size(), status == "Download OK!" ? 0 : 1);
    }

    void aByteThatIsNotTwoDigitsFailsTheVerification() {
        EdidFixture x;
        const edid::Image m = sampleImage();
        x.w.hexView->setText(edid::writtenForm(m));
        x.w.downloadButton->click();
        x.reply("rdy");
        x.replyTimes("ok", 256);
        x.reply("rdy");
        for (int i = 0; i < 256; ++i)
            x.reply("ok " + (i == 9 ? QByteArray("1") : hexByte(m[i]).toLatin1()));
        QCOMPARE(x.w.statusText(), QString("Verify EDID ERR!"));
    }

    void aReadFillsTheViewRowByRow() {
        EdidFixture x;
        const edid::Image m = sampleImage();
        x.w.readButton->click();
        x.f.takeWritten();
        x.reply("rdy");
        QCOMPARE(x.f.takeWritten(), QByteArray("red 0 \r\n"));
        for (int i = 0; i < 255; ++i)
            x.reply("ok " + hexByte(m[i]).toLatin1());
        QCOMPARE(x.w.transfer().bytesShown(), 255);
        QCOMPARE(x.lastLine(), QByteArray("red FF \r\n"));
        QCOMPARE(x.w.progressBar->value(), 255);
        x.reply("ok " + hexByte(m[255]).toLatin1());
        QCOMPARE(x.w.hexView->text(), readForm(m));
        QCOMPARE(x.w.statusText(), QString("EDID Readding... "));
        x.f.advance(edid::EdidTransfer::kSettleMs);
        QCOMPARE(x.w.statusText(), QString("Read EDID OK!"));
        QCOMPARE(x.w.transfer().reading(), false);
        QVERIFY(!x.w.transfer().awaitingAnswer());
        QVERIFY(x.f.takeWritten().isEmpty());
        x.f.advance(5000);
        QVERIFY(x.messages().isEmpty());
    }

    // The view lays appended text out at once; the device need not wait
    // for that, so the next request is on the line before the byte shows.
    void eachReadRequestGoesOutBeforeTheByteIsShown() {
        EdidFixture x;
        const edid::Image m = sampleImage();
        x.w.readButton->click();
        x.reply("rdy");
        x.f.takeWritten();
        QByteArrayList writtenWhenShown;
        connect(x.w.hexView->document(), &QTextDocument::contentsChanged, this,
                [&] { writtenWhenShown << x.f.port().written; });
        for (int i = 0; i < 3; ++i) {
            x.reply("ok " + hexByte(m[i]).toLatin1());
            QCOMPARE(writtenWhenShown.value(i),
                     "red " + QByteArray::number(i + 1, 16).toUpper() + " \r\n");
            x.f.takeWritten();
        }
        QCOMPARE(x.w.hexView->text(), readForm(m).left(12));
    }

    void readRetriesGiveUpAfterFiveFailuresAtOneByte() {
        EdidFixture x;
        x.w.readButton->click();
        x.reply("rdy");
        for (int i = 0; i < 10; ++i)
            x.reply("ok 00");
        x.f.takeWritten();
        for (int fail = 1; fail <= 4; ++fail) {
            x.reply("err");
            QCOMPARE(x.f.takeWritten(), QByteArray("red A \r\n"));
        }
        QCOMPARE(x.w.transfer().retryingByte(), 10);
        QCOMPARE(x.w.transfer().retries(), 3);
        QCOMPARE(x.w.transfer().reading(), true);
        x.reply("ok"); // without the blank: a failure too
        QCOMPARE(x.f.takeWritten(), QByteArray("red A \r\n"));
        QCOMPARE(x.w.statusText(), QString("Read EDID Err!"));
        QCOMPARE(x.w.transfer().reading(), false);
        QCOMPARE(x.w.transfer().verifying(), false);
        QVERIFY(!x.w.transfer().awaitingAnswer());
        // The answer to the last request changes nothing any more.
        x.reply("ok 00");
        QVERIFY(x.f.takeWritten().isEmpty());
        x.f.advance(3000);
        QVERIFY(x.messages().isEmpty());

        // The count is kept across reads: one more failure at byte 10 ends
        // the next read at once.
        x.w.readButton->click();
        x.reply("rdy");
        x.replyTimes("ok 00", 10);
        x.reply("edm");
        QCOMPARE(x.w.statusText(), QString("Read EDID Err!"));
    }

    void aNewFailurePositionRestartsTheCount() {
        EdidFixture x;
        x.w.readButton->click();
        x.reply("err"); // before "rdy": slave stays at 0
        QCOMPARE(x.w.transfer().nextByte(), 1);
        QCOMPARE(x.lastLine(), QByteArray("red 0 \r\n"));
        x.replyTimes("ok 00", 10);
        x.reply("err");
        QCOMPARE(x.w.transfer().retryingByte(), 10);
        QCOMPARE(x.w.transfer().retries(), 0);
        x.reply("err");
        QCOMPARE(x.w.transfer().retries(), 1);
        x.reply("ok 00");
        x.reply("err");
        QCOMPARE(x.w.transfer().retryingByte(), 11);
        QCOMPARE(x.w.transfer().retries(), 0);
        QCOMPARE(x.w.transfer().reading(), true);
        QCOMPARE(x.lastLine(), QByteArray("red B \r\n"));
    }

    void anUnexpectedLineEndsADownload() {
        EdidFixture x;
        x.w.downloadButton->click();
        x.reply("rdy");
        x.replyTimes("ok", 5);
        x.f.takeWritten();
        x.reply("err");
        QCOMPARE(x.w.statusText(), QString("DownLoad Err!"));
        QCOMPARE(x.w.transfer().downloading(), false);
        QVERIFY(!x.w.transfer().awaitingAnswer());
        QVERIFY(x.f.takeWritten().isEmpty());
        x.reply("ok");
        QVERIFY(x.f.takeWritten().isEmpty());
        x.f.advance(3000);
        QVERIFY(x.messages().isEmpty());
    }

    void aStallAtAnyByteTimesOut_data() {
        QTest::addColumn<bool>("download");
        QTest::addColumn<int>("answered");
        QTest::newRow("download, opening") << true << -1;
        QTest::newRow("download, byte 100") << true << 100;
        QTest::newRow("read, byte 100") << false << 100;
        QTest::newRow("verification opening") << true << 256;
    }
    void aStallAtAnyByteTimesOut() {
        QFETCH(bool, download);
        QFETCH(int, answered);
        EdidFixture x;
        (download ? x.w.downloadButton : x.w.readButton)->click();
        if (answered >= 0) {
            x.reply("rdy");
            x.replyTimes(download ? "ok" : "ok 00", answered);
        }
        x.f.advance(900);
        QVERIFY(x.messages().isEmpty());
        x.f.advance(100);
        QCOMPARE(x.messages(), (QList<Msg>{{"Time Out!", kAppTitle}}));
        QCOMPARE(x.w.statusText(), QString("Time Out!"));
        QCOMPARE(x.w.transfer().downloading(), false);
        QCOMPARE(x.w.transfer().reading(), false);
        QVERIFY(!x.w.transfer().awaitingAnswer());
        x.f.advance(5000);
        QCOMPARE(x.messages().size(), 1);
    }

    void aPortThatFailsMidTransferEndsItOnce_data() {
        QTest::addColumn<bool>("download");
        QTest::newRow("download") << true;
        QTest::newRow("read") << false;
    }
    void aPortThatFailsMidTransferEndsItOnce() {
        QFETCH(bool, download);
        EdidFixture x;
        (download ? x.w.downloadButton : x.w.readButton)->click();
        x.reply("rdy");
        x.replyTimes(download ? "ok" : "ok 00", 3);
        x.f.port().refuseWrite = true;
        x.replyTimes(download ? "ok" : "ok 00", 3);
        QCOMPARE(x.messages(), (QList<Msg>{{"open serial port fail\uFF01 ", "ERROR"}}));
        QCOMPARE(x.w.statusText(), download ? QString("DownLoad Err!") : QString("Read EDID Err!"));
        QCOMPARE(x.w.transfer().downloading(), false);
        QCOMPARE(x.w.transfer().reading(), false);
        QVERIFY(!x.w.transfer().awaitingAnswer());
        x.f.advance(3000);
        QCOMPARE(x.messages().size(), 1);
    }

    void aFailedOpeningCommandIsReportedAndTimesOut() {
        EdidFixture x;
        x.f.port().refuseWrite = true;
        x.w.downloadButton->click();
        QCOMPARE(x.messages(), (QList<Msg>{{"open serial port fail\uFF01 ", "ERROR"}}));
        QCOMPARE(x.w.statusText(), QString("EDID Download... "));
        x.f.advance(1000);
        QCOMPARE(x.messages().last(), (Msg{"Time Out!", kAppTitle}));
    }

    void theDeviceLeavingEdidModeClosesTheWindow() {
        EdidFixture x;
        x.w.downloadButton->click();
        x.reply("rdy");
        x.replyTimes("ok", 3);
        x.f.takeWritten();
        x.reply("edo");
        QCOMPARE(x.messages(), (QList<Msg>{{"Device quit EDID Set mode!", "TARVIK-5120-300"}}));
        QVERIFY(!x.w.isVisible());
        QCOMPARE(x.f.takeWritten(), QByteArray("edo\r\n"));
        QCOMPARE(x.f.form->modes().isOn(protocol::Mode::Edid), false);
        QCOMPARE(x.w.transfer().nextByte(), 0);
        QVERIFY(!x.w.transfer().awaitingAnswer());
        x.f.advance(3000);
        QCOMPARE(x.messages().size(), 1);
    }

    void variablesOutliveTheWindow() {
        EdidFixture x;
        x.w.portChoices[5]->click();
        x.w.hexView->setText(edid::writtenForm(sampleImage()));
        x.w.downloadButton->click();
        answerDownload(x, sampleImage());
        QCOMPARE(x.w.statusText(), QString("Download OK!"));
        x.w.close();
        x.open();
        QCOMPARE(x.w.transfer().input(), 0);
        QVERIFY(x.w.portChoices[0]->isChecked());
        QCOMPARE(x.w.view().cursorCell, std::int16_t(1));
        QVERIFY(x.w.hexView->text().isEmpty());
    }

    void closingDuringAReadLeavesNoTransferBehind() {
        EdidFixture x;
        x.w.readButton->click();
        x.reply("rdy");
        x.replyTimes("ok 00", 3);
        x.w.close();
        QCOMPARE(x.w.transfer().reading(), false);
        QCOMPARE(x.w.transfer().nextByte(), 0);
        QVERIFY(!x.w.transfer().awaitingAnswer());
        x.f.takeWritten();
        // Reopening: the "edm" echo confirms the mode, no read retry.
        x.open();
        x.f.advance(3000);
        QVERIFY(x.messages().isEmpty());
        QVERIFY(x.f.takeWritten().isEmpty());
    }
};

QTEST_MAIN(EdidWindowTest)
#include "test_edid_window.moc"

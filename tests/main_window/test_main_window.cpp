// The main window: start-up, the connection, routing buttons, terminal,
// presets and the device modes, through real widgets on the fake platform.

#include "core/device/routing.h"
#include "core/device/terminal.h"
#include "core/seriallink/comport.h"
#include "frontends/windows/edid/edidset.h"
#include "frontends/windows/ir/irmatrix.h"
#include "frontends/windows/ir/irset.h"
#include "frontends/windows/settings/setting.h"
#include "tests/edid/edid_test_util.h"
#include "tests/support/form_fixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

using platform::FakeDialogs;
using Msg = FakeDialogs::Message;

namespace {
const Msg kWriteFailed{QString::fromUtf8("open serial port fail\xEF\xBC\x81 "), "ERROR"};
const Msg kNotOpen{"Com port is not open! ", "Warning"};

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Names announced to assistive technology, and whose; heardName: o's name, if announced.
QList<QPair<QObject*, QString>> heard;
QString heardName(QObject* o) {
    const QString name = QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name);
    return heard.contains({o, name}) ? name : "never announced: " + name;
}
} // namespace

class MainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // Offscreen, no screen reader switches accessibility on; Qt's own tests do so.
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
        QAccessible::installUpdateHandler([](QAccessibleEvent* e) {
            if (e->type() == QAccessible::NameChanged)
                heard.append({e->object(), e->accessibleInterface()->text(QAccessible::Name)});
        });
    }

    // --- start-up and the connection -----------------------------------

    void firstRunCreatesComportAndGreets() {
        FormFixture f;
        QCOMPARE(f.form->Combo1->count(), 10);
        QCOMPARE(f.form->Combo1->itemText(9), QString("COM10"));
        QCOMPARE(f.form->Combo1->currentIndex(), 0);
        QCOMPARE(f.form->PortCmb->itemText(0), QString("Input1"));
        QCOMPARE(f.form->PortCmb->currentIndex(), -1);
        QCOMPARE(fileBytes("COMPORT"), QByteArray(" 0 \r\n"));
        QCOMPARE(f.port().openedDevices, QStringList{"/dev/fake1"});
        QCOMPARE(f.port().written, QByteArray("bc \r\n"));
        QCOMPARE(f.form->Command7->text(), QString("Disconnect"));
        QVERIFY(f.form->Shape15->isLit());
        QVERIFY(!f.form->Shape16->isLit());
        QCOMPARE(heardName(f.form->Shape15), QString("Connected: lit"));
        QVERIFY(f.dialogs().messages.isEmpty());
    }

    void rememberedPortIsOpened_data() {
        QTest::addColumn<QByteArray>("comport");
        QTest::addColumn<int>("index");
        QTest::newRow("COM10") << QByteArray(" 9 \r\n") << 9;
        QTest::newRow("COM4") << QByteArray("3") << 3;
        QTest::newRow("out of range") << QByteArray(" 12 \r\n") << 0;
        QTest::newRow("garbage") << QByteArray("junk") << 0;
    }
    void rememberedPortIsOpened() {
        QFETCH(QByteArray, comport);
        QFETCH(int, index);
        FormFixture f(false);
        QFile file("COMPORT");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(comport);
        file.close();
        f.form->Form_Load();
        QCOMPARE(f.form->Combo1->currentIndex(), index);
        QCOMPARE(int(f.form->PortNo), index + 1);
        QCOMPARE(f.port().openedDevices.last(), QString("/dev/fake%1").arg(index + 1));
        QCOMPARE(fileBytes("COMPORT"), seriallink::comportText(index));
    }

    void failedStartupOpenIsReportedAndConnectSendsNothing() {
        FormFixture f(false);
        f.port().refuseOpen = true;
        f.form->Form_Load();
        QCOMPARE(f.dialogs().messages, QList<Msg>{kWriteFailed});
        QCOMPARE(f.form->Command7->text(), QString("Connect"));
        QVERIFY(f.form->Shape16->isLit());
        QVERIFY(!f.form->Shape15->isLit());

        // A failed Connect leaves everything as it was.
        f.form->Command7->click();
        QCOMPARE(f.dialogs().messages.size(), 2);
        QCOMPARE(f.form->Command7->text(), QString("Connect"));
        QVERIFY(f.form->Shape16->isLit());

        f.port().refuseOpen = false;
        f.form->Command7->click();
        QCOMPARE(f.form->Command7->text(), QString("Disconnect"));
        QVERIFY(f.form->Shape15->isLit());
        QVERIFY(!f.form->Shape16->isLit());
        QVERIFY(f.port().written.isEmpty()); // no "bc " from the button
    }

    void disconnectSendsNothing() {
        FormFixture f;
        f.takeWritten();
        f.form->Command7->click();
        QVERIFY(!f.port().isOpen());
        QVERIFY(f.port().written.isEmpty());
        QCOMPARE(f.form->Command7->text(), QString("Connect"));
        QVERIFY(f.form->Shape16->isLit());
    }

    void choosingAnotherPortClosesAndRemembers() {
        FormFixture f;
        f.form->Combo1->setCurrentIndex(3);
        f.form->Combo1_Click();
        QVERIFY(!f.port().isOpen());
        QCOMPARE(f.form->Command7->text(), QString("Connect"));
        QCOMPARE(int(f.form->PortNo), 4);
        QCOMPARE(fileBytes("COMPORT"), QByteArray(" 3 \r\n"));
        QCOMPARE(f.port().openedDevices.size(), 1); // not reopened by itself
        f.form->Command7->click();
        QCOMPARE(f.port().openedDevices.last(), QString("/dev/fake4"));
    }

    void portListTooltipsNameTheDevices() {
        FormFixture f;
        QCOMPARE(f.form->Combo1->itemData(2, Qt::ToolTipRole).toString(), QString("/dev/fake3"));
    }

    void pulledAdapterShowsClosedState() {
        FormFixture f;
        f.port().pullPlug();
        QCOMPARE(f.form->Command7->text(), QString("Connect"));
        QVERIFY(f.form->Shape16->isLit());
        QVERIFY(!f.form->Shape15->isLit());
        f.form->Command7->click();
        QVERIFY(f.port().isOpen());
    }

    // --- receiving --------------------------------------------------------

    void repliesAreInterpretedOnArrivalAndTheTickSleepsWhenIdle() {
        FormFixture f;
        QVERIFY(!f.form->link().ticking());
        f.port().deliver("s23\r\n");
        // No tick has run: the report is already on the lamps.
        QVERIFY(f.form->lamps[1][2]->isLit());
        QVERIFY(!f.form->link().ticking());

        // A partial line wakes the tick for its quiet-tick flush, on the
        // fourth tick after arrival (the receiving tick and three quiet ones).
        f.port().deliver("xy");
        QVERIFY(f.form->link().ticking());
        f.advance(30);
        QVERIFY(!f.form->logText().contains("xy"));
        f.advance(10);
        QVERIFY(f.form->logText().endsWith("xy"));
        QVERIFY(!f.form->link().ticking());
    }

    // --- routing buttons ------------------------------------------------

    void routeCodesAndCommands() {
        using namespace device;
        QCOMPARE(HTS(0), QString("00"));
        QCOMPARE(HTS(10), QString("0A"));
        QCOMPARE(HTS(171), QString("AB"));
        QCOMPARE(HTS(255), QString("FF"));
        const protocol::Model& m = protocol::Model::standard();
        QCOMPARE(m.route(1, 1), QString("cir 00\r\n"));
        QCOMPARE(m.route(2, 3), QString("cir 12\r\n"));
        QCOMPARE(m.stepInput(1, false), QString("cir 08\r\n"));
        QCOMPARE(m.stepInput(1, true), QString("cir 09\r\n"));
        QCOMPARE(m.route(8, 8), QString("cir 77\r\n"));
        QCOMPARE(m.stepInput(8, true), QString("cir 79\r\n"));
        // No routing command ever carries a letter digit.
        for (int o = 1; o <= m.outputs; ++o)
            for (int i = 1; i <= m.inputs; ++i)
                QVERIFY(!m.route(o, i).mid(4, 2).contains(QRegularExpression("[A-F]")));
    }

    // The grid is the model's: a 4x4 window has four outputs of four inputs
    // and its arrows, and its last button routes output 4 to input 4.
    void aSmallerModelsGrid() {
        FormFixture f(true, *protocol::Model::find("4x4"));
        QCOMPARE(f.form->routeButtons.size(), 4);
        for (const auto& row : f.form->routeButtons)
            QCOMPARE(row.size(), 4 + 2);
        QCOMPARE(f.form->routeButtons[3][3]->accessibleName(),
                 QString("Route output 4 to input 4"));
        QCOMPARE(f.form->routeButtons[3][4]->accessibleName(), QString("Output 4 previous input"));
        f.takeWritten();
        f.form->routeButtons[3][3]->click();
        f.form->routeButtons[3][5]->click();
        QCOMPARE(f.takeWritten(), QByteArray("cir 33\r\ncir 39\r\n"));
        f.receive("s42\r\n");
        QVERIFY(f.form->lamps[3][1]->isLit());
    }

    void routingClickWritesAndFillsTheSendBox() {
        FormFixture f;
        f.takeWritten();
        f.form->Label9->click(); // hex mode; the click puts it back to text
        f.form->routeButtons[1][2]->click();
        f.form->routeButtons[1][2]->click();
        QCOMPARE(f.takeWritten(), QByteArray("cir 12\r\ncir 12\r\n"));
        QCOMPARE(f.form->Label9->text(), QString("Send(ASC)"));
        QCOMPARE(f.form->Text2->textCursor().selectedText().size(),
                 f.form->Text2->toPlainText().size());
        // Lamps wait for the device.
        for (auto* lamp : f.form->lamps[1])
            QVERIFY(!lamp->isLit());
        // "Send" repeats it exactly.
        f.form->Command3->click();
        QCOMPARE(f.takeWritten(), QByteArray("cir 12\r\n"));
    }

    void connectionCountsTheBytesThatCrossTheLine() {
        FormFixture f;
        QCOMPARE(f.form->link().bytesSent(), quint64(5)); // "bc " CR LF
        f.form->routeButtons[0][0]->click();
        f.receive("s11\r\n");
        QCOMPARE(f.form->link().bytesSent(), quint64(13));
        QCOMPARE(f.form->link().bytesReceived(), quint64(5));
        f.port().refuseWrite = true;
        f.form->Command6->click();
        QCOMPARE(f.form->link().bytesSent(), quint64(13));
    }

    void routingClickWithPortClosedReportsAndStillFillsTheBox() {
        FormFixture f;
        f.form->Command7->click();
        f.takeWritten();
        f.form->routeButtons[7][9]->click();
        QCOMPARE(f.dialogs().messages, QList<Msg>{kWriteFailed});
        QVERIFY(f.port().written.isEmpty());
        QCOMPARE(f.form->Text2->toPlainText(), QString("cir 79\n"));
    }

    void routingButtonsAreNamedForScreenReaders() {
        FormFixture f;
        QCOMPARE(f.form->routeButtons[1][2]->accessibleName(),
                 QString("Route output 2 to input 3"));
        QCOMPARE(f.form->routeButtons[7][8]->accessibleName(), QString("Output 8 previous input"));
        QCOMPARE(f.form->Text1->accessibleName(), QString("Receive"));
        QCOMPARE(f.form->Text2->accessibleName(), QString("Send"));
        QCOMPARE(f.form->Shape16->accessibleName(), QString("Disconnect: dark"));
    }

    // --- terminal ---------------------------------------------------------

    void textModeSendsTheBoxAsTyped() {
        FormFixture f;
        f.takeWritten();
        f.form->Text2->setFocus();
        QTest::keyClicks(f.form->Text2, "bc ");
        f.form->Command3->click();
        QCOMPARE(f.takeWritten(), QByteArray("bc "));
        QTest::keyClick(f.form->Text2, Qt::Key_Return);
        f.form->Command3->click();
        QCOMPARE(f.takeWritten(), QByteArray("bc \r\n"));
        // An empty box sends and reports nothing.
        f.form->Text2->clear();
        f.form->Command3->click();
        QVERIFY(f.port().written.isEmpty());
        QVERIFY(f.dialogs().messages.isEmpty());
    }

    void sendFailureIsReportedAndKeepsTheBox() {
        FormFixture f;
        f.form->Text2->setPlainText("abc");
        f.port().refuseWrite = true;
        f.form->Command3->click();
        QCOMPARE(f.dialogs().messages, QList<Msg>{kWriteFailed});
        QCOMPARE(f.form->Text2->toPlainText(), QString("abc"));
    }

    void clearEmptiesOnlyTheLog() {
        FormFixture f;
        f.receive("hello\r\n");
        f.form->Text2->setPlainText("keep");
        f.form->Command2->click();
        QCOMPARE(f.form->logText(), QString());
        QCOMPARE(f.form->Text1->toPlainText(), QString());
        QCOMPARE(f.form->Text2->toPlainText(), QString("keep"));
    }

    // "Save log as..." writes the log's exact text; Cancel writes nothing; a
    // failed save says why and keeps the old file.
    void saveLogWritesTheExactText() {
        FormFixture f;
        const QByteArray log = "In1\n\r\nHDMI" + QByteArray(100, '-') + "\r\n";
        f.receive(log);
        const QString path = f.dir.filePath("log.txt");
        f.dialogs().fileAnswers = {"", path, path};
        std::unique_ptr<QMenu> menu(f.form->Text1->createContextMenu({}));
        QVERIFY(menu->findChild<QAction*>("edit-copy") && menu->findChild<QAction*>("select-all"));
        menu->actions().last()->trigger();
        QVERIFY(!QFile::exists(path));
        f.form->saveLogAction->trigger();
        QCOMPARE(fileBytes(path), log);
        f.form->appendLog("more");
        edidtest::FileSizeLimit limit;
        f.form->saveLogAction->trigger();
        QVERIFY(f.dialogs().last().text.startsWith("Cannot save " + path + ": "));
        QCOMPARE(fileBytes(path), log);
        QCOMPARE(f.dialogs().filters, QStringList(3, "Log(*.txt)|*.txt"));
        QVERIFY(f.dialogs().confirmedOverwrite);
    }

    void hexConversion_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("pairs and singles") << "01 ab 5" << QByteArray("\x01\xab\x05", 3);
        QTest::newRow("run of digits") << "0102" << QByteArray("\x01\x02", 2);
        QTest::newRow("odd run") << "123" << QByteArray("\x12\x03", 2);
        QTest::newRow("blanks only") << "   " << QByteArray();
        QTest::newRow("line end separates") << "1\n2" << QByteArray("\x01\x02", 2);
        QTest::newRow("upper case") << "FF 0" << QByteArray("\xff\x00", 2);
    }
    void hexConversion() {
        QFETCH(QString, text);
        QTEST(device::hexTextToBytes(text), "bytes");
    }

    void hexConversionHasNoLengthLimit() {
        QString text;
        for (int i = 0; i < 300; ++i)
            text += "a5 ";
        QCOMPARE(device::hexTextToBytes(text), QByteArray(300, '\xa5'));
    }

    void hexModeFiltersKeysAndSendsBytes() {
        FormFixture f;
        f.takeWritten();
        f.form->Label9->click();
        QCOMPARE(f.form->Label9->text(), QString("Send(Hex)"));
        QCOMPARE(heardName(f.form->Label9), QString("Send mode: Send(Hex)"));
        f.form->Text2->setFocus();
        QTest::keyClicks(f.form->Text2, "01 aB-xz 5");
        QTest::keyClick(f.form->Text2, Qt::Key_Return);
        QCOMPARE(f.form->Text2->toPlainText(), QString("01 aB 5"));
        QTest::keyClick(f.form->Text2, Qt::Key_Backspace);
        QTest::keyClicks(f.form->Text2, "6");
        f.form->Command3->click();
        QCOMPARE(f.takeWritten(), QByteArray("\x01\xab\x06", 3));
        f.form->Label9->click();
        QCOMPARE(f.form->Label9->text(), QString("Send(ASC)"));
    }

    void hexModeWithNothingToSendWarns() {
        FormFixture f;
        f.takeWritten();
        f.form->Label9->click();
        f.form->Command3->click();
        const Msg warning{QString::fromUtf8("There is no command\xEF\xBC\x81 "), "WARNING"};
        QCOMPARE(f.dialogs().messages, QList<Msg>{warning});
        QVERIFY(f.port().written.isEmpty());
    }

    // --- presets and status -----------------------------------------------

    void presetsAllOutputsAndStatus() {
        FormFixture f;
        f.takeWritten();
        f.form->SaveBTN[2]->click();
        f.form->StateBTN[0]->click();
        f.form->PortCmb->setCurrentIndex(0);
        f.form->PortCmb_Click();
        f.form->PortCmb_Click(); // the same entry again sends again
        f.form->Command6->click();
        f.form->Command6->click();
        QCOMPARE(f.takeWritten(), QByteArray("msa 2\r\nmsw 0\r\nasw 0\r\nasw 0\r\nbc \r\nbc \r\n"));
        QVERIFY(f.dialogs().messages.isEmpty());
    }

    void closedPortGuardsPresetsAndSelectorReportsStatus() {
        FormFixture f;
        f.form->Command7->click();
        QCOMPARE(heardName(f.form->Command7), QString("Connect"));
        f.takeWritten();
        f.form->StateBTN[0]->click();
        f.form->SaveBTN[1]->click();
        f.form->PortCmb->setCurrentIndex(7);
        f.form->PortCmb_Click();
        f.form->Command6->click();
        QCOMPARE(f.dialogs().messages, (QList<Msg>{kNotOpen, kNotOpen, kNotOpen, kWriteFailed}));
        QVERIFY(f.port().written.isEmpty());
    }

    // --- device modes -----------------------------------------------------

    void modeWindowWritesEntryAndExitAroundTheWindow() {
        FormFixture f;
        f.takeWritten();
        f.form->Command5->click();
        QCOMPARE(f.takeWritten().left(5), QByteArray("stm\r\n"));
        QCOMPARE(f.form->modes().isOn(protocol::Mode::Setup), true);
        QVERIFY(f.form->setting().isVisible());
        f.form->setting().close();
        QCOMPARE(f.takeWritten(), QByteArray("sto\r\n"));
        QCOMPARE(f.form->modes().isOn(protocol::Mode::Setup), false);
        f.form->setting().session().factoryReset();
        QCOMPARE(heardName(f.form->setting().SetStaBar->findChild<QLabel*>()), "Set Command...");
    }

    void modeWindowsNeedAnOpenPort() {
        FormFixture f;
        f.form->Command7->click();
        f.takeWritten();
        f.form->Command9->click();
        f.form->IrSetOpen();
        f.form->IrMatrixOpen();
        QCOMPARE(f.dialogs().messages, (QList<Msg>{kNotOpen, kNotOpen, kNotOpen}));
        QCOMPARE(f.form->modes().isOn(protocol::Mode::Edid), false);
        QCOMPARE(f.form->modes().isOn(protocol::Mode::Ir), false);
        QVERIFY(f.port().written.isEmpty());
        // "Set IP " needs no port.
        f.form->Command4->click();
        QVERIFY(f.dialogs().messages.size() == 3);
    }

    void watchdogWarnsOnceAfterTwoSilentSeconds() {
        FormFixture f;
        f.form->Command9->click();
        f.advance(1990);
        QVERIFY(f.dialogs().messages.isEmpty());
        f.advance(20);
        const Msg warning{"Device is not connect!", kDeviceTitle};
        QCOMPARE(f.dialogs().messages, QList<Msg>{warning});
        f.advance(10000);
        QCOMPARE(f.dialogs().messages.size(), 1);
        QCOMPARE(f.form->modes().isOn(protocol::Mode::Edid), true); // the window stays open
    }

    void echoInTimeStopsTheWatchdog() {
        FormFixture f;
        f.form->Command9->click();
        f.advance(500);
        f.receive("edm\r\n");
        f.advance(5000);
        QVERIFY(f.dialogs().messages.isEmpty());
    }

    void reEnablingRestartsTheTwoSeconds() {
        FormFixture f;
        f.form->Command5->click();
        f.advance(1500);
        f.form->setting().close();
        f.form->Command9->click();
        f.advance(1500);
        QVERIFY(f.dialogs().messages.isEmpty());
        f.advance(500);
        QCOMPARE(f.dialogs().messages.size(), 1);
    }

    // Escape does nothing during a read, up to its judging; once the read is
    // over it closes the window.
    void escapeSparesARunningRead() {
        FormFixture f;
        Form1& m = *f.form;
        for (FeatureWindow* w : std::initializer_list<FeatureWindow*>{&m.edidSet(), &m.irSet()}) {
            const bool edid = w == &m.edidSet();
            edid ? m.Command9_Click() : m.IrSetOpen();
            edid ? m.edidSet().ReadEDIDBtn_Click() : m.irSet().Command1_Click();
            for (int i = 0; i <= (edid ? 256 : 80); ++i) {
                f.receive(!edid ? "rok 00\r\n" : i > 0 ? "ok 00\r\n" : "rdy\r\n");
                QTest::keyClick(w, Qt::Key_Escape);
                QVERIFY(w->isVisible());
            }
            f.advance(100);
            QTest::keyClick(w, Qt::Key_Escape);
            QVERIFY(!w->isVisible());
        }
    }

    void irRoutingWindowSendsImsAndNoExitWord() {
        FormFixture f;
        f.takeWritten();
        f.form->IrMatrixOpen();
        QCOMPARE(f.takeWritten().left(5), QByteArray("ims\r\n"));
        f.form->irMatrix().close();
        QVERIFY(f.port().written.isEmpty());
    }
};

QTEST_MAIN(MainWindow)
#include "test_main_window.moc"

// The main window: start-up, the connection, routing buttons, terminal,
// presets and the device modes, through real widgets on the fake platform.

#include "core/device/routing.h"
#include "core/device/terminal.h"
#include "core/seriallink/comport.h"
#include "frontends/windows/edid/edid_window.h"
#include "frontends/windows/ir/ir_codes_window.h"
#include "frontends/windows/ir/ir_routing_window.h"
#include "frontends/windows/settings/settings_window.h"
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

class MainWindowTest : public QObject {
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
        QCOMPARE(f.form->portList->count(), 10);
        QCOMPARE(f.form->portList->itemText(9), QString("COM10"));
        QCOMPARE(f.form->portList->currentIndex(), 0);
        QCOMPARE(f.form->allOutputsList->itemText(0), QString("Input1"));
        QCOMPARE(f.form->allOutputsList->currentIndex(), -1);
        QCOMPARE(fileBytes("COMPORT"), QByteArray(" 0 \r\n"));
        QCOMPARE(f.port().openedDevices, QStringList{"/dev/fake1"});
        QCOMPARE(f.port().written, QByteArray("bc \r\n"));
        QCOMPARE(f.form->connectButton->text(), QString("Disconnect"));
        QVERIFY(f.form->connectedLamp->isLit());
        QVERIFY(!f.form->disconnectedLamp->isLit());
        QCOMPARE(heardName(f.form->connectedLamp), QString("Connected: lit"));
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
        f.form->startUp();
        QCOMPARE(f.form->portList->currentIndex(), index);
        QCOMPARE(int(f.form->portNumber), index + 1);
        QCOMPARE(f.port().openedDevices.last(), QString("/dev/fake%1").arg(index + 1));
        QCOMPARE(fileBytes("COMPORT"), seriallink::comportText(index));
    }

    void failedStartupOpenIsReportedAndConnectSendsNothing() {
        FormFixture f(false);
        f.port().refuseOpen = true;
        f.form->startUp();
        QCOMPARE(f.dialogs().messages, QList<Msg>{kWriteFailed});
        QCOMPARE(f.form->connectButton->text(), QString("Connect"));
        QVERIFY(f.form->disconnectedLamp->isLit());
        QVERIFY(!f.form->connectedLamp->isLit());

        // A failed Connect leaves everything as it was.
        f.form->connectButton->click();
        QCOMPARE(f.dialogs().messages.size(), 2);
        QCOMPARE(f.form->connectButton->text(), QString("Connect"));
        QVERIFY(f.form->disconnectedLamp->isLit());

        f.port().refuseOpen = false;
        f.form->connectButton->click();
        QCOMPARE(f.form->connectButton->text(), QString("Disconnect"));
        QVERIFY(f.form->connectedLamp->isLit());
        QVERIFY(!f.form->disconnectedLamp->isLit());
        QVERIFY(f.port().written.isEmpty()); // no "bc " from the button
    }

    void disconnectSendsNothing() {
        FormFixture f;
        f.takeWritten();
        f.form->connectButton->click();
        QVERIFY(!f.port().isOpen());
        QVERIFY(f.port().written.isEmpty());
        QCOMPARE(f.form->connectButton->text(), QString("Connect"));
        QVERIFY(f.form->disconnectedLamp->isLit());
    }

    void choosingAnotherPortClosesAndRemembers() {
        FormFixture f;
        f.form->portList->setCurrentIndex(3);
        f.form->onPortChosen();
        QVERIFY(!f.port().isOpen());
        QCOMPARE(f.form->connectButton->text(), QString("Connect"));
        QCOMPARE(int(f.form->portNumber), 4);
        QCOMPARE(fileBytes("COMPORT"), QByteArray(" 3 \r\n"));
        QCOMPARE(f.port().openedDevices.size(), 1); // not reopened by itself
        f.form->connectButton->click();
        QCOMPARE(f.port().openedDevices.last(), QString("/dev/fake4"));
    }

    void portListTooltipsNameTheDevices() {
        FormFixture f;
        QCOMPARE(f.form->portList->itemData(2, Qt::ToolTipRole).toString(), QString("/dev/fake3"));
    }

    void pulledAdapterShowsClosedState() {
        FormFixture f;
        f.port().pullPlug();
        QCOMPARE(f.form->connectButton->text(), QString("Connect"));
        QVERIFY(f.form->disconnectedLamp->isLit());
        QVERIFY(!f.form->connectedLamp->isLit());
        f.form->connectButton->click();
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
    // and its arrows, and its last button routes output 4 to input 4. So are
    // its presets and its EDID window's ports.
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
        QCOMPARE(f.form->presetSaveButtons.size(), protocol::Model::find("4x4")->presets);
        QCOMPARE(f.form->presetRecallButtons.size(), f.form->presetSaveButtons.size());
        f.form->presetSaveButtons[2]->click();
        f.form->presetRecallButtons[1]->click();
        QCOMPARE(f.takeWritten(), QByteArray("msa 2\r\nmsw 1\r\n"));
        QCOMPARE(f.form->edidWindow().portChoices.size(), 4);
    }

    void routingClickWritesAndFillsTheSendBox() {
        FormFixture f;
        f.takeWritten();
        f.form->sendModeButton->click(); // hex mode; the click puts it back to text
        f.form->routeButtons[1][2]->click();
        f.form->routeButtons[1][2]->click();
        QCOMPARE(f.takeWritten(), QByteArray("cir 12\r\ncir 12\r\n"));
        QCOMPARE(f.form->sendModeButton->text(), QString("Send(ASC)"));
        QCOMPARE(f.form->sendBox->textCursor().selectedText().size(),
                 f.form->sendBox->toPlainText().size());
        // Lamps wait for the device.
        for (auto* lamp : f.form->lamps[1])
            QVERIFY(!lamp->isLit());
        // "Send" repeats it exactly.
        f.form->sendButton->click();
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
        f.form->statusButton->click();
        QCOMPARE(f.form->link().bytesSent(), quint64(13));
    }

    void routingClickWithPortClosedReportsAndStillFillsTheBox() {
        FormFixture f;
        f.form->connectButton->click();
        f.takeWritten();
        f.form->routeButtons[7][9]->click();
        QCOMPARE(f.dialogs().messages, QList<Msg>{kWriteFailed});
        QVERIFY(f.port().written.isEmpty());
        QCOMPARE(f.form->sendBox->toPlainText(), QString("cir 79\n"));
    }

    void routingButtonsAreNamedForScreenReaders() {
        FormFixture f;
        QCOMPARE(f.form->routeButtons[1][2]->accessibleName(),
                 QString("Route output 2 to input 3"));
        QCOMPARE(f.form->routeButtons[7][8]->accessibleName(), QString("Output 8 previous input"));
        QCOMPARE(f.form->receiveLog->accessibleName(), QString("Receive"));
        QCOMPARE(f.form->sendBox->accessibleName(), QString("Send"));
        QCOMPARE(f.form->disconnectedLamp->accessibleName(), QString("Disconnect: dark"));
    }

    // --- terminal ---------------------------------------------------------

    void textModeSendsTheBoxAsTyped() {
        FormFixture f;
        f.takeWritten();
        f.form->sendBox->setFocus();
        QTest::keyClicks(f.form->sendBox, "bc ");
        f.form->sendButton->click();
        QCOMPARE(f.takeWritten(), QByteArray("bc "));
        QTest::keyClick(f.form->sendBox, Qt::Key_Return);
        f.form->sendButton->click();
        QCOMPARE(f.takeWritten(), QByteArray("bc \r\n"));
        // An empty box sends and reports nothing.
        f.form->sendBox->clear();
        f.form->sendButton->click();
        QVERIFY(f.port().written.isEmpty());
        QVERIFY(f.dialogs().messages.isEmpty());
    }

    void sendFailureIsReportedAndKeepsTheBox() {
        FormFixture f;
        f.form->sendBox->setPlainText("abc");
        f.port().refuseWrite = true;
        f.form->sendButton->click();
        QCOMPARE(f.dialogs().messages, QList<Msg>{kWriteFailed});
        QCOMPARE(f.form->sendBox->toPlainText(), QString("abc"));
    }

    void clearEmptiesOnlyTheLog() {
        FormFixture f;
        f.receive("hello\r\n");
        f.form->sendBox->setPlainText("keep");
        f.form->clearButton->click();
        QCOMPARE(f.form->logText(), QString());
        QCOMPARE(f.form->receiveLog->toPlainText(), QString());
        QCOMPARE(f.form->sendBox->toPlainText(), QString("keep"));
    }

    // "Save log as..." writes the log's exact text; Cancel writes nothing; a
    // failed save says why and keeps the old file.
    void saveLogWritesTheExactText() {
        FormFixture f;
        const QByteArray log = "In1\n\r\nHDMI" + QByteArray(100, '-') + "\r\n";
        f.receive(log);
        const QString path = f.dir.filePath("log.txt");
        f.dialogs().fileAnswers = {"", path, path};
        std::unique_ptr<QMenu> menu(f.form->receiveLog->createContextMenu({}));
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
        f.form->sendModeButton->click();
        QCOMPARE(f.form->sendModeButton->text(), QString("Send(Hex)"));
        QCOMPARE(heardName(f.form->sendModeButton), QString("Send mode: Send(Hex)"));
        f.form->sendBox->setFocus();
        QTest::keyClicks(f.form->sendBox, "01 aB-xz 5");
        QTest::keyClick(f.form->sendBox, Qt::Key_Return);
        QCOMPARE(f.form->sendBox->toPlainText(), QString("01 aB 5"));
        QTest::keyClick(f.form->sendBox, Qt::Key_Backspace);
        QTest::keyClicks(f.form->sendBox, "6");
        f.form->sendButton->click();
        QCOMPARE(f.takeWritten(), QByteArray("\x01\xab\x06", 3));
        f.form->sendModeButton->click();
        QCOMPARE(f.form->sendModeButton->text(), QString("Send(ASC)"));
    }

    void hexModeWithNothingToSendWarns() {
        FormFixture f;
        f.takeWritten();
        f.form->sendModeButton->click();
        f.form->sendButton->click();
        const Msg warning{QString::fromUtf8("There is no command\xEF\xBC\x81 "), "WARNING"};
        QCOMPARE(f.dialogs().messages, QList<Msg>{warning});
        QVERIFY(f.port().written.isEmpty());
    }

    // --- presets and status -----------------------------------------------

    void presetsAllOutputsAndStatus() {
        FormFixture f;
        f.takeWritten();
        f.form->presetSaveButtons[2]->click();
        f.form->presetRecallButtons[0]->click();
        f.form->allOutputsList->setCurrentIndex(0);
        f.form->onAllOutputsChosen();
        f.form->onAllOutputsChosen(); // the same entry again sends again
        f.form->statusButton->click();
        f.form->statusButton->click();
        QCOMPARE(f.takeWritten(), QByteArray("msa 2\r\nmsw 0\r\nasw 0\r\nasw 0\r\nbc \r\nbc \r\n"));
        QVERIFY(f.dialogs().messages.isEmpty());
    }

    void closedPortGuardsPresetsAndSelectorReportsStatus() {
        FormFixture f;
        f.form->connectButton->click();
        QCOMPARE(heardName(f.form->connectButton), QString("Connect"));
        f.takeWritten();
        f.form->presetRecallButtons[0]->click();
        f.form->presetSaveButtons[1]->click();
        f.form->allOutputsList->setCurrentIndex(7);
        f.form->onAllOutputsChosen();
        f.form->statusButton->click();
        QCOMPARE(f.dialogs().messages, (QList<Msg>{kNotOpen, kNotOpen, kNotOpen, kWriteFailed}));
        QVERIFY(f.port().written.isEmpty());
    }

    // --- device modes -----------------------------------------------------

    void modeWindowWritesEntryAndExitAroundTheWindow() {
        FormFixture f;
        f.takeWritten();
        f.form->settingsButton->click();
        QCOMPARE(f.takeWritten().left(5), QByteArray("stm\r\n"));
        QCOMPARE(f.form->modes().isOn(protocol::Mode::Setup), true);
        QVERIFY(f.form->settingsWindow().isVisible());
        f.form->settingsWindow().close();
        QCOMPARE(f.takeWritten(), QByteArray("sto\r\n"));
        QCOMPARE(f.form->modes().isOn(protocol::Mode::Setup), false);
        f.form->settingsWindow().session().factoryReset();
        QCOMPARE(heardName(f.form->settingsWindow().statusBar->findChild<QLabel*>()),
                 "Set Command...");
    }

    void modeWindowsNeedAnOpenPort() {
        FormFixture f;
        f.form->connectButton->click();
        f.takeWritten();
        f.form->edidButton->click();
        f.form->onIrCodesClicked();
        f.form->onIrRoutingClicked();
        QCOMPARE(f.dialogs().messages, (QList<Msg>{kNotOpen, kNotOpen, kNotOpen}));
        QCOMPARE(f.form->modes().isOn(protocol::Mode::Edid), false);
        QCOMPARE(f.form->modes().isOn(protocol::Mode::Ir), false);
        QVERIFY(f.port().written.isEmpty());
        // "Set IP " needs no port.
        f.form->networkButton->click();
        QVERIFY(f.dialogs().messages.size() == 3);
    }

    void watchdogWarnsOnceAfterTwoSilentSeconds() {
        FormFixture f;
        f.form->edidButton->click();
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
        f.form->edidButton->click();
        f.advance(500);
        f.receive("edm\r\n");
        f.advance(5000);
        QVERIFY(f.dialogs().messages.isEmpty());
    }

    void reEnablingRestartsTheTwoSeconds() {
        FormFixture f;
        f.form->settingsButton->click();
        f.advance(1500);
        f.form->settingsWindow().close();
        f.form->edidButton->click();
        f.advance(1500);
        QVERIFY(f.dialogs().messages.isEmpty());
        f.advance(500);
        QCOMPARE(f.dialogs().messages.size(), 1);
    }

    // Escape does nothing during a read, up to its judging; once the read is
    // over it closes the window.
    void escapeSparesARunningRead() {
        FormFixture f;
        MainWindow& m = *f.form;
        for (FeatureWindow* w :
             std::initializer_list<FeatureWindow*>{&m.edidWindow(), &m.irCodesWindow()}) {
            const bool edid = w == &m.edidWindow();
            edid ? m.onEdidClicked() : m.onIrCodesClicked();
            edid ? m.edidWindow().onReadClicked() : m.irCodesWindow().onReadClicked();
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
        f.form->onIrRoutingClicked();
        QCOMPARE(f.takeWritten().left(5), QByteArray("ims\r\n"));
        f.form->irRoutingWindow().close();
        QVERIFY(f.port().written.isEmpty());
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"

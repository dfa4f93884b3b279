// The settings window on the fake platform: opening, the replies that fill
// and confirm it, the commands of its controls, the password lock, the
// factory reset and the device leaving setting mode.

#include "frontends/windows/settings/password_window.h"
#include "frontends/windows/settings/settings_window.h"
#include "tests/support/form_fixture.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTest>

namespace {

const QString kRestart = "Only when you restart the device, and the change to be effective";

// A main window with the settings window open and the opening's bytes taken.
struct Open {
    FormFixture f;
    SettingsWindow* s = nullptr;
    QByteArray opening;

    Open() {
        f.takeWritten();
        f.form->onSettingsClicked();
        s = &f.form->settingsWindow();
        opening = f.takeWritten();
    }
    void reply(const QByteArray& line) { f.receive(line); }
    // Chooses list entries as the operator does, raising the click handlers.
    void chooseTo(int index) {
        s->copyTargetList->setCurrentIndex(index);
        s->onCopyTargetChosen();
    }
    void chooseFrom(int index) {
        s->copySourceList->setCurrentIndex(index);
        s->onCopySourceChosen();
    }
    void unlock(const QString& code) {
        s->unlockButton->click();
        PasswordWindow& p = s->password();
        QTest::keyClicks(p.passwordBox, code);
        p.okButton->click();
    }
};

int checkedIndex(const auto& buttons) {
    for (int i = 0; i < int(buttons.size()); ++i)
        if (buttons[i]->isChecked())
            return i;
    return -1;
}

} // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

private slots:
    void openingSendsEntryWordAndStatusQueryOnly() {
        Open o;
        QCOMPARE(o.opening, QByteArray("stm\r\nsts\r\n"));
        QCOMPARE(o.f.form->modes().isOn(protocol::Mode::Setup), true);
        QVERIFY(o.s->isVisible());
        QCOMPARE(o.s->windowTitle(), QString("Setting"));
        QCOMPARE(o.s->font().family(), QString("Verdana"));
        QCOMPARE(o.s->session().pending(), false);
        QCOMPARE(o.s->session().allPending(), false);
        QCOMPARE(o.s->session().showingReply(), false);
        QCOMPARE(o.s->longCableUnlocked, false);
        QCOMPARE(o.s->statusText(), QString());
        QVERIFY(!o.s->longCableChoices[0]->isEnabled());
        QVERIFY(!o.s->longCableChoices[1]->isEnabled());
        QCOMPARE(checkedIndex(o.s->longCableChoices), -1);
        QCOMPARE(checkedIndex(o.s->edidModeChoices), -1);
        QCOMPARE(o.s->copyTargetList->count(), 9);
        QCOMPARE(o.s->copyTargetList->itemText(0), QString("Input1"));
        QCOMPARE(o.s->copyTargetList->itemText(7), QString("Input8"));
        QCOMPARE(o.s->copyTargetList->itemText(8), QString("ALL"));
        QCOMPARE(o.s->copySourceList->count(), 8);
        QCOMPARE(o.s->copySourceList->itemText(7), QString("Output8"));
        QCOMPARE(o.s->copyTargetList->currentIndex(), -1);
        QCOMPARE(o.s->copySourceList->currentIndex(), -1);
        QVERIFY(o.f.dialogs().messages.isEmpty());
    }

    void theEdidFrameSitsBelowTheClientAreaAndOutOfKeyboardReach() {
        Open o;
        QVERIFY(o.s->edidModeGroup->y() >= o.s->height());
        QCOMPARE(o.s->edidModeGroup->title(), QString("EDID Setting"));
        QCOMPARE(o.s->edidModeChoices[0]->text(), QString("Nomal Copy Mode"));
        QCOMPARE(o.s->edidModeChoices[5]->text(), QString("Fixed 1080I Streo"));
        for (QRadioButton* b : o.s->edidModeChoices)
            QCOMPARE(b->focusPolicy(), Qt::NoFocus);
        for (QWidget* w : {static_cast<QWidget*>(o.s->unlockButton),
                           static_cast<QWidget*>(o.s->factoryResetButton),
                           static_cast<QWidget*>(o.s->copyTargetList),
                           static_cast<QWidget*>(o.s->copySourceList),
                           static_cast<QWidget*>(o.s->longCableChoices[0])})
            QVERIFY(w->focusPolicy() & Qt::TabFocus);
    }

    void echoOfEntryWordStopsTheWatchdog() {
        Open o;
        QVERIFY(o.f.form->modes().awaitingEcho());
        o.reply("stm\r\n");
        QVERIFY(!o.f.form->modes().awaitingEcho());
        o.f.advance(2500);
        QVERIFY(o.f.dialogs().messages.isEmpty());
    }

    void statusRepliesFillTheOptionsWithoutSending() {
        Open o;
        o.reply("slc 02\r\n");
        QCOMPARE(o.s->session().longCableValue(), 2);
        QCOMPARE(checkedIndex(o.s->longCableChoices), 1); // even while disabled
        QVERIFY(!o.s->longCableChoices[1]->isEnabled());
        QCOMPARE(o.s->session().showingReply(), false);
        o.reply("smd 03\r\n");
        QCOMPARE(checkedIndex(o.s->edidModeChoices), 3);
        o.reply("slc 1\r\n"); // one digit, then the CR
        QCOMPARE(o.s->session().longCableValue(), 1);
        QCOMPARE(checkedIndex(o.s->longCableChoices), 0);
        o.reply("smd 4\r\n");
        QCOMPARE(checkedIndex(o.s->edidModeChoices), 4);
        o.reply("slc 3\r\n");
        QCOMPARE(checkedIndex(o.s->longCableChoices), 1);
        QCOMPARE(o.f.takeWritten(), QByteArray());
        QCOMPARE(o.s->statusText(), QString());
        QVERIFY(o.f.dialogs().messages.isEmpty());
        QCOMPARE(o.s->session().showingReply(), false);
    }

    void oddValuesChangeNoOption() {
        Open o;
        o.reply("slc 02\r\n");
        o.reply("smd 01\r\n");
        o.reply("slc 05\r\n");
        QCOMPARE(o.s->session().longCableValue(), 5);
        QCOMPARE(checkedIndex(o.s->longCableChoices), 1);
        o.reply("slc -1\r\n"); // no mode: ignored whole
        QCOMPARE(o.s->session().longCableValue(), 5);
        QCOMPARE(checkedIndex(o.s->longCableChoices), 1);
        o.reply("smd 07\r\n"); // no such option
        o.reply("smd xy\r\n");
        o.reply("smd -1\r\n");
        QCOMPARE(checkedIndex(o.s->edidModeChoices), 1);
        QCOMPARE(o.s->session().showingReply(), false);
        QCOMPARE(o.f.takeWritten(), QByteArray());
    }

    void replyConfirmsAPendingCommand() {
        Open o;
        // A program change of an option runs the same handler as a click.
        o.s->edidModeChoices[2]->setChecked(true);
        QCOMPARE(o.f.takeWritten(), QByteArray("smd 2\r\n"));
        QCOMPARE(o.s->session().pendingCommand(), QString("smd 2\r\n"));
        QCOMPARE(o.s->session().pending(), true);
        QCOMPARE(o.s->statusText(), QString("Set Command..."));
        QCOMPARE(o.f.dialogs().last().text, kRestart);
        QCOMPARE(o.f.dialogs().last().title, QString("TARVIK-5120-300"));
        o.reply("smd xx\r\n"); // no number: confirms nothing
        QCOMPARE(o.s->session().pending(), true);
        o.reply("smd 02\r\n");
        QCOMPARE(o.s->session().pending(), false);
        QCOMPARE(o.s->statusText(), QString("Set Command Successfully!"));
        QCOMPARE(o.f.takeWritten(), QByteArray());
    }

    void everyConfirmingReplyWord() {
        for (const QByteArray& reply :
             {QByteArray("slc 05\r\n"), QByteArray("swm 01\r\n"), QByteArray("seq 01\r\n"),
              QByteArray("utp 01\r\n"), QByteArray("sed 01\r\n"), QByteArray("rst\r\n")}) {
            Open o;
            o.chooseTo(1);
            o.chooseFrom(0);
            QCOMPARE(o.s->statusText(), QString("Set Command..."));
            o.reply(reply);
            QVERIFY2(!o.s->session().pending(), reply.constData());
            QCOMPARE(o.s->statusText(), QString("Set Command Successfully!"));
        }
        Open o;
        o.chooseTo(1);
        o.chooseFrom(0);
        o.reply("swm ab\r\n"); // no number: stays pending
        o.reply("xyz 01\r\n");
        QCOMPARE(o.s->session().pending(), true);
        QCOMPARE(o.s->statusText(), QString("Set Command..."));
    }

    void aReplyWithNothingPendingChangesNoStatus() {
        Open o;
        o.reply("rst\r\n");
        o.reply("sed FF\r\n");
        o.reply("seq 00\r\n");
        QCOMPARE(o.s->statusText(), QString());
        QVERIFY(o.f.dialogs().messages.isEmpty());
    }

    void twoCommandsBackToBackThenOneConfirmingReply() {
        Open o;
        o.chooseTo(0);
        o.chooseFrom(1);
        o.chooseFrom(2);
        QCOMPARE(o.f.takeWritten(), QByteArray("sed 1 0\r\nsed 2 0\r\n"));
        QCOMPARE(o.s->session().pendingCommand(), QString("sed 2 0\r\n"));
        o.reply("sed 01\r\n");
        QCOMPARE(o.s->session().pending(), false);
        QCOMPARE(o.s->statusText(), QString("Set Command Successfully!"));
        o.reply("sed 01\r\n");
        QCOMPARE(o.s->session().pending(), false);
        QCOMPARE(o.s->session().allPending(), false);
        QCOMPARE(o.s->statusText(), QString("Set Command Successfully!"));
        QCOMPARE(o.f.takeWritten(), QByteArray());
    }

    void copyCommandForms() {
        Open o;
        o.chooseTo(4);
        QCOMPARE(o.f.takeWritten(), QByteArray()); // choosing the target sends nothing
        o.chooseFrom(2);
        QCOMPARE(o.f.takeWritten(), QByteArray("sed 2 4\r\n"));
        QCOMPARE(o.s->session().allPending(), false);

        o.chooseTo(8); // "ALL" empties "From:"
        QCOMPARE(o.s->copySourceList->currentIndex(), -1);
        QCOMPARE(o.s->copySourceList->currentText(), QString());
        QCOMPARE(o.f.takeWritten(), QByteArray());
        o.chooseFrom(0);
        QCOMPARE(o.f.takeWritten(), QByteArray("sed 0 10\r\n"));
        QCOMPARE(o.s->session().allPending(), true);
        QVERIFY(o.f.dialogs().messages.isEmpty()); // no restart notice for a copy
    }

    void copyWithoutTargetSendsFFFF() {
        Open o;
        o.chooseFrom(0);
        QCOMPARE(o.f.takeWritten(), QByteArray("sed 0 FFFF\r\n"));
        // Text typed over a chosen target no longer names it.
        o.chooseTo(3);
        o.s->copyTargetList->setEditText("Input9");
        o.chooseFrom(7);
        QCOMPARE(o.f.takeWritten(), QByteArray("sed 7 FFFF\r\n"));
    }

    void allPortsMasks() {
        Open o;
        o.chooseTo(8);
        o.chooseFrom(0);
        o.reply("sed FF\r\n");
        QCOMPARE(o.s->statusText(), QString("Set All Port Successfully!"));
        QCOMPARE(o.s->session().allPending(), false);
        QCOMPARE(o.s->session().pending(), false);

        o.chooseFrom(1);
        o.reply("sed 00\r\n");
        QCOMPARE(o.s->statusText(), QString("Set All Port Unsuccessfully!"));
        QCOMPARE(o.s->session().allPending(), true);
        QCOMPARE(o.s->session().pending(), false);
        // Still read as a mask, even without a new command.
        o.reply("seq EB\r\n");
        QCOMPARE(o.s->statusText(), QString("Set Port  3  5 Unsuccessfully!"));
        o.reply("utp 7f\r\n");
        QCOMPARE(o.s->statusText(), QString("Set Port  8 Unsuccessfully!"));
        o.reply("sed fe\r\n");
        QCOMPARE(o.s->statusText(), QString("Set Port  1 Unsuccessfully!"));
        QCOMPARE(o.s->session().allPending(), true);
    }

    void clickedGuard() {
        Open o;
        o.s->session().setShowingReply(true);
        o.s->edidModeChoices[5]->setChecked(true);
        o.chooseTo(2);
        o.chooseFrom(2);
        o.s->onLongCableChosen(1);
        QCOMPARE(o.f.takeWritten(), QByteArray());
        QCOMPARE(o.s->session().pending(), false);
        QCOMPARE(o.s->copySourceList->currentIndex(), 2); // "To:" did not empty it
        // "sed" leaves the guard alone, "seq" restores it.
        o.reply("sed 01\r\n");
        QCOMPARE(o.s->session().showingReply(), true);
        o.reply("seq 01\r\n");
        QCOMPARE(o.s->session().showingReply(), false);
    }

    void passwordCases_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("right");
        QTest::newRow("right") << "402615" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("leading blank") << " 402615" << false;
        QTest::newRow("trailing blank") << "402615 " << false;
        QTest::newRow("one digit missing") << "40261" << false;
        QTest::newRow("one digit added") << "4026150" << false;
        QTest::newRow("one digit wrong") << "402616" << false;
    }
    void passwordCases() {
        QFETCH(QString, code);
        QFETCH(bool, right);
        Open o;
        o.s->unlockButton->click();
        PasswordWindow& p = o.s->password();
        QVERIFY(p.isVisible());
        QCOMPARE(p.windowTitle(), QString("Password"));
        QCOMPARE(p.passwordBox->text(), QString());
        QCOMPARE(p.passwordBox->echoMode(), QLineEdit::Password);
        QCOMPARE(p.passwordBox->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                                   p.passwordBox),
                 int('*'));
        QTest::keyClicks(p.passwordBox, code);
        p.okButton->click();
        QVERIFY(!p.isVisible());
        QCOMPARE(o.s->longCableUnlocked, right);
        QCOMPARE(o.s->longCableChoices[0]->isEnabled(), right);
        QCOMPARE(o.s->longCableChoices[1]->isEnabled(), right);
        if (right) {
            QVERIFY(o.f.dialogs().messages.isEmpty());
        } else {
            QCOMPARE(o.f.dialogs().messages.size(), 1);
            QCOMPARE(o.f.dialogs().last().text, QString("Password wrong!"));
            QCOMPARE(o.f.dialogs().last().title, QString("TARVIK-5120-300"));
        }
        QCOMPARE(o.f.takeWritten(), QByteArray()); // the lock is local
    }

    void unlockedStaysUnlockedUntilTheWindowCloses() {
        Open o;
        o.unlock("402615");
        QCOMPARE(o.s->longCableUnlocked, true);

        // Unlock again, then Cancel: nothing changes.
        o.s->unlockButton->click();
        QTest::keyClicks(o.s->password().passwordBox, "nonsense");
        o.s->password().cancelButton->click();
        QVERIFY(!o.s->password().isVisible());
        QCOMPARE(o.s->longCableUnlocked, true);
        QVERIFY(o.s->longCableChoices[1]->isEnabled());

        // Escape works like Cancel, and the box starts empty every time.
        o.s->unlockButton->click();
        QCOMPARE(o.s->password().passwordBox->text(), QString());
        QTest::keyClick(o.s->password().passwordBox, Qt::Key_Escape);
        QVERIFY(!o.s->password().isVisible());
        QCOMPARE(o.s->longCableUnlocked, true);

        // A wrong code locks the options but leaves the options enabled.
        o.unlock("1");
        QCOMPARE(o.s->longCableUnlocked, false);
        QVERIFY(o.s->longCableChoices[0]->isEnabled());

        o.s->reject();
        QCOMPARE(o.f.takeWritten(), QByteArray("sto\r\n"));
        o.f.form->onSettingsClicked();
        QCOMPARE(o.s->longCableUnlocked, false);
        QVERIFY(!o.s->longCableChoices[0]->isEnabled());
        QVERIFY(!o.s->longCableChoices[1]->isEnabled());
    }

    void longCableOptionsSendAfterUnlocking() {
        Open o;
        o.reply("slc 01\r\n");
        o.unlock("402615");
        o.s->longCableChoices[1]->click();
        QCOMPARE(o.f.takeWritten(), QByteArray("slc 3\r\n"));
        QCOMPARE(o.s->session().longCableValue(), 3);
        QCOMPARE(o.f.dialogs().last().text, kRestart);
        QCOMPARE(o.s->statusText(), QString("Set Command..."));
        o.reply("slc 03\r\n");
        QCOMPARE(o.s->statusText(), QString("Set Command Successfully!"));
        o.s->longCableChoices[0]->click();
        QCOMPARE(o.f.takeWritten(), QByteArray("slc 1\r\n"));
        QCOMPARE(o.f.dialogs().messages.size(), 2);
    }

    void factoryResetSendsNotifiesAndCloses() {
        Open o;
        o.s->factoryResetButton->click();
        QCOMPARE(o.f.dialogs().texts(), QStringList{kRestart});
        QVERIFY(!o.s->isVisible());
        QCOMPARE(o.f.form->modes().isOn(protocol::Mode::Setup), false);
        QCOMPARE(o.f.takeWritten(), QByteArray("rst\r\nsto\r\n"));
    }

    void deviceLeavingSettingModeClosesTheWindow() {
        Open o;
        o.chooseTo(8);
        o.chooseFrom(0);
        o.f.takeWritten();
        o.reply("sto\r\n");
        QCOMPARE(o.f.dialogs().last().text, QString("Device quit Setting mode!"));
        QCOMPARE(o.f.dialogs().last().title, QString("TARVIK-5120-300"));
        QVERIFY(!o.s->isVisible());
        QCOMPARE(o.f.form->modes().isOn(protocol::Mode::Setup), false);
        QCOMPARE(o.f.takeWritten(), QByteArray("sto\r\n"));
        // Closing forgot what was pending.
        QCOMPARE(o.s->session().pending(), false);
        QCOMPARE(o.s->session().allPending(), false);
        QCOMPARE(o.s->session().pendingCommand(), QString());
        // The echo of the closing word is no longer the window's business.
        o.reply("sto\r\n");
        QCOMPARE(o.f.dialogs().messages.size(), 1);
        QCOMPARE(o.f.takeWritten(), QByteArray());
    }

    void aNewOpeningStartsWithNothingPending() {
        Open o;
        o.chooseTo(8);
        o.chooseFrom(0);
        o.reply("sed 00\r\n"); // failed all: the copy to all stays pending while open
        QCOMPARE(o.s->session().allPending(), true);
        o.f.takeWritten();
        o.s->reject();
        o.f.form->onSettingsClicked();
        QCOMPARE(o.f.takeWritten(), QByteArray("sto\r\nstm\r\nsts\r\n"));
        QCOMPARE(o.s->statusText(), QString());
        o.reply("sed 00\r\n");
        o.reply("slc 01\r\n");
        QCOMPARE(o.s->statusText(), QString());
        QCOMPARE(o.s->copyTargetList->count(), 9); // the lists are filled anew, not doubled
    }

    void quitWhileThePasswordWindowIsOpenClosesBoth() {
        Open o;
        o.s->unlockButton->click();
        QVERIFY(o.s->password().isVisible());
        o.reply("sto\r\n");
        QVERIFY(!o.s->password().isVisible());
        QVERIFY(!o.s->isVisible());
        QCOMPARE(o.f.takeWritten(), QByteArray("sto\r\n"));
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "test_settings_window.moc"

// The settings window against the simulated switcher, over a pseudo-terminal
// with the real serial port and real timers, and the simulator's settings
// model on its own.

#include "frontends/windows/settings/password_window.h"
#include "frontends/windows/settings/settings_window.h"
#include "tests/support/sim_harness.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

class SettingsEndToEnd : public QObject {
    Q_OBJECT

    static QByteArray replyOf(sim::Device& d, const QByteArray& command) {
        return d.receive(command + "\r\n");
    }

private slots:
    void settingsFlowAgainstTheSimulator() {
        SimHarness h;
        QVERIFY(h.ok);
        h.device.settings.longCable = 1;
        h.device.settings.edidMode = 2;
        QVERIFY(h.waitFor([&] { return h.received.size() == 1; }));
        MainWindow& f = *h.form;

        f.onSettingsClicked();
        SettingsWindow& s = f.settingsWindow();
        QVERIFY(s.isVisible());
        QVERIFY(h.waitFor([&] { return s.edidModeChoices[2]->isChecked(); }));
        QVERIFY(s.longCableChoices[0]->isChecked());
        QVERIFY(h.waitFor([&] { return !f.modes().awaitingEcho(); }));
        QCOMPARE(h.received, (QByteArrayList{"bc ", "stm", "sts"}));
        QCOMPARE(s.statusText(), QString());

        // Unlock, then long cable on.
        s.unlockButton->click();
        QTest::keyClicks(s.password().passwordBox, "402615");
        s.password().okButton->click();
        QVERIFY(s.longCableChoices[1]->isEnabled());
        s.longCableChoices[1]->click();
        QCOMPARE(h.dialogs().last().text,
                 QString("Only when you restart the device, and the change to be effective"));
        QVERIFY(h.waitFor([&] { return s.statusText() == "Set Command Successfully!"; }));
        // Showing the replies to "sts" sent nothing back: "slc 3" came next.
        QCOMPARE(h.received, (QByteArrayList{"bc ", "stm", "sts", "slc 3"}));
        QCOMPARE(h.device.settings.longCable, 3);

        // Copy to all inputs, answered with three different port masks.
        s.copyTargetList->setCurrentIndex(8);
        s.onCopyTargetChosen();
        const QList<std::pair<int, QString>> masks{{255, "Set All Port Successfully!"},
                                                   {0, "Set All Port Unsuccessfully!"},
                                                   {235, "Set Port  3  5 Unsuccessfully!"}};
        for (const auto& [mask, text] : masks) {
            h.device.settings.allPortsMask = mask;
            s.copySourceList->setCurrentIndex(1);
            s.onCopySourceChosen();
            QVERIFY2(h.waitFor([&] { return s.statusText() == text; }), qPrintable(text));
            QCOMPARE(h.received.last(), QByteArray("sed 1 10"));
        }

        // The device leaves setting mode on its own.
        h.line.send(sim::leaveSettingMode(h.device));
        QVERIFY(h.waitFor([&] { return !s.isVisible(); }));
        QCOMPARE(h.dialogs().last().text, QString("Device quit Setting mode!"));
        QCOMPARE(h.dialogs().last().title, QString("TARVIK-5120-300"));
        QCOMPARE(f.modes().isOn(protocol::Mode::Setup), false);
        QVERIFY(h.waitFor([&] { return h.received.last() == "sto"; }));
    }

    void deviceLeavesAfterItsCountOfCommands() {
        SimHarness h;
        QVERIFY(h.ok);
        h.device.settings.leaveAfter = 2; // "sts", then one more command
        QVERIFY(h.waitFor([&] { return h.received.size() == 1; }));
        h.form->onSettingsClicked();
        SettingsWindow& s = h.form->settingsWindow();
        QVERIFY(h.waitFor([&] { return s.edidModeChoices[0]->isChecked(); }));
        QVERIFY(s.isVisible());
        s.copyTargetList->setCurrentIndex(2);
        s.onCopyTargetChosen();
        s.copySourceList->setCurrentIndex(3);
        s.onCopySourceChosen();
        QVERIFY(h.waitFor([&] { return !s.isVisible(); }));
        QCOMPARE(h.dialogs().last().text, QString("Device quit Setting mode!"));
        QVERIFY(h.waitFor([&] { return h.received.last() == "sto"; }));
        QCOMPARE(h.received.mid(1), (QByteArrayList{"stm", "sts", "sed 3 2", "sto"}));
    }

    void simulatorSettingsModel() {
        sim::Device d;
        QCOMPARE(replyOf(d, "sts"), QByteArray("slc 01\r\nsmd 00\r\n"));
        QCOMPARE(replyOf(d, "slc 3"), QByteArray("slc 03\r\n"));
        QCOMPARE(replyOf(d, "smd 5"), QByteArray("smd 05\r\n"));
        QCOMPARE(replyOf(d, "smd 9"), QByteArray("smd 05\r\n")); // no such mode: kept
        QCOMPARE(replyOf(d, "sts"), QByteArray("slc 03\r\nsmd 05\r\n"));
        QCOMPARE(replyOf(d, "sed 0 10"), QByteArray("sed FF\r\n"));
        d.settings.allPortsMask = 0xEB;
        QCOMPARE(replyOf(d, "sed 0 10"), QByteArray("sed EB\r\n"));
        QCOMPARE(replyOf(d, "sed 2 4"), QByteArray("sed 10\r\n"));
        QCOMPARE(replyOf(d, "sed 0 FFFF"), QByteArray("sed 00\r\n"));
        QCOMPARE(replyOf(d, "rst"), QByteArray("rst\r\n"));
        QCOMPARE(d.settings.longCable, 1);
        QCOMPARE(d.settings.edidMode, 0);
        QCOMPARE(replyOf(d, "sip C0 A8 1 A"), QByteArray("Ack\r\n"));
        QCOMPARE(d.settings.address, (std::array<int, 4>{192, 168, 1, 10}));
        QVERIFY(!d.settings.autoAddress);
        QCOMPARE(replyOf(d, "sip 1 2 3"), QByteArray("Ack\r\n"));
        QCOMPARE(d.settings.address, (std::array<int, 4>{192, 168, 1, 10}));
        QCOMPARE(replyOf(d, "dhc"), QByteArray("Ack\r\n"));
        QVERIFY(d.settings.autoAddress);

        // Leaving by itself after a count of settings commands in setting mode.
        d.settings.leaveAfter = 2;
        QCOMPARE(replyOf(d, "slc 1"), QByteArray("slc 01\r\n")); // not in setting mode
        QCOMPARE(replyOf(d, "stm"), QByteArray("stm\r\n"));
        QCOMPARE(replyOf(d, "sts"), QByteArray("slc 01\r\nsmd 00\r\n"));
        QCOMPARE(replyOf(d, "slc 3"), QByteArray("slc 03\r\nsto\r\n"));
        QVERIFY(d.mode.isEmpty());
        QCOMPARE(replyOf(d, "slc 1"), QByteArray("slc 01\r\n"));
    }

    void simulatorOptions() {
        QCommandLineParser p;
        sim::addOptions(p);
        QVERIFY(p.parse({"sim", "--all-ports-mask", "eb", "--leave-setting-after", "3"}));
        sim::Device d;
        QString error;
        QVERIFY(sim::applyOptions(p, d, &error));
        QCOMPARE(d.settings.allPortsMask, 0xEB);
        QCOMPARE(d.settings.leaveAfter, 3);

        for (const QStringList& bad : {QStringList{"sim", "--all-ports-mask", "100"},
                                       QStringList{"sim", "--all-ports-mask", "zz"},
                                       QStringList{"sim", "--leave-setting-after", "0"}}) {
            QCommandLineParser q;
            sim::addOptions(q);
            QVERIFY(q.parse(bad));
            sim::Device e;
            QVERIFY(!sim::applyOptions(q, e, &error));
            QVERIFY(!error.isEmpty());
        }
    }
};

QTEST_MAIN(SettingsEndToEnd)
#include "test_settings_end_to_end.moc"

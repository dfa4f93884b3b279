// "Back up switcher…" and "Restore switcher…" on the core and the simulated
// switcher in this process: the file saved, the differences shown for
// confirmation, nothing written when the operator declines, the outcome
// item by item, and Cancel in the progress dialog leaving the mode.

#include "frontends/windows/main_window/backup_flow.h"
#include "testing/fakes/fake_dialogs.h"
#include "tests/core/core_fixture.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using main_window::BackupFlow;

namespace {

// Lets the fixture's switcher answer until the flow says it is over.
bool drive(CoreFixture& c, BackupFlow& flow, const std::function<void()>& act) {
    bool over = false;
    const auto connection = QObject::connect(&flow, &BackupFlow::over, [&] { over = true; });
    act();
    for (int i = 0; i < 5000 && !over; ++i)
        c.run(20);
    QObject::disconnect(connection);
    return over;
}

} // namespace

class BackupWindow : public QObject {
    Q_OBJECT
private slots:
    void backUpThenRestoreOnConfirmation() {
        CoreFixture source, target;
        source.device.routing[0] = 3;
        source.device.ir.codes[4] = 0x55;
        QWidget window;
        platform::FakeDialogs dialogs;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("unit.json"));
        BackupFlow a(&window, *source.core, dialogs);
        dialogs.fileAnswers = {file};
        QVERIFY(drive(source, a, [&] { a.backUp(); }));
        QVERIFY2(dialogs.last().text.startsWith("The switcher was backed up to " + file),
                 qPrintable(dialogs.last().text));

        BackupFlow b(&window, *target.core, dialogs);
        dialogs.fileAnswers = {file};
        dialogs.confirmAnswers = {false};
        QVERIFY(drive(target, b, [&] { b.restore(); }));
        QCOMPARE(dialogs.last().text, QStringLiteral("Nothing was written."));
        const QString asked = dialogs.messages.at(dialogs.messages.size() - 2).text;
        QVERIFY2(asked.startsWith("2 differences") &&
                     asked.contains(QStringLiteral("output 1: input 1 \u2192 input 4")) &&
                     asked.contains(QStringLiteral("IR code 4: 04 \u2192 55")),
                 qPrintable(asked));
        QCOMPARE(target.device.routing[0], 0);

        dialogs.fileAnswers = {file};
        dialogs.confirmAnswers = {true};
        QVERIFY(drive(target, b, [&] { b.restore(); }));
        QVERIFY2(dialogs.last().text.startsWith("The switcher was restored.\n\nWritten:\n  IR "
                                                "code table\n  output 1\n\nNot written:\n  "
                                                "nothing"),
                 qPrintable(dialogs.last().text));
        QCOMPARE(target.device.routing[0], 3);
        QCOMPARE(target.device.ir.codes[4], 0x55);
    }

    void cancelLeavesTheMode() {
        CoreFixture c;
        QWidget window;
        platform::FakeDialogs dialogs;
        QTemporaryDir dir;
        BackupFlow flow(&window, *c.core, dialogs);
        dialogs.fileAnswers = {dir.filePath(QStringLiteral("unit.json"))};
        QVERIFY(drive(c, flow, [&] {
            flow.backUp();
            c.run(20);
            auto* progress = window.findChild<QProgressDialog*>();
            QVERIFY(progress && progress->value() > 0);
            progress->findChild<QPushButton*>()->click();
        }));
        QVERIFY2(dialogs.last().text.startsWith("Stopped at input 1 EDID; the switcher has left"),
                 qPrintable(dialogs.last().text));
        QVERIFY(c.device.mode.isEmpty());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("unit.json"))));
    }
};

QTEST_MAIN(BackupWindow)
#include "test_backup_flow.moc"

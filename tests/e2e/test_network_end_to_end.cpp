// The program core over a serial device server: the real platform, the real
// network port and a COM1 file naming the simulator, started as
// `hdmi-matrix-sim --tcp 0` on the loopback address.

#include "edid/edid_transfer.h"
#include "edid/edidset.h"
#include "main_window/form1.h"
#include "platform/fakes/fake_dialogs.h"
#include "platform/qt_platform.h"
#include "tests/support/sim_harness.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The simulator on a free port, the program in a folder whose COM1 file
// names it.
struct NetworkRig {
    explicit NetworkRig(bool serve = true) {
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QString target = QStringLiteral("tcp://127.0.0.1:%1").arg(unusedPort());
        if (serve) {
            sim.start(QStringLiteral(HDMI_SIM_PATH), {"--tcp", "0", "--quiet"});
            QByteArray banner;
            SimHarness::waitFor([&] {
                banner += sim.readAllStandardOutput();
                return banner.contains('\n') || sim.state() == QProcess::NotRunning;
            });
            const qsizetype at = banner.indexOf("tcp://");
            target = QString::fromLatin1(banner.mid(at, banner.indexOf('\n') - at)).trimmed();
        }
        QFile com(QStringLiteral("COM1"));
        if (com.open(QIODevice::WriteOnly))
            com.write(target.toLatin1() + "\n");
        com.close();
        form = std::make_unique<Form1>(platform, dialogs);
        form->Form_Load();
    }
    ~NetworkRig() {
        form.reset();
        sim.kill();
        sim.waitForFinished();
        QDir::setCurrent(previous);
    }
    // A port nothing listens on.
    static quint16 unusedPort() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }
    bool connected() {
        return SimHarness::waitFor([&] { return form->Shape15->isLit(); });
    }
    int litInput(int output) {
        for (int i = 0; i < 8; ++i)
            if (form->lamps[output - 1][i]->isLit())
                return i + 1;
        return 0;
    }

    QTemporaryDir dir;
    QString previous;
    QProcess sim;
    platform::QtPlatform platform;
    platform::FakeDialogs dialogs;
    std::unique_ptr<Form1> form;
};

} // namespace

class NetworkEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void greetsRoutesAndReadsAnEdidThroughTheServer() {
        NetworkRig r;
        QVERIFY(r.sim.state() == QProcess::Running);
        QCOMPARE(r.form->Command7->text(), QString("Connecting..."));
        QVERIFY(r.connected());
        QCOMPARE(r.form->Command7->text(), QString("Disconnect"));
        QVERIFY(r.form->Combo1->itemData(0, Qt::ToolTipRole).toString().contains("127.0.0.1"));
        QVERIFY(SimHarness::waitFor([&] { return r.litInput(8) == 8; }));
        r.form->Command1[23]->click();
        QVERIFY(SimHarness::waitFor([&] { return r.litInput(2) == 3; }));
        r.form->Command9_Click();
        QVERIFY(SimHarness::waitFor([&] { return !r.form->modes().Timer2->isActive(); }));
        r.form->edidSet().ReadEDIDBtn->click();
        QVERIFY(SimHarness::waitFor(
            [&] { return r.form->edidSet().statusText() == "Read EDID OK!"; }, 20000));
        QVERIFY(r.dialogs.messages.isEmpty());
    }

    void aServerGoneMidTransferEndsItAndShowsTheClosedState() {
        NetworkRig r;
        QVERIFY(r.connected());
        r.form->Command9_Click();
        QVERIFY(SimHarness::waitFor([&] { return !r.form->modes().Timer2->isActive(); }));
        edid::EdidTransfer& t = r.form->edidSet().transfer();
        r.form->edidSet().ReadEDIDBtn->click();
        QVERIFY(SimHarness::waitFor([&] { return t.slave > 20; }));
        r.sim.kill();
        QVERIFY(SimHarness::waitFor([&] { return r.form->Shape16->isLit() && !t.running(); }));
        QCOMPARE(r.form->Command7->text(), QString("Connect"));
        QVERIFY(t.statusText() == "Time Out!" || t.statusText() == "Read EDID Err!");
    }

    void aRefusedConnectionNamesTheServer() {
        NetworkRig r(false);
        QVERIFY(SimHarness::waitFor([&] { return r.form->Shape16->isLit(); }));
        QCOMPARE(r.dialogs.messages.size(), 1);
        QVERIFY(r.dialogs.last().text.startsWith("Cannot reach the server 127.0.0.1:"));
        QCOMPARE(r.dialogs.last().title, QString("ERROR"));
        QCOMPARE(r.form->Command7->text(), QString("Connect"));
    }
};

QTEST_MAIN(NetworkEndToEnd)
#include "test_network_end_to_end.moc"

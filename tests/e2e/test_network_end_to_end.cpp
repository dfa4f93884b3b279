// The program core over a serial device server: the real platform, the real
// network port and a COM1 file naming `hdmi-matrix-sim --tcp 0`.

#include "core/edid/edid_transfer.h"
#include "core/platform/qt_platform.h"
#include "frontends/windows/edid/edid_window.h"
#include "frontends/windows/main_window/main_window.h"
#include "testing/fakes/fake_dialogs.h"
#include "tests/support/sim_harness.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>

namespace {

// The simulator on a free port (or nothing listening), the program in a
// folder whose COM1 file names it.
struct NetworkRig {
    explicit NetworkRig(bool serve = true) {
        QDir::setCurrent(dir.path());
        QTcpServer unused;
        unused.listen(QHostAddress::LocalHost);
        QByteArray target = "tcp://127.0.0.1:" + QByteArray::number(unused.serverPort());
        unused.close();
        if (serve) {
            sim.start(QStringLiteral(HDMI_SIM_PATH), {"--tcp", "0", "--quiet"});
            QByteArray banner;
            SimHarness::waitFor([&] { return (banner += sim.readAll()).contains('\n'); });
            target = banner.mid(banner.indexOf("tcp://")).trimmed();
        }
        QFile com(QStringLiteral("COM1"));
        if (com.open(QIODevice::WriteOnly))
            com.write(target + "\n");
        com.close();
        form = std::make_unique<MainWindow>(platform, dialogs);
        form->startUp();
    }
    ~NetworkRig() {
        form.reset();
        sim.kill();
        sim.waitForFinished();
        QDir::setCurrent(previous);
    }
    bool until(const std::function<bool()>& cond) { return SimHarness::waitFor(cond, 20000); }
    bool lit(int output, int input) { return form->lamps[output - 1][input - 1]->isLit(); }
    bool inEdidMode() {
        form->onEdidClicked();
        return until([&] { return !form->modes().awaitingEcho(); });
    }

    QString previous = QDir::currentPath();
    QTemporaryDir dir;
    QProcess sim;
    platform::QtPlatform platform;
    platform::FakeDialogs dialogs;
    std::unique_ptr<MainWindow> form;
};

} // namespace

class NetworkEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void greetsRoutesAndReadsAnEdidThroughTheServer() {
        NetworkRig r;
        QCOMPARE(r.form->connectButton->text(), QString("Connecting..."));
        QVERIFY(r.until([&] { return r.form->connectedLamp->isLit() && r.lit(8, 8); }));
        QCOMPARE(r.form->connectButton->text(), QString("Disconnect"));
        QVERIFY(r.form->portList->itemData(0, Qt::ToolTipRole).toString().contains("127.0.0.1"));
        r.form->routeButtons[1][2]->click();
        QVERIFY(r.until([&] { return r.lit(2, 3); }));
        QVERIFY(r.inEdidMode());
        r.form->edidWindow().readButton->click();
        QVERIFY(r.until([&] { return r.form->edidWindow().statusText() == "Read EDID OK!"; }));
        QVERIFY(r.dialogs.messages.isEmpty());
    }

    void aServerGoneMidTransferEndsItAndShowsTheClosedState() {
        NetworkRig r;
        QVERIFY(r.until([&] { return r.form->connectedLamp->isLit(); }) && r.inEdidMode());
        edid::EdidTransfer& t = r.form->edidWindow().transfer();
        r.form->edidWindow().readButton->click();
        QVERIFY(r.until([&] { return t.nextByte() > 20; }));
        r.sim.kill();
        QVERIFY(r.until([&] { return r.form->disconnectedLamp->isLit() && !t.running(); }));
        QCOMPARE(r.form->connectButton->text(), QString("Connect"));
        const QString status = r.form->edidWindow().statusText();
        QVERIFY2(status == "Time Out!" || status == "Read EDID Err!", qPrintable(status));
    }

    void aRefusedConnectionNamesTheServer() {
        NetworkRig r(false);
        QVERIFY(r.until([&] { return r.form->disconnectedLamp->isLit(); }));
        QCOMPARE(r.dialogs.messages.size(), 1);
        QVERIFY(r.dialogs.last().text.startsWith("Cannot reach the server 127.0.0.1:"));
        QCOMPARE(r.dialogs.last().title, QString("ERROR"));
    }
};

QTEST_MAIN(NetworkEndToEnd)
#include "test_network_end_to_end.moc"

// The IR routing window on the fake platform: its panels, the commands of
// its buttons and list, and the lamps the device's reports light.

#include "core/ir/ir_routing.h"
#include "frontends/windows/ir/ir_routing_window.h"
#include "tests/support/form_fixture.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

QList<int> litLamps(const IrRoutingWindow& m) {
    QList<int> lit;
    for (int n = 0; n < 64; ++n)
        if (m.lamps[n]->isLit())
            lit << n;
    return lit;
}

} // namespace

class IrRoutingWindowTest : public QObject {
    Q_OBJECT
private slots:
    void opensWithAStatusQuery() {
        FormFixture f;
        f.takeWritten();
        f.form->onIrRoutingClicked();
        IrRoutingWindow& m = f.form->irRoutingWindow();
        QCOMPARE(f.takeWritten(), QByteArray("ims\r\n"));
        QVERIFY(m.isVisible());
        QCOMPARE(m.windowTitle(), QString("IRMRX"));
        QCOMPARE(m.allOutputsList->count(), 8);
        for (int i = 0; i < 8; ++i)
            QCOMPARE(m.allOutputsList->itemText(i), QString("IR PORT%1").arg(i + 1));
        QCOMPARE(m.allOutputsList->currentIndex(), -1);
        QCOMPARE(m.statusButton->text(), QString("Status"));
        m.close();
        f.form->onIrRoutingClicked();
        QCOMPARE(m.allOutputsList->count(), 8); // filled afresh, not twice
        QCOMPARE(m.allOutputsList->currentIndex(), -1);
        QCOMPARE(f.takeWritten(), QByteArray("ims\r\n")); // nothing on closing
        QCOMPARE(f.form->modes().isOn(protocol::Mode::Ir), false);
    }

    void panelsButtonsAndLamps() {
        FormFixture f;
        IrRoutingWindow& m = f.form->irRoutingWindow();
        const QStringList titles{" 1", " 2", "3", "4", "5", "6", "7", "8"};
        auto* panels = qobject_cast<QGridLayout*>(m.layout()->itemAt(0)->layout());
        QVERIFY(panels);
        for (int k = 0; k < 8; ++k) {
            QCOMPARE(m.outputTitles[k]->text(), titles[k]);
            QCOMPARE(m.outputTitles[k]->parentWidget(), m.outputPanels[k]);
            int r, c, rs, cs;
            panels->getItemPosition(panels->indexOf(m.outputPanels[k]), &r, &c, &rs, &cs);
            QCOMPARE(r, k / 2);
            QCOMPARE(c, k % 2);
        }
        for (int n = 0; n < 64; ++n) {
            QCOMPARE(m.routeButtons[n]->text(), QString::number(n % 8 + 1));
            QCOMPARE(m.routeButtons[n]->parentWidget(), m.outputPanels[n / 8]);
            QCOMPARE(m.lamps[n]->parentWidget(), m.outputPanels[n / 8]);
            QCOMPARE(m.lamps[n]->accessibleName(),
                     QString("IR output %1 input %2: dark").arg(n / 8 + 1).arg(n % 8 + 1));
            QVERIFY(!m.lamps[n]->isLit());
        }
    }

    void buttonsAndListSendRoutes() {
        FormFixture f;
        f.form->onIrRoutingClicked();
        IrRoutingWindow& m = f.form->irRoutingWindow();
        f.takeWritten();
        m.routeButtons[0]->click();
        QCOMPARE(f.takeWritten(), QByteArray("srp 0 0\r\n"));
        m.routeButtons[10]->click();
        QCOMPARE(f.takeWritten(), QByteArray("srp 1 2\r\n"));
        m.routeButtons[63]->click();
        QCOMPARE(f.takeWritten(), QByteArray("srp 7 7\r\n"));
        m.allOutputsList->setCurrentIndex(2);
        emit m.allOutputsList->activated(2);
        QCOMPARE(f.takeWritten(), QByteArray("srp 8 2\r\n"));
        m.statusButton->click();
        QCOMPARE(f.takeWritten(), QByteArray("ims\r\n"));
        // Nothing lights until the device reports.
        QVERIFY(litLamps(m).isEmpty());
    }

    void aFailedPortIsReported() {
        FormFixture f;
        f.form->onIrRoutingClicked();
        IrRoutingWindow& m = f.form->irRoutingWindow();
        f.port().pullPlug();
        m.routeButtons[5]->click();
        QCOMPARE(f.dialogs().last(),
                 (platform::FakeDialogs::Message{"open serial port fail\uFF01 ", "ERROR"}));
        m.statusButton->click();
        QCOMPARE(f.dialogs().messages.size(), 2);
    }

    void ledstatusLightsOneLampPerPanel() {
        FormFixture f;
        IrRoutingWindow& m = f.form->irRoutingWindow();
        ir::IrRouting& r = f.form->device().irRouting();
        r.reported("0", "1");
        r.reported("3", "5");
        QCOMPARE(litLamps(m), (QList<int>{1, 29}));
        QCOMPARE(m.lamps[29]->accessibleName(), QString("IR output 4 input 6: lit"));
        r.reported("3", "2");
        QCOMPARE(litLamps(m), (QList<int>{1, 26}));
        QCOMPARE(m.lamps[29]->accessibleName(), QString("IR output 4 input 6: dark"));
        r.reported("7", "0");
        r.reported("1", "05");
        QCOMPARE(litLamps(m), (QList<int>{1, 13, 26, 56}));
    }

    void reportsThatNameNoPortChangeNothing() {
        FormFixture f;
        IrRoutingWindow& m = f.form->irRoutingWindow();
        ir::IrRouting& r = f.form->device().irRouting();
        r.reported("3", "5");
        r.reported("7", "7");
        const QList<int> before = litLamps(m);
        for (const auto& [aa, bb] : QList<std::pair<QString, QString>>{{"8", "1"},
                                                                       {"", "1"},
                                                                       {"03", "1"},
                                                                       {"a", "1"},
                                                                       {"3", "8"},
                                                                       {"3", "9"},
                                                                       {"7", "8"},
                                                                       {"3", ""},
                                                                       {"3", "x"},
                                                                       {"3", "18"}}) {
            r.reported(aa, bb);
            QVERIFY2(litLamps(m) == before, qPrintable(aa + "/" + bb));
        }
    }

    void reportsFromTheLine() {
        FormFixture f;
        f.receive("srp  2  4\r\n");
        IrRoutingWindow& m = f.form->irRoutingWindow();
        QVERIFY(!m.isVisible());
        QCOMPARE(f.form->device().irRouting().lastReportedOutput(), QString("2"));
        QCOMPARE(f.form->device().irRouting().lastReportedInput(), QString("4"));
        // Reports that came while the window was closed show on opening.
        f.form->onIrRoutingClicked();
        QCOMPARE(litLamps(m), (QList<int>{20}));
        f.receive("srp  2  6\r\nsrp  5  0\r\n");
        QCOMPARE(litLamps(m), (QList<int>{22, 40}));
        m.close();
        f.receive("srp  5  3\r\n");
        f.form->onIrRoutingClicked();
        QCOMPARE(litLamps(m), (QList<int>{22, 43}));
        // A report with no input digit at character 9 changes nothing.
        f.receive("srp  5\r\n");
        QCOMPARE(litLamps(m), (QList<int>{22, 43}));
        QVERIFY(!f.form->logText().contains("srp"));
    }
};

QTEST_MAIN(IrRoutingWindowTest)
#include "test_ir_routing_window.moc"

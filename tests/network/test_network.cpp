// The IP address control and the network address window.

#include "frontends/windows/network/ipbox.h"
#include "frontends/windows/network/network_window.h"
#include "tests/support/form_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

const QString kTooFewDots = QStringLiteral("Ip 地址格式错误\r\n正确的格式应该为: 255.255.255.255");

// A main window with the network address window open and the start-up bytes
// taken.
struct OpenSetIp {
    FormFixture f;
    NetworkWindow* w = nullptr;
    explicit OpenSetIp(bool portOpen = true) {
        f.takeWritten();
        if (!portOpen)
            f.form->link().close();
        f.form->onNetworkClicked();
        w = &f.form->networkWindow();
    }
};

} // namespace

class Network : public QObject {
    Q_OBJECT

private slots:
    void newControlReadsZeros() {
        ipBox box;
        QCOMPARE(box.Address(), QString("0.0.0.0"));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(box.field(i)->text(), QString("0"));
            QCOMPARE(box.field(i)->accessibleName(), QString("IP address field %1").arg(i + 1));
        }
    }

    void addressRoundTrips_data() {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("read");
        QTest::newRow("private") << "192.168.1.10"
                                 << "192.168.1.10";
        QTest::newRow("all ones") << "255.255.255.255"
                                  << "255.255.255.255";
        QTest::newRow("leading zeros") << "010.001.000.009"
                                       << "10.1.0.9";
        QTest::newRow("fifth part ignored") << "1.2.3.4.5"
                                            << "1.2.3.4";
        QTest::newRow("empty fifth part") << "1.2.3.4."
                                          << "1.2.3.4";
        QTest::newRow("blanks around parts") << " 1. 2 .3.4"
                                             << "1.2.3.4";
    }
    void addressRoundTrips() {
        QFETCH(QString, written);
        QFETCH(QString, read);
        ipBox box;
        QVERIFY(!box.setAddress(written));
        QCOMPARE(box.Address(), read);
        QCOMPARE(box.property("Address").toString(), read);
        QCOMPARE(QAccessible::queryAccessibleInterface(&box)->text(QAccessible::Name),
                 "IP address: " + read);
    }

    void tooFewDotsIsError102() {
        ipBox box;
        QVERIFY(!box.setAddress("9.8.7.6"));
        for (const QString& text : {QString("1.2.3"), QString(""), QString("1234")}) {
            const std::optional<IpError> e = box.setAddress(text);
            QVERIFY(e.has_value());
            QCOMPARE(e->number, 102);
            QCOMPARE(e->description, kTooFewDots);
            QCOMPARE(box.Address(), QString("9.8.7.6"));
        }
    }

    void malformedPartsLeaveTheAddressAlone_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("part");
        QTest::newRow("empty second") << "1..2.3" << 2;
        QTest::newRow("above 255") << "300.1.1.1" << 1;
        QTest::newRow("letters") << "1.2.c.4" << 3;
        QTest::newRow("negative") << "1.2.3.-4" << 4;
        QTest::newRow("empty fourth") << "1.2.3." << 4;
        QTest::newRow("huge") << "1.99999999999.3.4" << 2;
        // U+2E00 holds the byte of "." in its UTF-16 form: counted as a dot,
        // but it splits nothing, so the fourth part is missing.
        QTest::newRow("dot hidden in a wide character") << QString::fromUtf16(u"1.2.3\u2E00") << 3;
    }
    void malformedPartsLeaveTheAddressAlone() {
        QFETCH(QString, text);
        QFETCH(int, part);
        ipBox box;
        QVERIFY(!box.setAddress("9.8.7.6"));
        const std::optional<IpError> e = box.setAddress(text);
        QVERIFY(e.has_value());
        QCOMPARE(e->number, 103);
        QVERIFY(e->description.startsWith(QStringLiteral("Ip 地址格式错误\r\n第 %1 段").arg(part)));
        QCOMPARE(box.Address(), QString("9.8.7.6"));
    }

    void countIfCountsTheCharacter() {
        QCOMPARE(network::CountIF("1.2.3.4", '.'), 3);
        QCOMPARE(network::CountIF("", '.'), 0);
        QCOMPARE(network::CountIF("a.b", 'b'), 1);
        QCOMPARE(network::CountIF(QString::fromUtf16(u"\u2E2E"), '.'), 2);
    }

    void blankFieldReadsZero() {
        ipBox box;
        QVERIFY(!box.setAddress("1.2.3.4"));
        box.field(2)->clear();
        QCOMPARE(box.Address(), QString("1.2.0.4"));
    }

    void keyboardEntryMovesThroughTheFields() {
        ipBox box;
        box.show();
        box.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&box));
        box.field(0)->setFocus();
        box.field(0)->selectAll();
        QTest::keyClicks(box.field(0), "192"); // three digits move on
        QVERIFY(box.field(1)->hasFocus());
        QTest::keyClicks(box.field(1), "168.");
        QVERIFY(box.field(2)->hasFocus());
        QTest::keyClicks(box.field(2), "1.");
        QVERIFY(box.field(3)->hasFocus());
        QTest::keyClicks(box.field(3), "10");
        QCOMPARE(box.Address(), QString("192.168.1.10"));

        // Backspace empties the field, then goes back to the previous one.
        QTest::keyClick(box.field(3), Qt::Key_Backspace);
        QTest::keyClick(box.field(3), Qt::Key_Backspace);
        QVERIFY(box.field(3)->hasFocus());
        QTest::keyClick(box.field(3), Qt::Key_Backspace);
        QVERIFY(box.field(2)->hasFocus());
        QTest::keyClick(box.field(2), Qt::Key_Backspace);
        QCOMPARE(box.Address(), QString("192.168.0.0"));

        // A value above 255 cannot be typed; a dot in an empty field stays.
        box.field(2)->clear();
        QTest::keyClicks(box.field(2), "30");
        QTest::keyClick(box.field(2), Qt::Key_9);
        QCOMPARE(box.field(2)->text(), QString("30"));
        box.field(3)->setFocus();
        box.field(3)->clear();
        QTest::keyClick(box.field(3), Qt::Key_Period);
        QVERIFY(box.field(3)->hasFocus());
        QTest::keyClicks(box.field(3), "x-");
        QCOMPARE(box.field(3)->text(), QString());
    }

    void windowOpensOnTheAutomaticChoice() {
        OpenSetIp o;
        QVERIFY(o.w->isVisible());
        QCOMPARE(o.w->windowTitle(), QString("Set IP"));
        QCOMPARE(o.w->font().family(), QString("Verdana"));
        QVERIFY(o.w->automaticChoice->isChecked());
        QVERIFY(!o.w->addressFrame->isVisible());
        QCOMPARE(o.w->automaticAddress, true);
        QCOMPARE(o.w->addressBox->Address(), QString("0.0.0.1"));
        QCOMPARE(o.f.takeWritten(), QByteArray()); // opening sends nothing
    }

    void okStraightAfterOpeningSendsDhc() {
        OpenSetIp o;
        o.w->okButton->click();
        QCOMPARE(o.f.takeWritten(), QByteArray("dhc\r\n"));
        QVERIFY(!o.w->isVisible());
        QVERIFY(o.f.dialogs().messages.isEmpty());
    }

    void fixedAddressCommands_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("default") << "" << QByteArray("sip 0 0 0 1\r\n");
        QTest::newRow("private") << "192.168.1.10" << QByteArray("sip C0 A8 1 A\r\n");
        QTest::newRow("all ones") << "255.255.255.255" << QByteArray("sip FF FF FF FF\r\n");
    }
    void fixedAddressCommands() {
        QFETCH(QString, address);
        QFETCH(QByteArray, command);
        OpenSetIp o;
        o.w->staticChoice->click();
        QVERIFY(o.w->addressFrame->isVisible());
        QCOMPARE(o.w->automaticAddress, false);
        if (!address.isEmpty())
            QVERIFY(!o.w->addressBox->setAddress(address));
        o.w->okButton->click();
        QCOMPARE(o.f.takeWritten(), command);
        QVERIFY(!o.w->isVisible());
    }

    void commandBuilderReadsDigitGroups() {
        QCOMPARE(network::fixedAddressCommand("10.0.0.1"), QString("sip A 0 0 1\r\n"));
        QCOMPARE(network::fixedAddressCommand("..1.2"), QString("sip 0 0 1 2\r\n"));
        QCOMPARE(network::fixedAddressCommand("16.32.64.128"), QString("sip 10 20 40 80\r\n"));
    }

    void backToAutomaticHidesTheAddress() {
        OpenSetIp o;
        o.w->staticChoice->click();
        o.w->automaticChoice->click();
        QVERIFY(!o.w->addressFrame->isVisible());
        QCOMPARE(o.w->automaticAddress, true);
        o.w->okButton->click();
        QCOMPARE(o.f.takeWritten(), QByteArray("dhc\r\n"));
    }

    void reopeningStartsOverAndCancelSendsNothing() {
        OpenSetIp o;
        o.w->staticChoice->click();
        QVERIFY(!o.w->addressBox->setAddress("10.9.8.7"));
        o.w->cancelButton->click();
        QVERIFY(!o.w->isVisible());
        QCOMPARE(o.f.takeWritten(), QByteArray());
        o.f.form->onNetworkClicked();
        QVERIFY(o.w->automaticChoice->isChecked());
        QVERIFY(!o.w->addressFrame->isVisible());
        QCOMPARE(o.w->addressBox->Address(), QString("0.0.0.1"));
        QTest::keyClick(o.w, Qt::Key_Escape);
        QVERIFY(!o.w->isVisible());
        QCOMPARE(o.f.takeWritten(), QByteArray());
        QVERIFY(o.f.dialogs().messages.isEmpty());
    }

    void okWithThePortClosedReportsAndCloses() {
        OpenSetIp o(false);
        QVERIFY(o.w->isVisible()); // the window opens without a port
        o.w->okButton->click();
        QCOMPARE(o.f.dialogs().messages.size(), 1);
        QCOMPARE(o.f.dialogs().last().text, QString("open serial port fail\uFF01 "));
        QCOMPARE(o.f.dialogs().last().title, QString("ERROR"));
        QVERIFY(!o.w->isVisible());
        QCOMPARE(o.f.takeWritten(), QByteArray());
    }

    void aRefusedWriteIsReportedToo() {
        OpenSetIp o;
        o.f.port().refuseWrite = true;
        o.w->staticChoice->click();
        o.w->okButton->click();
        QCOMPARE(o.f.dialogs().last().title, QString("ERROR"));
        QVERIFY(!o.w->isVisible());
    }
};

QTEST_MAIN(Network)
#include "test_network.moc"

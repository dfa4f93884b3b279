// The number readers and writers behind the settings window and its replies.

#include "core/settings/setting_numbers.h"
#include "core/settings/settings_session.h"

#include <QTest>

using namespace settings;

class SettingNumbers : public QObject {
    Q_OBJECT

private slots:
    void decimalReaderSkipsBlanksAndStopsAtTheFirstStranger_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("two digits") << "02" << 2.0;
        QTest::newRow("digit and CR") << "3\r" << 3.0;
        QTest::newRow("leading blank") << " 3" << 3.0;
        QTest::newRow("tab and line feed") << "\t\n7" << 7.0;
        QTest::newRow("blank inside") << "1 2" << 12.0;
        QTest::newRow("stops at letter") << "4x" << 4.0;
        QTest::newRow("letter first") << "x4" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("CR only") << "\r" << 0.0;
        QTest::newRow("negative") << "-5" << -5.0;
        QTest::newRow("fraction") << ".5" << 0.5;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
    }
    void decimalReaderSkipsBlanksAndStopsAtTheFirstStranger() {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(readDecimal(text), value);
    }

    void hexReaderTakesEitherCase_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("FF") << "FF" << 255;
        QTest::newRow("ff") << "ff" << 255;
        QTest::newRow("Ff") << "Ff" << 255;
        QTest::newRow("7F") << "7F" << 127;
        QTest::newRow("EB") << "EB" << 235;
        QTest::newRow("A and CR") << "A\r" << 10;
        QTest::newRow("stops at G") << "1G" << 1;
        QTest::newRow("nothing readable") << "G1" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("blank first") << " F" << 0;
    }
    void hexReaderTakesEitherCase() {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(readHex(text), value);
    }

    void numberTestAcceptsOnlyANumber() {
        QCOMPARE(numberOf("02").value_or(-99), 2.0);
        QCOMPARE(numberOf("5\r").value_or(-99), 5.0);
        QCOMPARE(numberOf(" 4").value_or(-99), 4.0);
        QCOMPARE(numberOf("-3").value_or(-99), -3.0);
        QVERIFY(!numberOf("ab"));
        QVERIFY(!numberOf("1x"));
        QVERIFY(!numberOf(""));
        QVERIFY(!numberOf("\r"));
        QVERIFY(!numberOf("-"));
        QVERIFY(!numberOf("2\r\r"));
    }

    void getbitReadsOneBit() {
        QCOMPARE(settings::bit(235, 0), 1);
        QCOMPARE(settings::bit(235, 1), 1);
        QCOMPARE(settings::bit(235, 2), 0);
        QCOMPARE(settings::bit(235, 3), 1);
        QCOMPARE(settings::bit(235, 4), 0);
        QCOMPARE(settings::bit(235, 7), 1);
        QCOMPARE(settings::bit(127, 7), 0);
        QCOMPARE(settings::bit(0, 0), 0);
        QCOMPARE(settings::bit(1, 0), 1);
    }

    void hexWritesCommandArguments() {
        QCOMPARE(hex(0), QString("0"));
        QCOMPARE(hex(3), QString("3"));
        QCOMPARE(hex(7), QString("7"));
        QCOMPARE(hex(10), QString("A"));
        QCOMPARE(hex(255), QString("FF"));
        QCOMPARE(hex(-1), QString("FFFF"));
    }

    void allPortsStatusTexts_data() {
        QTest::addColumn<int>("mask");
        QTest::addColumn<QString>("text");
        QTest::newRow("255") << 255 << "Set All Port Successfully!";
        QTest::newRow("0") << 0 << "Set All Port Unsuccessfully!";
        QTest::newRow("235") << 235 << "Set Port  3  5 Unsuccessfully!";
        QTest::newRow("254") << 254 << "Set Port  1 Unsuccessfully!";
        QTest::newRow("127") << 127 << "Set Port  8 Unsuccessfully!";
        QTest::newRow("1") << 1 << "Set Port  2  3  4  5  6  7  8 Unsuccessfully!";
    }
    void allPortsStatusTexts() {
        QFETCH(int, mask);
        QFETCH(QString, text);
        QCOMPARE(allPortsStatus(mask, protocol::Model::standard().inputs), text);
    }
};

QTEST_MAIN(SettingNumbers)
#include "test_setting_numbers.moc"

// The EDID image on its own: the cell grid of the hex view, the two text
// forms, the header and checksum tests, the transfer commands, and the
// image files.

#include "core/edid/edid_image.h"
#include "core/files/edid_file.h"
#include "frontends/windows/edid/hex_view.h"
#include "tests/edid/edid_test_util.h"

#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QTemporaryDir>
#include <QTest>

using edid::Image;
using namespace edidtest;

namespace {

Image parse(const QString& text) {
    int pos = 1;
    return edid::parseView(text, pos);
}

} // namespace

class EdidImageTest : public QObject {
    Q_OBJECT

private slots:
    void setChecksumsMakesEachBlockPass() {
        edid::Image m{};
        for (int i = 0; i < edid::kImageSize; ++i)
            m[std::size_t(i)] = std::uint8_t(i * 37 + 11);
        QVERIFY(!edid::checksumOk(m));
        edid::setChecksums(m);
        QVERIFY(edid::checksumOk(m));
        // Each block on its own: spoiling the first leaves the second right.
        m[5] ^= 1;
        QVERIFY(!edid::checksumOk(m));
        unsigned second = 0;
        for (int i = 128; i < 256; ++i)
            second += m[std::size_t(i)];
        QCOMPARE(second % 256, 0u);
    }

    void cellsAreTwoCharactersCountedFromOne() {
        const QString t = QStringLiteral("00  FF\r\nA");
        QCOMPARE(edid::cellAt(t, 1), QString("00"));
        QCOMPARE(edid::cellAt(t, 2), QString("  "));
        QCOMPARE(edid::cellAt(t, 3), QString("FF"));
        QCOMPARE(edid::cellAt(t, 4), QString("\r\n"));
        QCOMPARE(edid::cellAt(t, 5), QString("A"));
        QCOMPARE(edid::cellAt(t, 6), QString());
        QVERIFY(edid::isSeparatorCell("  "));
        QVERIFY(!edid::isSeparatorCell(" "));
        QVERIFY(edid::isLineBreakCell("\r\n"));
        QVERIFY(!edid::isLineBreakCell("\n\r"));
    }

    void byteCellValuesFollowTheHexReader() {
        QCOMPARE(edid::byteCellValue("FF"), std::uint8_t(255));
        QCOMPARE(edid::byteCellValue("a0"), std::uint8_t(0xA0));
        QCOMPARE(edid::byteCellValue("0b"), std::uint8_t(0x0B));
        QCOMPARE(edid::byteCellValue("A "), std::uint8_t(0x0A));
        QCOMPARE(edid::byteCellValue(" 7"), std::uint8_t(7));
        QCOMPARE(edid::byteCellValue("\t7"), std::uint8_t(7));
        QCOMPARE(edid::byteCellValue("\n7"), std::uint8_t(7));
        QCOMPARE(edid::byteCellValue("7G"), std::uint8_t(7));
        QCOMPARE(edid::byteCellValue("G7"), std::uint8_t(0));
        QCOMPARE(edid::byteCellValue("\r7"), std::uint8_t(0));
        QCOMPARE(edid::byteCellValue(""), std::uint8_t(0));
        QCOMPARE(edid::strictHexByte("ff"), std::optional<std::uint8_t>(255));
        QCOMPARE(edid::strictHexByte("0A"), std::optional<std::uint8_t>(10));
        QVERIFY(!edid::strictHexByte("A"));
        QVERIFY(!edid::strictHexByte("A "));
        QVERIFY(!edid::strictHexByte("\r"));
        QVERIFY(!edid::strictHexByte("0G"));
    }

    void writtenFormIsSixteenFullRows() {
        const Image m = sampleImage();
        const QString t = edid::writtenForm(m);
        QCOMPARE(t.size(), 1056);
        QVERIFY(t.startsWith("00  FF  FF  FF  FF  FF  FF  00  "));
        const QStringList rows = t.split("\r\n");
        QCOMPARE(rows.size(), 17); // the text ends with CR LF
        QVERIFY(rows.last().isEmpty());
        for (int r = 0; r < 16; ++r)
            QCOMPARE(rows[r].size(), 64);
        QCOMPARE(t, t.toUpper());
        QCOMPARE(parse(t), m);
    }

    void readFormParsesToTheSameBytes() {
        const Image m = sampleImage();
        const QString t = readForm(m);
        // 15 rows ending in CR LF, then 16 bytes each followed by two blanks.
        QCOMPARE(t.count("\r\n"), 15);
        QVERIFY(t.endsWith("  "));
        QCOMPARE(t.size(), 15 * (62 + 2) + 64);
        QCOMPARE(edid::readFormCell("3A", 14), QString("3A  "));
        QCOMPARE(edid::readFormCell("3A", 15), QString("3A\r\n"));
        QCOMPARE(parse(t), m);
        QCOMPARE(parse(readForm(m, true)), m);
    }

    void parseStopsNowhereAndFillsWithZero() {
        int pos = 1;
        QCOMPARE(edid::parseView(QString(), pos), Image{});
        QCOMPARE(pos, 257);
        // A short text: the missing tail is zero.
        Image expect{};
        expect[0] = 0x12;
        expect[1] = 0xAB;
        QCOMPARE(parse("12  ab"), expect);
        // Text after the 256th byte cell is ignored.
        const Image m = sampleImage();
        QCOMPARE(parse(edid::writtenForm(m) + "FF  FF"), m);
    }

    void aDeletedCharacterShiftsTheLaterCells() {
        const Image m = sampleImage();
        QString t = edid::writtenForm(m);
        // Byte 2 is "FF"; drop its first character.
        t.remove(8, 1);
        const Image p = parse(t);
        QCOMPARE(p[0], m[0]);
        QCOMPARE(p[1], m[1]);
        QVERIFY(p != m);
        // "F " is byte 2 now, then " F", a cell of its own.
        QCOMPARE(p[2], std::uint8_t(0x0F));
        QCOMPARE(p[3], std::uint8_t(0x0F));
    }

    void nextByteCellSkipsSeparatorsAndBreaks() {
        const QString t = QStringLiteral("0A\r\n  1b");
        int pos = 1;
        QCOMPARE(edid::nextByteCell(t, pos), QString("0A"));
        QCOMPARE(pos, 1);
        pos = 2;
        QCOMPARE(edid::nextByteCell(t, pos), QString("1b"));
        QCOMPARE(pos, 4);
        pos = 5;
        QCOMPARE(edid::nextByteCell(t, pos), QString());
        QCOMPARE(pos, 5);
    }

    void headerTest() {
        Image m = sampleImage();
        QVERIFY(edid::headerOk(m));
        for (int i = 0; i < 8; ++i) {
            Image bad = m;
            bad[i] ^= 0x01;
            QVERIFY2(!edid::headerOk(bad), qPrintable(QString::number(i)));
        }
        QVERIFY(!edid::headerOk(Image{}));
    }

    void checksumTestCoversEachBlock() {
        const Image m = sampleImage();
        QVERIFY(edid::checksumOk(m));
        Image first = m;
        first[127] += 1;
        QVERIFY(!edid::checksumOk(first));
        Image second = m;
        second[255] += 1;
        QVERIFY(!edid::checksumOk(second));
        // Both blocks wrong by amounts that cancel in a whole-image sum.
        Image both = m;
        both[127] += 1;
        both[255] -= 1;
        QVERIFY(!edid::checksumOk(both));
        // A single valid block with an all-zero second block is fine.
        Image single = m;
        std::fill(single.begin() + 128, single.end(), std::uint8_t(0));
        QVERIFY(edid::checksumOk(single));
        QVERIFY(edid::checksumOk(Image{}));
    }

    void transferCommands() {
        QCOMPARE(edid::openCommand(2, true), QString("swe 2 1"));
        QCOMPARE(edid::openCommand(7, false), QString("swe 7 0"));
        QCOMPARE(edid::writeByteCommand(0, "00"), QString("wed 0 00"));
        QCOMPARE(edid::writeByteCommand(10, "2b"), QString("wed A 2b"));
        QCOMPARE(edid::writeByteCommand(255, ""), QString("wed FF "));
        QCOMPARE(edid::writeByteCommand(16, "A "), QString("wed 10 A "));
        QCOMPARE(edid::readByteCommand(0), QString("red 0 "));
        QCOMPARE(edid::readByteCommand(171), QString("red AB "));
    }

    void hexViewHandsOutCrLf() {
        edid::HexView v;
        const Image m = sampleImage();
        v.setText(edid::writtenForm(m));
        QCOMPARE(v.text(), edid::writtenForm(m));
        QCOMPARE(v.blockCount(), 17);
        v.clear();
        for (int i = 0; i < 255; ++i)
            v.append(edid::readFormCell(hexByte(m[i]), i));
        v.append(hexByte(m[255]) + "  ");
        QCOMPARE(v.text(), readForm(m));
        int pos = 1;
        QCOMPARE(edid::parseView(v.text(), pos), m);
        // What the operator types as a line break counts as CR LF too.
        v.setPlainText("01  02\n03");
        QCOMPARE(v.text(), QString("01  02\r\n03"));
    }

    void hexViewFontIsFixedPitchWithoutTheWindowsFace() {
        const QFont f = edid::hexViewFont();
        QCOMPARE(f.pointSize(), 9);
        if (f.family() == QLatin1String("Microsoft Sans Serif"))
            return;
        // Every character a cell can hold is as wide as any other, so each
        // cell sits under its heading.
        const QFontMetrics fm(f);
        const int width = fm.horizontalAdvance(u'0');
        QVERIFY(width > 0);
        for (QChar c : QStringLiteral("0123456789ABCDEFabcdef "))
            QVERIFY2(fm.horizontalAdvance(c) == width, qPrintable(QString(c)));
    }

    void loadingReadsTheFirst256BytesOnly() {
        QTemporaryDir dir;
        const Image m = sampleImage();
        const QByteArray all = bytesOf(m);

        QVERIFY(writeFile(dir.filePath("empty.bin"), QByteArray()));
        QCOMPARE(files::readEdidFile(dir.filePath("empty.bin")).image,
                 std::optional<Image>(Image{}));

        // A huge sparse file: only its start is ever read.
        {
            QFile big(dir.filePath("big.bin"));
            QVERIFY(big.open(QIODevice::WriteOnly));
            big.write(all);
            QVERIFY(big.resize(qint64(4) << 30));
        }
        QCOMPARE(files::readEdidFile(dir.filePath("big.bin")).image, std::optional<Image>(m));
    }

    void loadingNeverCreatesOrChangesAFile() {
        QTemporaryDir dir;
        const QString missing = dir.filePath("missing.bin");
        QVERIFY(!files::readEdidFile(missing).image);
        QVERIFY(!QFile::exists(missing));
        QVERIFY(!files::readEdidFile(dir.path()).image);
        QVERIFY(!files::readEdidFile(QString()).image);
        // A read-only file loads (and stays read-only).
        const QString ro = dir.filePath("ro.bin");
        QVERIFY(writeFile(ro, bytesOf(sampleImage())));
        QVERIFY(QFile::setPermissions(ro, QFile::ReadOwner));
        QVERIFY(files::readEdidFile(ro).image);
        QCOMPARE(QFile::permissions(ro) & QFile::WriteOwner, QFileDevice::Permissions{});
    }
};

QTEST_MAIN(EdidImageTest)
#include "test_edid_image.moc"

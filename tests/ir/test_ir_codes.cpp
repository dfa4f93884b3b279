// The IR code table rules and commands, and the simulated switcher's IR side.

#include "core/ir/ir_codes.h"
#include "core/ir/ir_routing.h"
#include "sim/device.h"

#include <QTest>

using namespace ir;

class IrCodes : public QObject {
    Q_OBJECT

    static QStringList table() {
        QStringList t;
        for (int e = 0; e < kEntries; ++e)
            t << QString::number(e + 0x40, 16).toUpper();
        return t;
    }
    static std::array<bool, kEntries> none() { return {}; }
    static QList<int> marked(const std::array<bool, kEntries>& a) {
        QList<int> out;
        for (int i = 0; i < kEntries; ++i)
            if (a[i])
                out << i;
        return out;
    }

private slots:
    void hexTextAndKeys() {
        for (const char* ok : {"0", "9", "a", "F", "1a", "FF", "00", "e7"})
            QVERIFY2(isHexCode(ok), ok);
        for (const char* bad : {"", "G", "1G", "123", " 1", "1 ", "-1", "0x", "\r"})
            QVERIFY2(!isHexCode(bad), bad);

        for (char c : QByteArray("0123456789ABCDEFabcdef"))
            QVERIFY(acceptsCodeKey(QChar(c)));
        QVERIFY(acceptsCodeKey(QChar(8))); // Backspace
        for (char c : QByteArray("Gg -+xZ/:@`\r\t\x16"))
            QVERIFY2(!acceptsCodeKey(QChar(c)), QByteArray(1, c).toHex());
        QVERIFY(!acceptsCodeKey(QChar(0x0660))); // a digit, but not an ASCII one
    }

    void codesCompareByValue() {
        QCOMPARE(codeValue("05"), std::optional<int>(5));
        QCOMPARE(codeValue("ff"), std::optional<int>(255));
        QCOMPARE(codeValue("G"), std::nullopt);
        QVERIFY(sameCode("5", "05"));
        QVERIFY(sameCode("1a", "1A"));
        QVERIFY(sameCode("0", "00"));
        QVERIFY(!sameCode("5", "50"));
        QVERIFY(!sameCode("1A", "1B"));
        // Without a value, only equal text (ignoring case) is the same.
        QVERIFY(sameCode("zz", "ZZ"));
        QVERIFY(!sameCode("", "0"));
        QVERIFY(!sameCode("5\r", "05"));
    }

    void duplicatesOfDataCodesOnly() {
        QStringList t = table();
        QVERIFY(marked(findDuplicates(t, none())).isEmpty());

        t[3] = "1A";
        t[40] = "1a";
        QCOMPARE(marked(findDuplicates(t, none())), (QList<int>{3, 40}));

        t = table();
        t[7] = "5";
        t[12] = "05";
        t[80] = "5";
        QCOMPARE(marked(findDuplicates(t, none())), (QList<int>{7, 12, 80}));

        // The custom code may equal a data code.
        t = table();
        t[0] = t[9];
        QVERIFY(marked(findDuplicates(t, none())).isEmpty());

        // A box already in error starts no comparison, but a valid box equal
        // to it still marks both.
        t = table();
        t[20] = t[30];
        auto err = none();
        err[20] = true;
        QCOMPARE(marked(findDuplicates(t, err)), (QList<int>{20, 30}));
        err[30] = true;
        QVERIFY(marked(findDuplicates(t, err)).isEmpty());

        // Two empty boxes are format errors, not duplicates.
        t = table();
        t[50] = "";
        t[51] = "";
        err = none();
        err[50] = err[51] = true;
        QVERIFY(marked(findDuplicates(t, err)).isEmpty());
    }

    void gridPlacement() {
        QCOMPARE(cellOf(1), (GridCell{0, 0}));
        QCOMPARE(cellOf(8), (GridCell{0, 7}));
        QCOMPARE(cellOf(65), (GridCell{0, 8}));
        QCOMPARE(cellOf(66), (GridCell{0, 9}));
        QCOMPARE(cellOf(57), (GridCell{7, 0}));
        QCOMPARE(cellOf(64), (GridCell{7, 7}));
        QCOMPARE(cellOf(79), (GridCell{7, 8}));
        QCOMPARE(cellOf(80), (GridCell{7, 9}));
        QCOMPARE(cellOf(8 * (3 - 1) + 5), (GridCell{2, 4})); // output 3, input 5
        QCOMPARE(cellOf(0), GridCell{});
        QCOMPARE(cellOf(81), GridCell{});
        QCOMPARE(entryAt(8, 0), -1);
        QCOMPARE(entryAt(0, 10), -1);
        QCOMPARE(entryAt(-1, 0), -1);

        // Every entry 1..80 has one cell, and every cell one entry.
        QSet<int> seen;
        for (int r = 0; r < 8; ++r) {
            for (int c = 0; c < kGridColumns; ++c) {
                const int e = entryAt(r, c);
                QVERIFY(e >= 1 && e <= 80);
                QCOMPARE(cellOf(e), (GridCell{r, c}));
                seen.insert(e);
            }
        }
        QCOMPARE(seen.size(), 80);
    }

    void replyCodes() {
        QCOMPARE(replyCode("rok 1F\r", 5), QString("1F"));
        QCOMPARE(replyCode("rok 5\r", 5), QString("5"));
        QCOMPARE(replyCode("rok\r", 5), QString());
        QCOMPARE(replyCode("rir 12 34", 8), QString("34"));
    }

    void commands() {
        QCOMPARE(readCodeCommand(0), QString("ric 0"));
        QCOMPARE(readCodeCommand(11), QString("ric B"));
        QCOMPARE(readCodeCommand(80), QString("ric 50"));
        QCOMPARE(writeCodeCommand(0, "5"), QString("wic 0 5"));
        QCOMPARE(writeCodeCommand(80, "ab"), QString("wic 50 ab"));
        QCOMPARE(writeCodeCommand(26, "0F"), QString("wic 1A 0F"));
        const protocol::Model& m = protocol::Model::standard();
        QCOMPARE(m.irRoute(1, 1), QString("srp 0 0"));
        QCOMPARE(m.irRoute(2, 3), QString("srp 1 2"));
        QCOMPARE(m.irRoute(8, 8), QString("srp 7 7"));
        QCOMPARE(m.irRouteAll(3), QString("srp 8 2"));
    }

    void routingReportDigits() {
        QCOMPARE(reportedOutput("0"), std::optional<int>(0));
        QCOMPARE(reportedOutput("7"), std::optional<int>(7));
        for (const char* bad : {"8", "", "03", " 3", "a"})
            QCOMPARE(reportedOutput(bad), std::nullopt);
        QCOMPARE(reportedInput("5"), std::optional<int>(5));
        QCOMPARE(reportedInput("05"), std::optional<int>(5));
        QCOMPARE(reportedInput("3\r"), std::optional<int>(3));
        for (const char* bad : {"8", "9", "", "x", "\r", "18", "99999999999999999999"})
            QCOMPARE(reportedInput(bad), std::nullopt);
    }

    // The simulated switcher.
    void simReadsAndWritesTheTable() {
        sim::Device d;
        QCOMPARE(d.handleLine("ric 0"), QByteArrayList{"rok 00"});
        QCOMPARE(d.handleLine("ric 1A"), QByteArrayList{"rok 1A"});
        QCOMPARE(d.handleLine("ric 50"), QByteArrayList{"rok 50"});
        QCOMPARE(d.handleLine("ric 51"), QByteArrayList{"Ack"});
        QCOMPARE(d.handleLine("wic 5 c"), QByteArrayList{"wok"});
        QCOMPARE(d.ir.codes[5], 0x0C);
        QCOMPARE(d.handleLine("ric 5"), QByteArrayList{"rok 0C"});
        QCOMPARE(d.handleLine("wic 5 1G"), QByteArrayList{"Ack"});
        QCOMPARE(d.ir.codes[5], 0x0C);
        QVERIFY(!d.ir.saved);
        QCOMPARE(d.handleLine("sav"), QByteArrayList{"Ack"});
        QVERIFY(d.ir.saved);
        QCOMPARE(d.handleLine("wic 6 7"), QByteArrayList{"wok"});
        QVERIFY(!d.ir.saved);

        // The "rok" value sits at characters 5-6.
        const QByteArray r = d.handleLine("ric 1F").value(0);
        QCOMPARE(r.mid(4, 2), QByteArray("1F"));
    }

    void simDataCodesStartDistinct() {
        sim::Device d;
        QSet<int> seen;
        for (int e = 1; e <= 80; ++e)
            seen.insert(d.ir.codes[e]);
        QCOMPARE(seen.size(), 80);
    }

    void simFaults() {
        sim::Device d;
        d.ir.dropAt = 3;
        QCOMPARE(d.handleLine("ric 0").size(), 1);
        QCOMPARE(d.handleLine("wic 1 22").size(), 1);
        QVERIFY(d.handleLine("ric 2").isEmpty());
        QCOMPARE(d.handleLine("ric 2").size(), 1);

        sim::Device c;
        c.ir.corruptEntry = 9;
        c.handleLine("wic 9 40");
        c.handleLine("wic 8 40");
        QVERIFY(c.ir.codes[9] != 0x40);
        QCOMPARE(c.ir.codes[8], 0x40);

        sim::Device l;
        l.ir.lowerCase = true;
        QCOMPARE(l.handleLine("ric 2D"), QByteArrayList{"rok 2d"});
    }

    void simIrRouting() {
        sim::Device d;
        const QByteArrayList all = d.handleLine("ims");
        QCOMPARE(all.size(), 8);
        for (int o = 0; o < 8; ++o) {
            // Output digit at character 6, input digit at character 9.
            QCOMPARE(all[o].left(3), QByteArray("srp"));
            QCOMPARE(all[o].at(5), char('0' + o));
            QCOMPARE(all[o].at(8), char('0' + o));
        }
        QCOMPARE(d.handleLine("srp 2 5"), QByteArrayList{"srp  2  5"});
        QVERIFY(d.handleLine("srp 2 5").isEmpty());  // nothing changed
        QCOMPARE(d.handleLine("srp 8 5").size(), 6); // outputs 2 and 5 had it already
        QCOMPARE(d.ir.routing, (std::array<int, 8>{5, 5, 5, 5, 5, 5, 5, 5}));
        QCOMPARE(d.handleLine("srp 9 1"), QByteArrayList{"Ack"});
        QCOMPARE(d.handleLine("srp 1 8"), QByteArrayList{"Ack"});
        QCOMPARE(d.ir.routing[1], 5);
    }

    void simLearnedCodes() {
        sim::Device d;
        d.handleLine("wic 0 A5");
        const QByteArray l = d.ir.keyPressed(12);
        QCOMPARE(l, QByteArray("rir A5 0C"));
        QCOMPARE(l.mid(4, 2), QByteArray("A5")); // characters 5-6
        QCOMPARE(l.mid(7, 2), QByteArray("0C")); // characters 8-9
        QCOMPARE(d.ir.learnedLine(1, 0xFE), QByteArray("rir 01 FE"));
    }

    void simOptions() {
        sim::Device d;
        QCommandLineParser p;
        sim::addOptions(p);
        QString error;
        QVERIFY(p.parse({"sim", "--ir-drop", "4", "--ir-corrupt", "80", "--ir-lower"}));
        QVERIFY(sim::applyOptions(p, d, &error));
        QCOMPARE(d.ir.dropAt, 4);
        QCOMPARE(d.ir.corruptEntry, 80);
        QVERIFY(d.ir.lowerCase);

        for (const QStringList& bad :
             {QStringList{"sim", "--ir-drop", "0"}, QStringList{"sim", "--ir-corrupt", "81"},
              QStringList{"sim", "--ir-learn-every", "x"}}) {
            QCommandLineParser q;
            sim::addOptions(q);
            QVERIFY(q.parse(bad));
            error.clear();
            QVERIFY(!sim::applyOptions(q, d, &error));
            QVERIFY(error.startsWith("--ir-"));
        }
    }
};

QTEST_MAIN(IrCodes)
#include "test_ir_codes.moc"

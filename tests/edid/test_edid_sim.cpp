// The simulated switcher's EDID side: its default image, the transfer
// commands and the faults it can be told to commit.

#include "core/edid/edid_image.h"
#include "sim/device.h"
#include "tests/edid/edid_test_util.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace edidtest;

namespace {

QByteArray one(sim::Device& d, const QByteArray& line) {
    const sim::Device::Reply r = d.handleLine(line);
    return r.isEmpty() ? QByteArray("<silent>") : r.join('|');
}

// A device in EDID mode.
struct EdidDevice {
    EdidDevice() { d.handleLine("edm"); }
    sim::Device d;
};

} // namespace

class EdidSimTest : public QObject {
    Q_OBJECT

private slots:
    void theDefaultImageIsAValid1080pMonitor() {
        const edid::Image m = sampleImage();
        QVERIFY(edid::headerOk(m));
        QVERIFY(edid::checksumOk(m));
        for (int block : {0, 128}) {
            unsigned sum = 0;
            for (int i = block; i < block + 128; ++i)
                sum += m[i];
            QCOMPARE(sum % 256, 0u);
        }
        // Manufacturer letters, five bits each.
        const unsigned id = (m[8] << 8) | m[9];
        QByteArray maker;
        for (int shift : {10, 5, 0})
            maker += char('@' + ((id >> shift) & 31));
        QCOMPARE(maker, QByteArray("SMX"));
        QCOMPARE(m[18], std::uint8_t(1));
        QCOMPARE(m[19], std::uint8_t(3));
        // The preferred timing: 148.5 MHz, 1920 x 1080.
        QCOMPARE(m[54] | (m[55] << 8), 14850);
        QCOMPARE(m[56] | ((m[58] & 0xF0) << 4), 1920);
        QCOMPARE(m[59] | ((m[61] & 0xF0) << 4), 1080);
        // A monitor name descriptor.
        const QByteArray base = bytesOf(m).left(128);
        const qsizetype name = base.indexOf(QByteArray("\0\0\0\xFC\0", 5));
        QVERIFY(name >= 54);
        QVERIFY(base.mid(name + 5, 13).startsWith("SIM FHD1080\n"));
        // One CEA-861 extension.
        QCOMPARE(m[126], std::uint8_t(1));
        QCOMPARE(m[128], std::uint8_t(0x02));
        QCOMPARE(m[129], std::uint8_t(0x03));
        QVERIFY(m[130] > 4 && m[130] < 127);

        sim::Device d;
        for (const auto& image : d.edid.images)
            QCOMPARE(bytesOf(edid::Image(image)), bytesOf(m));
    }

    void transferCommandsNeedEdidMode() {
        sim::Device d;
        QCOMPARE(one(d, "swe 0 1"), QByteArray("Ack"));
        QCOMPARE(one(d, "red 0 "), QByteArray("Ack"));
        d.handleLine("edm");
        QCOMPARE(one(d, "swe 0 1"), QByteArray("rdy"));
        QCOMPARE(one(d, "red 0 "), QByteArray("ok 00"));
        QCOMPARE(one(d, "swe 8 1"), QByteArray("err"));
        QCOMPARE(one(d, "swe 0 2"), QByteArray("err"));
        QCOMPARE(one(d, "red 0 "), QByteArray("err")); // no transfer open
    }

    void aDownloadTakesEffectWithTheLastByte() {
        EdidDevice x;
        const sim::EdidState::Image before = x.d.edid.images[3];
        QCOMPARE(one(x.d, "swe 3 0"), QByteArray("rdy"));
        QCOMPARE(one(x.d, "red 0 "), QByteArray("err")); // not a read
        for (int i = 0; i < 255; ++i)
            QCOMPARE(one(x.d, "wed " + QByteArray::number(i, 16).toUpper() + " 5a"),
                     QByteArray("ok"));
        QCOMPARE(x.d.edid.images[3], before);
        QCOMPARE(one(x.d, "wed FF 7 "), QByteArray("ok"));
        QCOMPARE(x.d.edid.images[3][0], std::uint8_t(0x5A));
        QCOMPARE(x.d.edid.images[3][255], std::uint8_t(7));
        QCOMPARE(x.d.edid.images[2], before);
        // Cells the device cannot take.
        QCOMPARE(one(x.d, "wed 0 "), QByteArray("err"));
        QCOMPARE(one(x.d, "wed 0 GG"), QByteArray("err"));
        QCOMPARE(one(x.d, "wed 0 123"), QByteArray("err"));
        QCOMPARE(one(x.d, "wed 100 00"), QByteArray("err"));
        QCOMPARE(one(x.d, "swe 3 1"), QByteArray("rdy"));
        QCOMPARE(one(x.d, "red FF "), QByteArray("ok 07"));
        QCOMPARE(one(x.d, "wed 0 00"), QByteArray("err")); // not a download
    }

    void faults() {
        EdidDevice x;
        x.d.edid.corruptAt = 4;
        x.d.edid.dropAt = 9;
        x.d.edid.errorAt = 12;
        one(x.d, "swe 0 0");
        for (int i = 0; i < 256; ++i)
            one(x.d, "wed " + QByteArray::number(i, 16).toUpper() + " 11");
        one(x.d, "swe 0 1");
        QCOMPARE(one(x.d, "red 3 "), QByteArray("ok 11"));
        QCOMPARE(one(x.d, "red 4 "), QByteArray("ok EE"));
        // Byte 9's write went unanswered and was therefore not stored; its
        // first read is answered now that the drop is spent.
        QCOMPARE(x.d.edid.images[0][9], sampleImage()[9]);
        QCOMPARE(one(x.d, "red 9 "), "ok " + hexByte(sampleImage()[9]).toLatin1());
        QCOMPARE(one(x.d, "red C "), QByteArray("err"));
        QCOMPARE(one(x.d, "red C "), QByteArray("err"));
        x.d.edid.dropAt = 5;
        QCOMPARE(one(x.d, "red 5 "), QByteArray("<silent>"));
        QCOMPARE(one(x.d, "red 5 "), QByteArray("ok 11"));
        x.d.edid.lowerCase = true;
        QCOMPARE(one(x.d, "red 4 "), QByteArray("ok ee"));
    }

    void faultOptions() {
        QCommandLineParser p;
        sim::addOptions(p);
        QVERIFY(p.parse({"sim", "--edid-corrupt", "5", "--edid-drop", "0x10", "--edid-error-at",
                         "200", "--edid-lower"}));
        sim::Device d;
        QString error;
        QVERIFY(sim::applyOptions(p, d, &error));
        QCOMPARE(d.edid.corruptAt, 5);
        QCOMPARE(d.edid.dropAt, 16);
        QCOMPARE(d.edid.errorAt, 200);
        QVERIFY(d.edid.lowerCase);

        QCommandLineParser bad;
        sim::addOptions(bad);
        QVERIFY(bad.parse({"sim", "--edid-drop", "256"}));
        sim::Device d2;
        QVERIFY(!sim::applyOptions(bad, d2, &error));
        QVERIFY(error.contains("--edid-drop"));
        QCOMPARE(d2.edid.dropAt, -1);
    }

    void edidFileOption_data() {
        QTest::addColumn<QStringList>("values"); // "N=name" of files written below
        QTest::addColumn<int>("input");          // the input that changed; 0: a refusal
        QTest::addColumn<QString>("error");
        QTest::newRow("raw image") << QStringList{"3=raw.bin"} << 3 << "";
        QTest::newRow("dump, twice") << QStringList{"1=raw.bin", "8=dump.txt"} << 8 << "";
        QTest::newRow("input 9") << QStringList{"9=raw.bin"} << 0 << "N an input from 1 to 8";
        QTest::newRow("no input") << QStringList{"raw.bin"} << 0 << "N an input from 1 to 8";
        QTest::newRow("missing file") << QStringList{"2=none.bin"} << 0 << "cannot read";
        QTest::newRow("a folder") << QStringList{"2=."} << 0 << "cannot read";
        QTest::newRow("text, no dump") << QStringList{"2=notes.txt"} << 0 << "no EDID dump";
    }

    void edidFileOption() {
        QFETCH(QStringList, values);
        QFETCH(int, input);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QByteArray image = bytesOf(sampleImage());
        image[17] = 33; // made in 2023, not the default's 2021
        QVERIFY(writeFile(dir.filePath("raw.bin"), image));
        QVERIFY(writeFile(dir.filePath("dump.txt"), image.toHex(' ')));
        QVERIFY(writeFile(dir.filePath("notes.txt"), "no hex here"));
        QStringList args{"sim"};
        for (const QString& v : values)
            args << "--edid-file"
                 << v.section('=', 0, -2) + (v.contains('=') ? "=" : "") +
                        dir.filePath(v.section('=', -1));
        QCommandLineParser p;
        sim::addOptions(p);
        QVERIFY(p.parse(args));
        sim::Device d;
        QString why;
        QCOMPARE(sim::applyOptions(p, d, &why), input > 0);
        QVERIFY2(why.contains(error), qPrintable(why));
        for (int i = 0; i < 8; ++i)
            QCOMPARE(bytesOf(edid::Image(d.edid.images[i])),
                     i + 1 == input || (input == 8 && i == 0) ? image : bytesOf(sampleImage()));
        if (input > 0)
            return;
        // The console simulator refuses to start, as for any bad option.
        QProcess sim;
        sim.start(HDMI_SIM_PATH, args.mid(1) << "--dir" << dir.path());
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(sim.readAllStandardError().contains(error.toUtf8()));
    }
};

QTEST_MAIN(EdidSimTest)
#include "test_edid_sim.moc"

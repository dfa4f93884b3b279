// The decoder's edge cases on the simulator's image with a few bytes changed,
// on broken images, and the hex dump reader.

#include "core/edid/decode/edid_compare.h"
#include "core/edid/decode/edid_dump.h"
#include "core/edid/decode/edid_text.h"
#include "core/edid/decode/edid_vic.h"
#include "tests/edid/edid_test_util.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace edidtest;

namespace {

// The simulator's image with "offset=hex" patches applied; checksums kept
// right unless "unsealed" is among them.
QByteArray patched(const QString& patches) {
    edid::Image m = sampleImage();
    for (const QString& p : patches.split(' ', Qt::SkipEmptyParts))
        if (p != "unsealed")
            m[p.section('=', 0, 0).toUInt()] = std::uint8_t(p.section('=', 1).toUInt(nullptr, 16));
    if (!patches.contains("unsealed"))
        edid::setChecksums(m);
    return bytesOf(m);
}

// A JSON field by path ("cta.vics", "dtds[0].height") in compact form.
QString field(const QJsonObject& o, const QString& path) {
    QJsonValue v = o;
    for (const QString& part : path.split('.')) {
        v = v.toObject().value(part.section('[', 0, 0));
        if (part.contains('['))
            v = v.toArray().at(part.section('[', 1).chopped(1).toInt());
    }
    const QByteArray a = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(a.mid(1, a.size() - 2));
}

QList<int> findingOffsets(const edid::DecodedEdid& d) {
    QList<int> out;
    for (const edid::Finding& f : d.findings)
        out << f.offset;
    return out;
}

// The dump form at the top of edid-decode's report, with what follows it.
QByteArray reportForm(const QByteArray& bytes) {
    QByteArray t = "edid-decode (hex):\n\n";
    for (int i = 0; i < bytes.size(); ++i)
        t += bytes.mid(i, 1).toHex() + ((i + 1) % 16 ? " " : (i + 1) % 128 ? "\n" : "\n\n");
    return t + "----------------\n\nBlock 0, Base EDID:\n  Model: 6699\nChecksum: 0x9a\n";
}

} // namespace

class EdidDecodeTest : public QObject {
    Q_OBJECT

private slots:
    void theSimulatorsImage() {
        const edid::DecodedEdid d = edid::decodeEdid(sampleImage());
        QCOMPARE(d.summary, QString("1920x1080 60 Hz preferred · 2 video modes up to 1080p · "
                                    "LPCM 2 ch · HDMI · no HDR"));
        QCOMPARE(d.findings.size(), 0);
        const QString text = edid::decodedText(d);
        QVERIFY(text.startsWith(d.summary + "\n\nFindings: none\n"));
        for (const char* line : {"  Manufacturer: SMX, product code 6699 (0x1A2B), serial number 1",
                                 "  Descriptor 3 (byte 90): product name \"SIM FHD1080\"",
                                 "    VIC  16: 1920x1080p 60 Hz (native)"})
            QVERIFY2(text.contains(QString(line) + '\n'), line);
    }

    void fieldsOfChangedImages_data() {
        QTest::addColumn<QString>("patches");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("finding"); // offset of the one finding, -1: none
        QTest::newRow("1.3 input") << ""
                                   << "interface"
                                   << "null" << -1;
        QTest::newRow("1.3 reserved input bits") << "20=A2"
                                                 << "interface"
                                                 << "null" << 20;
        QTest::newRow("1.4 depth and interface") << "19=4 20=A5"
                                                 << "bits_per_color"
                                                 << "8" << -1;
        QTest::newRow("1.4 DisplayPort") << "19=4 20=A5"
                                         << "interface"
                                         << "\"DisplayPort\"" << -1;
        QTest::newRow("1.4 reserved interface") << "19=4 20=AE"
                                                << "interface"
                                                << "\"reserved (14)\"" << 20;
        QTest::newRow("1.4 aspect ratio") << "19=4 21=4F 22=0"
                                          << "aspect_ratio"
                                          << "\"1.78:1\"" << -1;
        QTest::newRow("DisplayPort, no CTA") << "19=4 20=A5 128=70"
                                             << "summary"
                                             << "\"1920x1080 60 Hz preferred · no CTA-861 "
                                                "extension · DisplayPort\""
                                             << -1;
        QTest::newRow("HDR") << "145=E3 146=6 147=D 148=1"
                             << "summary"
                             << "\"1920x1080 60 Hz preferred · 2 video modes up to 1080p · "
                                "LPCM 2 ch · HDMI · HDR10, HLG\""
                             << -1;
        QTest::newRow("1.3 size bytes") << "21=4F 22=0"
                                        << "aspect_ratio"
                                        << "null" << -1;
        QTest::newRow("week 0") << "16=0"
                                << "week"
                                << "null" << -1;
        QTest::newRow("week 0, year") << "16=0"
                                      << "year"
                                      << "2021" << -1;
        QTest::newRow("week 0xFF 1.4") << "16=FF 19=4"
                                       << "year"
                                       << "null" << -1;
        QTest::newRow("week 0xFF 1.4 model year") << "16=FF 19=4"
                                                  << "model_year"
                                                  << "2021" << -1;
        QTest::newRow("week 0xFF 1.3") << "16=FF"
                                       << "model_year"
                                       << "2021" << 16;
        QTest::newRow("week 60") << "16=3C"
                                 << "week"
                                 << "60" << 16;
        QTest::newRow("serial 0") << "12=0"
                                  << "serial_number"
                                  << "null" << -1;
        QTest::newRow("interlaced frame height") << "59=1C 61=20 71=9E"
                                                 << "dtds[0].height"
                                                 << "1080" << -1;
        QTest::newRow("interlaced") << "59=1C 61=20 71=9E"
                                    << "dtds[0].interlaced"
                                    << "true" << -1;
        QTest::newRow("interlaced field porch") << "59=1C 61=20 64=25 71=9E"
                                                << "dtds[0].v_front"
                                                << "2" << -1;
        QTest::newRow("preferred timing not first") << "54=0 55=0 56=0 57=10 58=0"
                                                    << "dtds[0].offset"
                                                    << "149" << 54;
        QTest::newRow("bad header") << "1=0"
                                    << "header_ok"
                                    << "false" << 0;
        QTest::newRow("bad base checksum") << "unsealed 127=0"
                                           << "checksums_ok"
                                           << "[false,true]" << 127;
        QTest::newRow("bad extension checksum") << "unsealed 255=0"
                                                << "checksums_ok"
                                                << "[true,false]" << 255;
        QTest::newRow("video block overruns") << "132=5F"
                                              << "cta.vics"
                                              << "[]" << 132;
        QTest::newRow("audio block overruns") << "135=3F"
                                              << "cta.audio"
                                              << "[]" << 135;
        QTest::newRow("DTD offset outside") << "130=2"
                                            << "cta.vics"
                                            << "[]" << 130;
        QTest::newRow("duplicate VIC") << "134=10"
                                       << "cta.vics"
                                       << "[16,16]" << 134;
        QTest::newRow("reserved VIC dropped") << "134=0"
                                              << "cta.vics"
                                              << "[16]" << 134;
        QTest::newRow("VIC 65 not native") << "133=41"
                                           << "cta.native_vics"
                                           << "[]" << -1;
        QTest::newRow("max TMDS") << "139=67 145=0 146=2D 147=81 148=1"
                                  << "cta.max_tmds_mhz"
                                  << "225" << -1;
        QTest::newRow("reserved audio format") << "136=7"
                                               << "cta.audio[0].bits"
                                               << "null" << 136;
        QTest::newRow("AC-3 bit rate") << "136=15 138=50"
                                       << "cta.audio[0].max_bitrate_kbps"
                                       << "640" << -1;
    }

    void fieldsOfChangedImages() {
        QFETCH(QString, patches);
        QFETCH(QString, path);
        QFETCH(QString, value);
        QFETCH(int, finding);
        const edid::DecodedEdid d = edid::decodeEdid(patched(patches));
        QCOMPARE(field(edid::decodedJson(d), path), value);
        QCOMPARE(findingOffsets(d), finding < 0 ? QList<int>() : QList<int>{finding});
        if (finding >= 0)
            QVERIFY(edid::decodedText(d).contains(QString("\n! byte %1: ").arg(finding)));
    }

    void descriptorsAsText_data() {
        QTest::addColumn<QString>("patches");
        QTest::addColumn<QString>("line");
        QTest::newRow("range limits") << ""
                                      << "(byte 72): range limits 56-76 Hz V, 30-83 kHz H, up "
                                         "to 170 MHz, default GTF";
        QTest::newRow("1.4 rate offsets") << "19=4 76=2"
                                          << "range limits 56-331 Hz V";
        QTest::newRow("name ended by NUL") << "102=0"
                                           << "product name \"SIM FHD\"";
        QTest::newRow("established III") << "111=F7 113=A 114=80 115=41"
                                         << "    640x350 85 Hz, 1280x768 60 Hz, 1280x1024 85 Hz";
        QTest::newRow("CVT codes") << "111=F8 113=1 114=1B 115=24 116=28"
                                   << "    1920x1080 16:9, preferred 60 Hz, supports 60 Hz";
        QTest::newRow("interlaced timing") << "54=1 55=1D 59=1C 60=16 61=20 71=9E"
                                           << "    1920x1080i 60.000 Hz, 33.750 kHz, 74.250 MHz";
    }

    void descriptorsAsText() {
        QFETCH(QString, patches);
        QFETCH(QString, line);
        const QString text = edid::decodedText(patched(patches));
        QVERIFY2(text.contains(line), qPrintable(text));
    }

    void brokenImagesDecodeAsFarAsTheirBytesGo_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<QString>("manufacturer");
        QTest::addColumn<QList<int>>("findings");
        const QByteArray m = bytesOf(sampleImage());
        QTest::newRow("empty") << QByteArray() << 0 << "null" << QList<int>{-1};
        QTest::newRow("cut in the vendor bytes") << m.left(12) << 1 << "null" << QList<int>{12};
        QTest::newRow("cut in the descriptors") << m.left(100) << 1 << "\"SMX\"" << QList<int>{100};
        QTest::newRow("base block only") << m.left(128) << 1 << "\"SMX\"" << QList<int>{126};
        QTest::newRow("cut in the extension") << m.left(140) << 2 << "\"SMX\"" << QList<int>{140};
        QTest::newRow("over-long, blank")
            << m + QByteArray(200, '\xFF') << 2 << "\"SMX\"" << QList<int>{};
        QTest::newRow("over-long, data") << m + "more" << 3 << "\"SMX\"" << QList<int>{256, 260};
        QTest::newRow("all zero") << QByteArray(256, 0) << 1 << "\"???\"" << QList<int>{0, 8, 18};
        QTest::newRow("all 0xFF") << QByteArray(256, '\xFF') << 2 << "\"???\""
                                  << QList<int>{0, 8, 18, 20, 20, 126, 127, 255};
    }

    void brokenImagesDecodeAsFarAsTheirBytesGo() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, blocks);
        QFETCH(QString, manufacturer);
        QFETCH(QList<int>, findings);
        const edid::DecodedEdid d = edid::decodeEdid(bytes);
        QCOMPARE(d.blocks, blocks);
        QCOMPARE(d.checksumsOk.size(), blocks);
        QCOMPARE(field(edid::decodedJson(d), "manufacturer"), manufacturer);
        QCOMPARE(findingOffsets(d), findings);
        QVERIFY(edid::decodedText(d).startsWith(d.summary + '\n'));
    }

    void vicNames_data() {
        QTest::addColumn<int>("vic");
        QTest::addColumn<QString>("name");
        QTest::newRow("1") << 1 << "640x480p 60 Hz";
        QTest::newRow("5") << 5 << "1920x1080i 60 Hz";
        QTest::newRow("39") << 39 << "1920x1080i 50 Hz";
        QTest::newRow("127") << 127 << "5120x2160p 100 Hz";
        QTest::newRow("128") << 128 << "VIC 128 (reserved)";
        QTest::newRow("193") << 193 << "5120x2160p 120 Hz";
        QTest::newRow("219") << 219 << "4096x2160p 120 Hz";
        QTest::newRow("220") << 220 << "VIC 220 (reserved)";
    }

    void vicNames() {
        QFETCH(int, vic);
        QFETCH(QString, name);
        QCOMPARE(edid::vicName(vic), name);
    }

    void hexDumps_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("size"); // 0: no dump
        QTest::addColumn<QString>("error");
        const QByteArray m = bytesOf(sampleImage());
        QTest::newRow("pairs") << m.toHex(' ') << 256 << "";
        QTest::newRow("rows, upper case, CR LF")
            << m.toHex(' ').toUpper().replace("00 ", "00\r\n") << 256 << "";
        QTest::newRow("0x and commas") << "0x" + m.toHex(',').replace(",", ", 0x") << 256 << "";
        QTest::newRow("one run") << m.toHex() << 256 << "";
        QTest::newRow("edid-decode report") << reportForm(m) << 256 << "";
        QTest::newRow("128 bytes") << reportForm(m.left(128)) << 128 << "";
        QTest::newRow("garbage") << QByteArray("hello world") << 0 << "line 1, column 1: 'h'";
        QTest::newRow("odd digit") << m.toHex(' ').left(23) + "0 a" << 0 << "odd number";
        QTest::newRow("0x word") << QByteArray("0x00ff") << 0 << "not one byte";
        QTest::newRow("255 bytes") << m.left(255).toHex(' ') << 0 << "holds 255 bytes";
        QTest::newRow("300 bytes") << (m + m).toHex(' ') << 0 << "more than 256";
        QTest::newRow("no bytes") << QByteArray(" , \n") << 0 << "no hexadecimal";
    }

    void hexDumps() {
        QFETCH(QByteArray, text);
        QFETCH(int, size);
        QFETCH(QString, error);
        const edid::HexDump dump = edid::readHexDump(text);
        QCOMPARE(dump.bytes.size(), size);
        QCOMPARE(dump.bytes, bytesOf(sampleImage()).left(size));
        QVERIFY2(dump.error.contains(error) && dump.ok() == error.isEmpty(),
                 qPrintable(dump.error));
        // Through the file path: a text loads as its dump or not at all.
        const edid::FileImage file = edid::imageFromFileBytes(text);
        QVERIFY(file.fromText);
        QCOMPARE(file.image.has_value(), size > 0);
        QCOMPARE(file.error, dump.error);
    }

    void rawFilesLoadAsBefore_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray m = bytesOf(sampleImage());
        QTest::newRow("image") << m;
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("all 0xFF") << QByteArray(256, '\xFF');
        QTest::newRow("300 bytes") << m + QByteArray(44, 'x');
        QTest::newRow("3 bytes") << QByteArray("\x00\xff\x7f", 3);
    }

    void rawFilesLoadAsBefore() {
        QFETCH(QByteArray, bytes);
        const edid::FileImage file = edid::imageFromFileBytes(bytes);
        QVERIFY(!file.fromText);
        QVERIFY(file.image.has_value());
        QCOMPARE(bytesOf(*file.image), (bytes + QByteArray(256, 0)).left(256));
    }

    void comparingTwoImages() {
        const QByteArray a = patched(""), b = patched("54=3");
        const edid::EdidComparison c = edid::compareEdid(a, b);
        QCOMPARE(c.differingOffsets, (QList<int>{54, 127}));
        QCOMPARE(c.fields.size(), 2);
        QCOMPARE(c.fields[0].field, QString("dtds[0].pixel_clock_khz"));
        QCOMPARE(c.fields[0].left + " " + c.fields[0].right, QString("148500 148510"));
        QCOMPARE(c.fields[1].field, QString("dtds[0].refresh_hz"));
        QVERIFY(edid::comparisonText(c).startsWith("2 bytes differ: 54, 127\n"
                                                   "dtds[0].pixel_clock_khz: 148500 -> 148510\n"));
        QVERIFY(edid::compareEdid(a, a).identical());
        const edid::EdidComparison cut = edid::compareEdid(a, a.left(128));
        QCOMPARE(cut.differingOffsets.size(), 128);
        QVERIFY(edid::comparisonText(cut).startsWith("128 bytes differ: 128-255\n"));
    }
};

QTEST_GUILESS_MAIN(EdidDecodeTest)
#include "test_edid_decode.moc"

// The decoder against Debian's edid-decode, an independent decoder, on 300
// real images: every field of "edid decode --json" must agree. edid-decode
// is run and its report read; where it is wrong, the exception is written
// out below with the reason.

#include "core/edid/decode/edid_text.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <algorithm>

namespace {

const QMap<QString, int> kAudioCodes = {{"Linear PCM", 1},
                                        {"AC-3", 2},
                                        {"MPEG 1 (Layers 1 & 2)", 3},
                                        {"MPEG 1 Layer 3 (MP3)", 4},
                                        {"MPEG2 (multichannel)", 5},
                                        {"AAC LC", 6},
                                        {"DTS", 7},
                                        {"ATRAC", 8},
                                        {"One Bit Audio", 9},
                                        {"Enhanced AC-3 (DD+)", 10},
                                        {"DTS-HD", 11},
                                        {"MAT (MLP)", 12},
                                        {"DST", 13},
                                        {"WMA Pro", 14}};

QJsonValue number(const QString& s) {
    bool ok = false;
    const double v = s.toDouble(&ok);
    return ok ? QJsonValue(v) : QJsonValue(s);
}

QJsonArray sortedNumbers(const QStringList& words) {
    QList<double> v;
    for (const QString& w : words)
        v << w.toDouble();
    std::sort(v.begin(), v.end());
    QJsonArray a;
    for (double d : v)
        a.append(d);
    return a;
}

// What both decoders check, as comparable keys.
QStringList ourFindingKinds(const QJsonObject& o) {
    QStringList kinds;
    static const QRegularExpression checksum("^byte \\d+: Block (\\d+)'s checksum");
    static const QRegularExpression duplicate("VIC (\\d+) is listed twice");
    for (const QJsonValue& f : o["findings"].toArray()) {
        const QString t = f.toString();
        if (const auto m = checksum.match(t); m.hasMatch())
            kinds << "checksum " + m.captured(1);
        else if (const auto m = duplicate.match(t); m.hasMatch())
            kinds << "duplicate VIC " + m.captured(1);
        else if (t.startsWith("byte 0: The header"))
            kinds << "header";
        else if (t.startsWith("byte 20: Reserved bits") || t.contains("interface code"))
            kinds << "reserved input";
    }
    kinds.removeDuplicates();
    kinds.sort();
    return kinds;
}

// edid-decode's report (with --check) as the same JSON fields.
QJsonObject referenceJson(const QString& report) {
    QJsonObject o{{"serial_number", QJsonValue()},
                  {"week", QJsonValue()},
                  {"year", QJsonValue()},
                  {"model_year", QJsonValue()},
                  {"name", QJsonValue()},
                  {"serial_text", QJsonValue()},
                  {"cta", QJsonValue()}};
    QJsonArray checksums, dtds, vics, native, audio;
    QJsonObject cta, sad;
    QStringList kinds;
    QString section; // the data block a line belongs to
    int blocks = 0;
    bool checks = false; // in the warnings and failures at the end
    const QStringList lines = report.split('\n');
    static const QRegularExpression dtd("^    DTD +\\d+: +(\\d+)x(\\d+)(i?) .* ([\\d.]+) MHz");
    static const QRegularExpression porch(
        "^ +([HV])front +(-?\\d+) [HV]sync +(\\d+) [HV]back +(-?\\d+)");
    static const QRegularExpression field("^ +([^:]+): (.*)$");
    for (const QString& line : lines) {
        const int indent = int(line.indexOf(QRegularExpression("\\S")));
        checks = checks || line.startsWith("Warnings:") || line.startsWith("Failures:");
        if (checks) {
            if (line.contains("Video Data Block: Duplicate VIC"))
                kinds << "duplicate VIC " + line.section(' ', -1).chopped(1);
            else if (line.contains("Digital Video Interface Standard set to reserved"))
                kinds << "reserved input";
        } else if (line.startsWith("Block ")) {
            ++blocks;
            section.clear();
        } else if (line.startsWith("Checksum: ")) {
            checksums.append(!line.contains("should be"));
        } else if (line.startsWith("No EDID header found")) {
            kinds << "header";
        } else if (const auto m = dtd.match(line); m.hasMatch()) {
            const int height = m.captured(2).toInt();
            dtds.append(QJsonObject{{"width", m.captured(1).toInt()},
                                    {"height", height},
                                    {"interlaced", !m.captured(3).isEmpty()},
                                    {"pixel_clock_khz", qRound(m.captured(4).toDouble() * 1000)}});
        } else if (const auto m = porch.match(line); m.hasMatch() && !dtds.isEmpty()) {
            QJsonObject t = dtds.last().toObject();
            const QString p = m.captured(1).toLower();
            t[p + "_front"] = m.captured(2).toInt();
            t[p + "_sync"] = m.captured(3).toInt();
            t[p + "_back"] = m.captured(4).toInt();
            dtds[dtds.size() - 1] = t;
        } else if (indent == 2 && line.endsWith(':')) {
            section = line.trimmed();
        } else if (section == "Video Data Block:" && line.startsWith("    VIC")) {
            const int vic = line.section(':', 0, 0).mid(7).trimmed().toInt();
            vics.append(vic);
            if (line.endsWith("(native)"))
                native.append(vic);
        } else if (section == "Video Data Block:" && line.startsWith("    Unknown (VIC ")) {
            // Exception: edid-decode lists the reserved codes 254 and 255 as
            // unknown VICs, but CTA-861 reserves them as video descriptor
            // values (as it does 0 and 128, which edid-decode leaves out);
            // they name no VIC, so the decoder lists none for them.
            const int vic = line.section(' ', -1).chopped(1).toInt();
            if (vic < 254)
                vics.append(vic);
        } else if (section == "Audio Data Block:" && indent == 4 && line.endsWith(':')) {
            if (!sad.isEmpty())
                audio.append(sad);
            const QString name = line.trimmed().chopped(1);
            sad = {{"format_code", kAudioCodes.value(name, -1)}, {"bits", QJsonValue()}};
        } else if (const auto m = field.match(line); m.hasMatch()) {
            const QString key = m.captured(1).trimmed(), value = m.captured(2).trimmed();
            const QString quoted = value.mid(1, value.size() - 2);
            if (key == "EDID Structure Version & Revision")
                o["version"] = value;
            else if (key == "Manufacturer")
                o["manufacturer"] = value;
            else if (key == "Model")
                o["product_code"] = value.toInt();
            else if (key == "Serial Number")
                o["serial_number"] = number(value);
            else if (key == "Made in" && value.startsWith("week")) {
                o["week"] = value.section(' ', 1, 1).toInt();
                o["year"] = value.section(' ', 3, 3).toInt();
            } else if (key == "Made in")
                o["year"] = value.toInt();
            else if (key == "Model year")
                o["model_year"] = value.toInt();
            else if (key == "Display Product Name")
                o["name"] = quoted;
            else if (key == "Display Product Serial Number")
                o["serial_text"] = quoted;
            else if (key == "Revision" && indent == 2)
                cta["revision"] = value.toInt();
            else if (key == "Source physical address")
                cta["physical_address"] = value;
            else if (key == "Maximum TMDS clock")
                cta["max_tmds_mhz"] = value.section(' ', 0, 0).toInt();
            else if (key == "Maximum TMDS Character Rate")
                cta["hdmi_forum_max_tmds_mhz"] = value.section(' ', 0, 0).toInt();
            else if (key == "Max channels" && section == "Audio Data Block:")
                sad["channels"] = value.toInt();
            else if (key == "Supported sample rates (kHz)" && section == "Audio Data Block:")
                sad["rates_khz"] = sortedNumbers(value.split(' '));
            else if (key == "Supported sample sizes (bits)" && section == "Audio Data Block:")
                sad["bits"] = sortedNumbers(value.split(' '));
        }
    }
    for (int i = 0; i < checksums.size(); ++i)
        if (!checksums[i].toBool())
            kinds << QString("checksum %1").arg(i);
    if (!sad.isEmpty())
        audio.append(sad);
    if (cta.contains("revision")) {
        for (const char* k : {"physical_address", "max_tmds_mhz", "hdmi_forum_max_tmds_mhz"})
            if (!cta.contains(k))
                cta[k] = QJsonValue();
        cta["vics"] = vics;
        cta["native_vics"] = native;
        cta["audio"] = audio;
        o["cta"] = cta;
    }
    kinds.removeDuplicates();
    kinds.sort();
    o["blocks"] = blocks;
    o["checksums_ok"] = checksums;
    o["dtds"] = dtds;
    o["findings"] = QJsonArray::fromStringList(kinds);
    return o;
}

// Our JSON cut down to the fields of the reference, rates and bits sorted.
QJsonValue project(const QJsonValue& ours, const QJsonValue& like) {
    if (like.isObject()) {
        QJsonObject out;
        const QJsonObject l = like.toObject(), o = ours.toObject();
        for (auto it = l.begin(); it != l.end(); ++it)
            out[it.key()] = project(o.value(it.key()), it.value());
        return out;
    }
    if (like.isArray() && ours.isArray()) {
        QJsonArray out;
        const QJsonArray l = like.toArray(), o = ours.toArray();
        for (qsizetype i = 0; i < o.size(); ++i)
            out.append(project(o[i], i < l.size() ? l[i] : l.isEmpty() ? o[i] : l.last()));
        return out;
    }
    return ours;
}

// The first field where two values differ, as "path: ours X, edid-decode Y".
QString firstDifference(const QJsonValue& a, const QJsonValue& b, const QString& path) {
    if (a.isObject() && b.isObject()) {
        const QJsonObject x = a.toObject(), y = b.toObject();
        for (auto it = y.begin(); it != y.end(); ++it)
            if (QString d = firstDifference(x.value(it.key()), it.value(), path + '.' + it.key());
                !d.isEmpty())
                return d;
        return {};
    }
    if (a.isArray() && b.isArray() && a.toArray().size() == b.toArray().size()) {
        for (qsizetype i = 0; i < a.toArray().size(); ++i)
            if (QString d = firstDifference(a.toArray()[i], b.toArray()[i],
                                            QString("%1[%2]").arg(path).arg(i));
                !d.isEmpty())
                return d;
        return {};
    }
    if (a == b)
        return {};
    const auto text = [](const QJsonValue& v) {
        return QString::fromUtf8(QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact))
            .mid(1)
            .chopped(1);
    };
    return QString("%1: ours %2, edid-decode %3").arg(path.mid(1), text(a), text(b));
}

// The data blocks of the CTA extension in block 1: offset and length.
QList<QPair<int, int>> dataBlocks(const QByteArray& image) {
    QList<QPair<int, int>> out;
    const int end = 128 + quint8(image[130]);
    for (int at = 132; at < end && at < 255; at += 1 + (quint8(image[at]) & 31))
        out.append({at, quint8(image[at]) & 31});
    return out;
}

bool hasCta(const QByteArray& image) {
    return image.size() == 256 && image[126] != 0 && image[128] == 2 && quint8(image[130]) >= 4;
}

void fixChecksums(QByteArray& image) {
    for (int block = 0; block < 256; block += 128) {
        int sum = 0;
        for (int i = block; i < block + 127; ++i)
            sum += quint8(image[i]);
        image[block + 127] = char(-sum & 0xFF);
    }
}

// The image with one more data block at the end of the collection; the
// detailed timings after it that no longer fit are dropped.
QByteArray withBlock(QByteArray image, const QByteArray& block) {
    QByteArray ext = image.mid(128, 127);
    const int d = quint8(ext[2]);
    int timings = 0;
    while (d + 18 * (timings + 1) <= 127 && (ext[d + 18 * timings] || ext[d + 18 * timings + 1]))
        ++timings;
    const int start = d + int(block.size());
    const int kept = qMin(timings, (127 - start) / 18);
    QByteArray out = ext.left(d) + block + ext.mid(d, 18 * kept);
    out.append(127 - out.size(), '\0');
    out[2] = char(start);
    image.replace(128, 127, out);
    fixChecksums(image);
    return image;
}

// What the decoder once missed, each made from a real image: a second audio
// block, the HDMI Forum sink capability block, audio format code 0, an HDMI
// maximum TMDS byte of 0, an empty product name. Empty when the image cannot
// show it.
QByteArray spoilt(const QByteArray& image, const QString& variant) {
    if (variant == "empty name") {
        for (int at = 54; at < 126; at += 18)
            if (image.mid(at, 4) == QByteArray("\0\0\0\xFC", 4)) {
                QByteArray out = image;
                out.replace(at + 5, 13, QByteArray("\n            "));
                fixChecksums(out);
                return out;
            }
        return {};
    }
    if (!hasCta(image))
        return {};
    if (variant == "second audio block") // AC-3, 6 channels, 48 kHz, 640 kb/s
        return withBlock(image, QByteArray("\x23\x15\x04\x50", 4));
    if (variant == "audio code 0")
        return withBlock(image, QByteArray("\x23\x01\x07\x07", 4));
    if (variant == "sink capability block") { // 600 MHz, SCDC
        if (image.contains(QByteArray("\xD8\x5D\xC4", 3)))
            return {}; // one HDMI Forum block is enough
        return withBlock(image, QByteArray("\xE7\x79\x00\x00\x01\x78\x80\x00", 8));
    }
    if (variant == "TMDS byte 0")
        for (const auto& [at, length] : dataBlocks(image))
            if (quint8(image[at]) >> 5 == 3 && length >= 7 &&
                image.mid(at + 1, 3) == QByteArray("\x03\x0C\x00", 3)) {
                QByteArray out = image;
                out[at + 7] = 0;
                fixChecksums(out);
                return out;
            }
    return {};
}

const QStringList kMissedOnce = {"second audio block", "sink capability block", "audio code 0",
                                 "TMDS byte 0", "empty name"};

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class EdidReferenceTest : public QObject {
    Q_OBJECT

    QString tool_;
    // How many values of each kind were compared, so that a report the
    // parser misreads cannot pass as agreement.
    QMap<QString, int> compared_;

    void count(const QJsonObject& r) {
        const QJsonObject cta = r["cta"].toObject();
        compared_["dtds"] += int(r["dtds"].toArray().size());
        compared_["vics"] += int(cta["vics"].toArray().size());
        compared_["audio descriptors"] += int(cta["audio"].toArray().size());
        compared_["names"] += r["name"].isString();
        compared_["serial texts"] += r["serial_text"].isString();
        compared_["model years"] += r["model_year"].isDouble();
        for (const char* k : {"physical_address", "max_tmds_mhz", "hdmi_forum_max_tmds_mhz"})
            compared_[k] += !cta[k].isNull() && cta.contains(k);
        for (const QJsonValue& t : r["dtds"].toArray())
            compared_["interlaced dtds"] +=
                t["interlaced"].toBool() && t.toObject().contains("v_back");
    }

    QString runReference(const QByteArray& image) {
        QProcess p;
        p.start(tool_, {"--check", "-"});
        p.write(image);
        p.closeWriteChannel();
        if (!p.waitForFinished(10000))
            return {};
        return QString::fromUtf8(p.readAllStandardOutput());
    }

private slots:
    void initTestCase() {
        tool_ = QStandardPaths::findExecutable("edid-decode");
        if (tool_.isEmpty())
            QFAIL("edid-decode is not installed: run HDMI_WITH_TESTS=1 tools/install-deps.sh "
                  "(tools/test.sh does)");
    }

    void cleanupTestCase() {
        QStringList seen;
        for (auto it = compared_.begin(); it != compared_.end(); ++it) {
            seen << QString("%1 %2").arg(it.value()).arg(it.key());
            QVERIFY2(it.value() > 0, qPrintable("no " + it.key() + " compared"));
        }
        qInfo("compared: %s", qPrintable(seen.join(", ")));
    }

    void everyFieldAgrees_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("variant");
        const QDir dir(HDMI_SAMPLES_DIR);
        const QStringList files = dir.entryList({"*.bin"}, QDir::Files, QDir::Name);
        QVERIFY2(files.size() == 300,
                 qPrintable(QString("%1 samples in %2").arg(files.size()).arg(dir.path())));
        for (const QString& f : files)
            QTest::newRow(qPrintable(f)) << dir.filePath(f) << "as is";
        // The checks both decoders make see no fault in the real images, so
        // every tenth is also spoilt: both checksums, the header.
        for (int i = 0; i < files.size(); i += 10) {
            QTest::newRow(qPrintable(files[i] + " checksums"))
                << dir.filePath(files[i]) << "checksums";
            QTest::newRow(qPrintable(files[i] + " header")) << dir.filePath(files[i]) << "header";
        }
        // Fields the real images of the set never show, each on the first
        // ten images that can take it.
        for (const QString& variant : kMissedOnce) {
            int rows = 0;
            for (int i = 0; i < files.size() && rows < 10; ++i)
                if (!spoilt(readAll(dir.filePath(files[i])), variant).isEmpty()) {
                    QTest::newRow(qPrintable(files[i] + ' ' + variant))
                        << dir.filePath(files[i]) << variant;
                    ++rows;
                }
            QVERIFY2(rows == 10, qPrintable(variant));
        }
    }

    void everyFieldAgrees() {
        QFETCH(QString, path);
        QFETCH(QString, variant);
        QByteArray image = readAll(path);
        QCOMPARE(image.size(), 256);
        if (variant == "checksums") {
            image[127] = char(image[127] ^ 0x01);
            image[255] = char(image[255] ^ 0x10);
        } else if (variant == "header") {
            image[3] = 0x7F; // and the checksum kept right
            image[127] = char(image[127] + 0x80);
        } else if (kMissedOnce.contains(variant)) {
            image = spoilt(image, variant);
        }
        const QString report = runReference(image);
        QVERIFY2(!report.isEmpty(), "edid-decode gave no report");
        const QJsonObject reference = referenceJson(report);
        QJsonObject ours = decodedJson(edid::decodeEdid(image));
        ours["findings"] = QJsonArray::fromStringList(ourFindingKinds(ours));
        if (variant == "header") {
            // edid-decode decodes nothing without a header; only the
            // finding compares.
            QCOMPARE(ours["findings"].toArray(), reference["findings"].toArray());
            return;
        }
        count(reference);
        const QString diff = firstDifference(project(ours, reference), reference, QString());
        QVERIFY2(diff.isEmpty(), qPrintable(QDir(path).dirName() + ": " + diff));
    }
};

QTEST_GUILESS_MAIN(EdidReferenceTest)
#include "test_edid_reference.moc"

// The editor: its edge cases as table rows, then every edit on the 300 real
// images judged by Debian's edid-decode: no conformance failure the original
// did not have, and the edit's effect in edid-decode's own decoding.

#include "core/edid/decode/edid_text.h"
#include "core/edid/edit/edid_edit.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

namespace {

using edid::Edit;

// "audio stereo", "max-1080p", "preferred 97", "name TEXT", ... as the
// tool's options name them.
Edit editOf(const QString& spec) {
    const QString word = spec.section(' ', 0, 0), arg = spec.section(' ', 1);
    static const QMap<QString, edid::AudioLayout> layouts = {{"stereo", edid::AudioLayout::Stereo},
                                                             {"5.1", edid::AudioLayout::Surround51},
                                                             {"7.1", edid::AudioLayout::Surround71},
                                                             {"none", edid::AudioLayout::None}};
    static const QMap<QString, Edit::Kind> kinds = {
        {"audio", Edit::Kind::Audio},          {"max-1080p", Edit::Kind::Max1080p},
        {"no-hdr", Edit::Kind::NoHdr},         {"no-deep-colour", Edit::Kind::NoDeepColour},
        {"preferred", Edit::Kind::Preferred},  {"add-vic", Edit::Kind::AddVic},
        {"remove-vic", Edit::Kind::RemoveVic}, {"name", Edit::Kind::Name},
        {"serial", Edit::Kind::Serial},        {"physical-address", Edit::Kind::PhysicalAddress}};
    Edit e(kinds.value(word), arg.toInt());
    e.audio = layouts.value(arg);
    e.text = arg;
    e.serial = arg.toUInt();
    const QStringList parts = arg.split('.');
    for (int i = 0; i < 4 && parts.size() == 4; ++i)
        e.address[i] = parts[i].toInt();
    return e;
}

const QStringList kEdits = {"audio stereo",
                            "audio 5.1",
                            "audio 7.1",
                            "audio none",
                            "max-1080p",
                            "no-hdr",
                            "no-deep-colour",
                            "preferred 97",
                            "add-vic 97",
                            "remove-vic 16",
                            "name LOBBY TV 2",
                            "serial 4000000000",
                            "physical-address 2.1.0.0"};

QByteArray bytesOf(const edid::Image& m) {
    return QByteArray(reinterpret_cast<const char*>(m.data()), m.size());
}

edid::Image imageOf(const QByteArray& bytes) {
    edid::Image m{};
    std::memcpy(m.data(), bytes.constData(), size_t(qMin<qsizetype>(bytes.size(), 256)));
    return m;
}

QString samplesDir() {
    return HDMI_SAMPLES_DIR;
}

QByteArray sample(const QString& name) {
    QFile f(samplesDir() + '/' + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void fixChecksums(QByteArray& m) {
    for (int b = 0; b < m.size(); b += 128) {
        int sum = 0;
        for (int i = b; i < b + 127; ++i)
            sum += quint8(m[i]);
        m[b + 127] = char(-sum & 0xFF);
    }
}

// The images the table rows start from.
QByteArray startImage(const QString& kind) {
    QByteArray m = sample("Samsung-SAM75C3-04b0b149.bin"); // 4K TV, 4:2:0 map, HDR
    if (kind == "base only") {
        m = m.left(128);
        m[126] = 0;
    } else if (kind == "DisplayID") {
        m[128] = 0x70;
    } else if (kind == "no header") {
        m[1] = 0;
    } else if (kind == "full") { // four vendor blocks fill the collection
        const QByteArray vendor = QByteArray("\x7D\x01\x02\x03", 4) + QByteArray(26, 'x');
        const QByteArray ext = QByteArray("\x02\x03\x7C\x00", 4) + vendor.repeated(4);
        m.replace(128, 127, ext + QByteArray(127 - ext.size(), '\0'));
    } else if (kind == "four timings") {
        const QByteArray dtd = m.mid(54, 18);
        for (int at : {72, 90, 108})
            m.replace(at, 18, dtd);
    } else if (kind == "three timings") { // 2560x1440 at 60 and 120 Hz, 1360x768, range limits
        const QByteArray wxga = QByteArray::fromHex("662150B051001B304070360056502100001E");
        m.replace(54, 72, m.mid(128 + quint8(m[130]), 18) + m.mid(54, 18) + wxga + m.mid(72, 18));
    } else if (kind == "two strings") { // a timing, range limits, two alphanumeric strings
        const QByteArray string("\0\0\0\xFE\0", 5);
        m.replace(90, 18, string + "ALPHA\n       ");
        m.replace(108, 18, string + "BETA\n        ");
    }
    fixChecksums(m);
    return m;
}

// A field of the decoder's JSON by a dotted path ("cta.audio.0.channels"),
// in compact JSON.
QString field(const QJsonObject& o, const QString& path) {
    QJsonValue v = o;
    for (const QString& k : path.split('.'))
        v = v.isArray() ? v.toArray().at(k.toInt()) : v.toObject().value(k);
    const QByteArray a = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(a.mid(1, a.size() - 2));
}

// Failure lines of an edid-decode --check report, numbers left out, so that
// a range that now holds one more timing is still the same failure.
QSet<QString> failures(const QString& report) {
    QSet<QString> out;
    const qsizetype at = report.indexOf("\nFailures:");
    if (at < 0)
        return out;
    QString section;
    static const QRegularExpression numbers("[0-9.]+");
    for (const QString& line : report.mid(at + 10).split('\n')) {
        if (line.startsWith("EDID conformity"))
            break;
        if (!line.startsWith(' '))
            section = line;
        else
            out << QString(section + line.trimmed()).replace(numbers, "#");
    }
    return out;
}

// What edid-decode's decoding must show after an edit; empty when it does.
QString effectMissing(const QString& spec, const QString& report) {
    QStringList sads;
    bool inAudio = false;
    for (const QString& line : report.split('\n')) {
        if (line.startsWith("  ") && !line.startsWith("   "))
            inAudio = line == "  Audio Data Block:";
        else if (inAudio && line.startsWith("    ") && !line.startsWith("     "))
            sads << line.trimmed();
    }
    if (spec == "audio stereo" &&
        (sads != QStringList{"Linear PCM:"} || !report.contains("Max channels: 2")))
        return "not one LPCM 2-channel descriptor: " + sads.join(' ');
    if (spec == "audio 5.1" && sads != QStringList{"Linear PCM:", "AC-3:", "DTS:"})
        return "not the 5.1 descriptors: " + sads.join(' ');
    if (spec == "audio none" && report.contains("Audio Data Block"))
        return "an audio block";
    if (spec == "max-1080p") {
        static const QRegularExpression clock(" \\d+x\\d+i? .* ([\\d.]+) MHz");
        for (const QString& line : report.split('\n'))
            if (const auto m = clock.match(line); m.hasMatch() && m.captured(1).toDouble() > 148.5)
                return "a timing above 148.5 MHz: " + line.trimmed();
    }
    if (spec == "no-hdr" && report.contains("HDR "))
        return "an HDR block";
    if (spec.startsWith("name ") &&
        !report.contains(QString("Display Product Name: '%1'").arg(spec.mid(5))))
        return "no name";
    return {};
}

} // namespace

class EdidEditTest : public QObject {
    Q_OBJECT

private slots:
    void edgeCases_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QString>("path");     // a field of the decoded result
        QTest::addColumn<QString>("expected"); // its value, or the refusal's start
        QTest::addColumn<QString>("notes");
        const auto row = [](const char* name, const char* start, QStringList edits,
                            const char* path, const char* expected, const char* notes = "") {
            QTest::newRow(name) << start << edits << path << expected << notes;
        };
        row("an image without extension gets one", "base only", {"audio stereo"}, "cta.audio",
            R"([{"bits":[16,20,24],"channels":2,"format":"LPCM","format_code":1,)"
            R"("rates_khz":[32,44.1,48]}])");
        row("stereo keeps basic audio", "sample", {"audio stereo"}, "cta.basic_audio", "true");
        row("no audio turns basic audio off", "sample", {"audio none"}, "cta.basic_audio", "false");
        row("7.1 speakers", "sample", {"audio 7.1"}, "cta.speakers",
            R"(["FL/FR","LFE","FC","BL/BR","RLC/RRC"])");
        row("a name of 13 characters has no line feed", "sample", {"name ABCDEFGHIJKLM"}, "name",
            "\"ABCDEFGHIJKLM\"");
        row("a name displaces no first timing", "four timings", {"name LOBBY"}, "dtds.0.offset",
            "54");
        row("a timing the name displaces moves to the extension", "four timings",
            {"name LOBBY", "name LOBBY"}, "name", "\"LOBBY\"");
        row("an alphanumeric string gives way to a name", "two strings", {"name LOBBY"}, "name",
            "\"LOBBY\"", "the name takes the place of the alphanumeric data string \"BETA\"");
        row("max-1080p leaves the timings together", "three timings", {"max-1080p"},
            "dtds.1.offset", "72");
        row("max-1080p makes VIC 16 first and native", "sample", {"max-1080p"}, "cta.native_vics",
            "[16]");
        row("max-1080p writes the HDMI clock", "sample", {"max-1080p"}, "cta.max_tmds_mhz", "165");
        row("max-1080p drops the HDMI Forum block", "sample", {"max-1080p"},
            "cta.hdmi_forum_max_tmds_mhz", "null");
        row("preferred VIC in detailed timing 1", "sample", {"preferred 97"},
            "dtds.0.pixel_clock_khz", "594000");
        row("removing the last VICs drops the video block", "base only",
            {"add-vic 16", "remove-vic 16"}, "cta.vics", "[]");
        row("a physical address makes an HDMI block", "base only", {"physical-address 3.2.0.0"},
            "cta.physical_address", "\"3.2.0.0\"");
        row("a serial also in the serial text", "sample", {"serial 4000000000"}, "serial_number",
            "4000000000");
        row("not an EDID", "no header", {"no-hdr"}, "", "not an EDID image");
        row("another extension", "DisplayID", {"audio stereo"}, "",
            "its extension block is not a CTA-861");
        row("no room", "full", {"audio 7.1"}, "", "the CTA-861 extension has no room");
        row("no timing known", "sample", {"preferred 200"}, "", "no detailed timing is known");
        row("VIC 0", "sample", {"add-vic 0"}, "", "VIC 0 names no video format");
        row("a name too long", "sample", {"name ABCDEFGHIJKLMN"}, "", "a name is 1 to 13");
        row("a name not ASCII", "sample", {QString::fromUtf8("name Süd")}, "",
            "a name holds printable ASCII");
        row("an address with a part after a 0", "sample", {"physical-address 1.0.2.0"}, "",
            "a physical address has no part after");
    }

    void edgeCases() {
        QFETCH(QString, start);
        QFETCH(QStringList, edits);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QFETCH(QString, notes);
        QList<Edit> list;
        for (const QString& s : edits)
            list << editOf(s);
        const edid::Image before = imageOf(startImage(start));
        const edid::EditOutcome out = edid::applyEdits(before, list);
        if (path.isEmpty()) {
            QVERIFY(!out.image);
            QVERIFY2(out.refusal.startsWith(expected), qPrintable(out.refusal));
            return;
        }
        QVERIFY2(out.image, qPrintable(out.refusal));
        QCOMPARE(out.notes.join("; "), notes);
        const edid::DecodedEdid d = edid::decodeEdid(*out.image);
        QVERIFY(!d.checksumsOk.contains(false));
        QCOMPARE(field(edid::decodedJson(d), path), expected);
        QCOMPARE(edid::addedFindings(before, *out.image), QStringList());
    }

    // Every edit on every sample; edid-decode runs in four shells that each
    // check a quarter of the images, one process per image.
    void againstEdidDecode() {
        const QString tool = QStandardPaths::findExecutable("edid-decode");
        if (tool.isEmpty())
            QFAIL("edid-decode is not installed: run HDMI_WITH_TESTS=1 tools/install-deps.sh");
        const QStringList files = QDir(samplesDir()).entryList({"*.bin"}, QDir::Files, QDir::Name);
        QCOMPARE(files.size(), 300);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QMap<QByteArray, QString> written; // image -> file, each image checked once
        const auto fileOf = [&](const QByteArray& image) {
            QString& name = written[image];
            if (name.isEmpty()) {
                name = QString("%1.bin").arg(written.size());
                QFile f(dir.filePath(name));
                if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size())
                    return QString();
            }
            return name;
        };
        struct Case {
            QString sample, edit, original, edited;
        };
        QList<Case> cases;
        QMap<QString, int> applied;
        // The samples, and images built for what none of them has.
        for (const QString& f : files + QStringList{"three timings", "two strings"}) {
            const edid::Image image = imageOf(f.endsWith(".bin") ? sample(f) : startImage(f));
            const QString original = fileOf(bytesOf(image));
            for (const QString& spec : kEdits) {
                const edid::EditOutcome once = edid::applyEdit(image, editOf(spec));
                if (!once.image)
                    continue;
                const edid::EditOutcome twice = edid::applyEdit(*once.image, editOf(spec));
                QVERIFY2(twice.image && *twice.image == *once.image,
                         qPrintable(f + ": " + spec + " twice differs from once"));
                const QStringList added = edid::addedFindings(image, *once.image);
                QVERIFY2(added.isEmpty(), qPrintable(f + ": " + spec + ": " + added.join("; ")));
                cases << Case{f, spec, original, fileOf(bytesOf(*once.image))};
                ++applied[spec];
            }
        }
        for (const QString& name : edid::templateNames())
            cases << Case{name, "template", {}, fileOf(bytesOf(*edid::buildTemplate(name)))};
        QVERIFY(!written.contains(QByteArray()) && !written.values().contains(QString()));

        constexpr int kShells = 4;
        QMap<QString, QString> reports;
        const QStringList names = written.values();
        QList<QProcess*> shells;
        for (int part = 0; part < kShells; ++part) {
            auto* p = new QProcess(this);
            p->setWorkingDirectory(dir.path());
            QStringList args{"-c", "for f; do echo \"=== $f\"; \"$0\" -c \"$f\"; done", tool};
            args << names.mid(part * names.size() / kShells,
                              (part + 1) * names.size() / kShells - part * names.size() / kShells);
            p->start("sh", args);
            shells << p;
        }
        for (QProcess* p : shells) {
            QVERIFY(p->waitForFinished(60000));
            const QStringList parts = QString::fromUtf8(p->readAllStandardOutput()).split("=== ");
            for (const QString& part : parts)
                reports[part.section('\n', 0, 0)] = part;
        }
        QCOMPARE(reports.size() - 1, names.size()); // and the empty text before the first
        qInfo("%lld images checked", qlonglong(names.size()));

        for (const Case& c : cases) {
            const QString& after = reports[c.edited];
            const QString what = c.sample + ", " + c.edit + ": ";
            QVERIFY2(after.contains("EDID conformity"), qPrintable(what + "no report"));
            const QSet<QString> added = failures(after) - failures(reports[c.original]);
            QVERIFY2(added.isEmpty(), qPrintable(what + QStringList(added.values()).join("; ")));
            const QString missing = effectMissing(c.edit, after);
            QVERIFY2(missing.isEmpty(), qPrintable(what + missing));
        }
        // A refusal is the exception: each edit took nearly every image, but
        // the EDID 1.4 monitors without HDMI block refuse an HDMI address.
        for (const QString& spec : kEdits)
            QVERIFY2(applied[spec] >= (spec.startsWith("physical") ? 200 : 290),
                     qPrintable(QString("%1: %2").arg(spec).arg(applied[spec])));
    }
};

QTEST_GUILESS_MAIN(EdidEditTest)
#include "test_edid_edit.moc"

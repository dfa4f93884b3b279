#include "frontends/cli/edid_edit.h"

#include "core/cmdline/option_help.h"
#include "core/edid/decode/edid_text.h"
#include "core/files/edid_file.h"
#include "frontends/cli/command.h"
#include "frontends/cli/output.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QRegularExpression>

namespace cli {

namespace {

const char kEditUsage[] =
    "Usage: hdmi-matrix-ctl edid edit IN -o OUT [--audio stereo|5.1|7.1|none] [--max-1080p]\n"
    "           [--no-hdr] [--no-deep-colour] [--preferred VIC] [--add-vic N]...\n"
    "           [--remove-vic N]... [--name TEXT] [--serial N]\n"
    "           [--physical-address A.B.C.D] [--json]\n"
    "       hdmi-matrix-ctl edid template NAME -o OUT\n";

const char kHelp[] =
    "\nEdits an EDID file (raw or hex dump) into OUT, 256 bytes with every checksum\n"
    "right; the edits run in the order above. Needs no port.\n";

const char kHelpEnd[] =
    "Templates: 1080p-stereo, 1080p-5.1, 4k30-stereo, 4k60-hdr-7.1.\n"
    "Exit status: 0 written; 1 no EDID image or an edit it cannot take; 2 usage error.\n";

using Kind = edid::Edit::Kind;

// Each option with the name of its value (none for a switch) and its help,
// a line for each line.
struct EditOption {
    const char* name;
    const char* value;
    const char* description;
};
const EditOption kOptions[] = {
    {"audio", "LAYOUT",
     "stereo: LPCM 2 channels only, front left/right speakers\n"
     "5.1: LPCM 2 channels, AC-3 and DTS 5.1\n"
     "7.1: the 5.1 set and LPCM 8 channels\n"
     "none: no audio at all"},
    {"max-1080p", nullptr, "nothing above 1920x1080 60 Hz, 1080p60 preferred"},
    {"no-hdr", nullptr, "no HDR blocks"},
    {"no-deep-colour", nullptr, "8 bits per colour only"},
    {"preferred", "VIC", "the VIC first, native, and as detailed timing 1"},
    {"add-vic", "N", "list a VIC"},
    {"remove-vic", "N", "drop a VIC"},
    {"name", "TEXT", "the display name, 1 to 13 ASCII characters"},
    {"serial", "N", "the serial number, 0 to 4294967295"},
    {"physical-address", "A.B.C.D", "the HDMI source physical address"},
};

// Why the text is no VIC the image can list; empty when it is one.
QString vicArgumentProblem(const QString& text, int* vic) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,3}$"));
    if (!digits.match(text).hasMatch())
        return QStringLiteral("\"%1\" is no VIC").arg(text);
    *vic = text.toInt();
    return edid::vicProblem(*vic);
}

QString readAudio(const QString& value, QList<edid::Edit>* edits) {
    static const QMap<QString, edid::AudioLayout> layouts = {{"stereo", edid::AudioLayout::Stereo},
                                                             {"5.1", edid::AudioLayout::Surround51},
                                                             {"7.1", edid::AudioLayout::Surround71},
                                                             {"none", edid::AudioLayout::None}};
    if (!layouts.contains(value))
        return QStringLiteral("--audio takes stereo, 5.1, 7.1 or none, not \"%1\"").arg(value);
    edid::Edit e(Kind::Audio);
    e.audio = layouts[value];
    *edits << e;
    return {};
}

QString readSerial(const QString& value, QList<edid::Edit>* edits) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,10}$"));
    const qulonglong v = value.toULongLong();
    if (!digits.match(value).hasMatch() || v > 0xFFFFFFFFull)
        return QStringLiteral("--serial takes 0 to 4294967295, not \"%1\"").arg(value);
    edid::Edit e(Kind::Serial);
    e.serial = quint32(v);
    *edits << e;
    return {};
}

QString readAddress(const QString& value, QList<edid::Edit>* edits) {
    static const QRegularExpression form(
        QStringLiteral("^([0-9]{1,2})\\.([0-9]{1,2})\\.([0-9]{1,2})\\.([0-9]{1,2})$"));
    const QRegularExpressionMatch m = form.match(value);
    edid::Edit e(Kind::PhysicalAddress);
    for (int i = 0; i < 4; ++i)
        e.address[i] = m.hasMatch() ? m.captured(i + 1).toInt() : -1;
    if (const QString why = edid::physicalAddressProblem(e.address); !why.isEmpty())
        return QStringLiteral("--physical-address %1: %2").arg(value, why);
    *edits << e;
    return {};
}

QByteArray bytesOf(const edid::Image& image) {
    return QByteArray(reinterpret_cast<const char*>(image.data()), image.size());
}

QJsonArray findingsOf(const edid::Image& image) {
    return edid::decodedJson(bytesOf(image))[QStringLiteral("findings")].toArray();
}

int writeTemplate(const Command& c, Console& console) {
    QString error;
    if (files::saveEdidImage(c.file, *edid::buildTemplate(c.source), &error))
        return kDone;
    console.error(QStringLiteral("edid template: cannot write %1: %2").arg(c.file, error));
    return kFailed;
}

} // namespace

QList<QCommandLineOption> editOptions() {
    QList<QCommandLineOption> options;
    for (const auto& [name, value, description] : kOptions) {
        QCommandLineOption o(QLatin1String(name), QString::fromUtf8(description));
        if (value)
            o.setValueName(QLatin1String(value));
        options << o;
    }
    return options;
}

QString readEdits(const QCommandLineParser& p, Verb verb, QList<edid::Edit>* edits) {
    if (verb != Verb::EdidEdit) {
        for (const auto& [name, value, description] : kOptions)
            if (p.isSet(name))
                return (verb == Verb::EdidTemplate ? QStringLiteral("edid template takes no --%1")
                                                   : QStringLiteral("--%1 is for edid edit only"))
                    .arg(QLatin1String(name));
        return {};
    }
    if (p.isSet("audio"))
        if (const QString why = readAudio(p.value("audio"), edits); !why.isEmpty())
            return why;
    for (const auto& [name, kind] : {std::pair{"max-1080p", Kind::Max1080p},
                                     {"no-hdr", Kind::NoHdr},
                                     {"no-deep-colour", Kind::NoDeepColour}})
        if (p.isSet(name))
            *edits << edid::Edit(kind);
    if (p.values("preferred").size() > 1)
        return QStringLiteral("--preferred is given once");
    for (const auto& [name, kind] : {std::pair{"preferred", Kind::Preferred},
                                     {"add-vic", Kind::AddVic},
                                     {"remove-vic", Kind::RemoveVic}})
        for (const QString& v : p.values(name)) {
            int vic = 0;
            if (const QString why = vicArgumentProblem(v, &vic); !why.isEmpty())
                return QStringLiteral("--%1: %2").arg(QLatin1String(name), why);
            *edits << edid::Edit(kind, vic);
        }
    if (p.isSet("name")) {
        edid::Edit e(Kind::Name);
        e.text = p.value("name");
        if (const QString why = edid::nameProblem(e.text); !why.isEmpty())
            return QStringLiteral("--name: ") + why;
        *edits << e;
    }
    if (p.isSet("serial"))
        if (const QString why = readSerial(p.value("serial"), edits); !why.isEmpty())
            return why;
    if (p.isSet("physical-address"))
        return readAddress(p.value("physical-address"), edits);
    return {};
}

QString editUsage(bool help) {
    if (!help)
        return QLatin1String(kEditUsage);
    // --json is the tool's option; here it says what it adds to edid edit.
    const QList<QCommandLineOption> options =
        editOptions() << QCommandLineOption(QStringLiteral("json"),
                                            QStringLiteral("print the decoder's findings before "
                                                           "and after"));
    return QLatin1String(kEditUsage) + QLatin1String(kHelp) +
           cmdline::optionLines(options, {.column = 21}) + QLatin1String(kHelpEnd);
}

int runEdidEdit(const Command& c, Console& console) {
    if (c.verb == Verb::EdidTemplate)
        return writeTemplate(c, console);
    const QString& in = c.source;
    const auto refuse = [&](const QString& why) {
        console.error(QStringLiteral("edid edit: ") + why);
        return int(kFailed);
    };
    const files::EdidFile file = files::readEdidFile(in);
    if (const QString why = files::imageProblem(in, file); !why.isEmpty())
        return refuse(why);
    if (file.imageSize() > edid::kImageSize)
        return refuse(QStringLiteral("%1: %2 bytes; the switcher holds an image of 256")
                          .arg(in)
                          .arg(file.imageSize()));
    const edid::Image& image = *file.image;
    const edid::EditOutcome outcome = edid::applyEdits(image, c.edits);
    if (!outcome.image)
        return refuse(QStringLiteral("%1: %2").arg(in, outcome.refusal));
    QString error;
    if (!files::saveEdidImage(c.file, *outcome.image, &error))
        return refuse(QStringLiteral("cannot write %1: %2").arg(c.file, error));
    for (const QString& note : outcome.notes)
        console.note(QStringLiteral("edid edit: ") + note);
    if (c.json)
        console.json(QJsonObject{{"file", c.file},
                                 {"changed", *outcome.image != image},
                                 {"findings_before", findingsOf(image)},
                                 {"findings_after", findingsOf(*outcome.image)},
                                 {"notes", QJsonArray::fromStringList(outcome.notes)}});
    return kDone;
}

} // namespace cli

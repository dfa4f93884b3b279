#include "frontends/cli/edid_edit.h"

#include "core/edid/decode/edid_text.h"
#include "core/edid/edit/edid_edit.h"
#include "core/files/edid_file.h"
#include "core/files/write_file.h"
#include "frontends/cli/command.h"
#include "frontends/cli/files.h"
#include "frontends/cli/output.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QRegularExpression>
#include <cstdio>

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
    "right; the edits run in the order above. Needs no port.\n"
    "  --audio stereo     LPCM 2 channels only, front left/right speakers\n"
    "  --audio 5.1        LPCM 2 channels, AC-3 and DTS 5.1\n"
    "  --audio 7.1        the 5.1 set and LPCM 8 channels\n"
    "  --audio none       no audio at all\n"
    "  --max-1080p        nothing above 1920x1080 60 Hz, 1080p60 preferred\n"
    "  --no-hdr           no HDR blocks\n"
    "  --no-deep-colour   8 bits per colour only\n"
    "  --preferred VIC    the VIC first, native, and as detailed timing 1\n"
    "  --add-vic N, --remove-vic N   list or drop a VIC\n"
    "  --name TEXT        the display name, 1 to 13 ASCII characters\n"
    "  --serial N         the serial number, 0 to 4294967295\n"
    "  --physical-address A.B.C.D    the HDMI source physical address\n"
    "  --json             print the decoder's findings before and after\n"
    "Templates: 1080p-stereo, 1080p-5.1, 4k30-stereo, 4k60-hdr-7.1.\n"
    "Exit status: 0 written; 1 no EDID image or an edit it cannot take; 2 usage error.\n";

int usageError(Console& console, const QString& error) {
    console.error(error);
    std::fputs(kEditUsage, stderr);
    return kUsage;
}

std::optional<int> vicArgument(const QString& text, QString* error) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,3}$"));
    const int vic = digits.match(text).hasMatch() ? text.toInt() : -1;
    if (vic < 0) {
        *error = QStringLiteral("\"%1\" is no VIC").arg(text);
        return std::nullopt;
    }
    if (const QString why = edid::vicProblem(vic); !why.isEmpty()) {
        *error = why;
        return std::nullopt;
    }
    return vic;
}

QJsonArray findingsOf(const QByteArray& bytes) {
    return edid::decodedJson(bytes)[QStringLiteral("findings")].toArray();
}

QByteArray bytesOf(const edid::Image& image) {
    return QByteArray(reinterpret_cast<const char*>(image.data()), image.size());
}

} // namespace

bool isEdidEditCommand(const QStringList& arguments) {
    // The first two words that are no option nor an option's value.
    QStringList words;
    for (int i = 1; i < arguments.size() && words.size() < 2; ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("-p") || a == QLatin1String("--port") ||
            a == QLatin1String("--timeout") || a == QLatin1String("-o") ||
            a == QLatin1String("--output"))
            ++i;
        else if (!a.startsWith(QLatin1Char('-')))
            words << a;
    }
    return words.value(0) == QLatin1String("edid") &&
           (words.value(1) == QLatin1String("edit") || words.value(1) == QLatin1String("template"));
}

int runEdidEdit(const QStringList& arguments, Console& console) {
    QCommandLineParser p;
    const QCommandLineOption output({"o", "output"}, {}, "OUT");
    const QCommandLineOption audio("audio", {}, "LAYOUT");
    const QCommandLineOption max1080p("max-1080p");
    const QCommandLineOption noHdr("no-hdr");
    const QCommandLineOption noDeep("no-deep-colour");
    const QCommandLineOption preferred("preferred", {}, "VIC");
    const QCommandLineOption addVic("add-vic", {}, "N");
    const QCommandLineOption removeVic("remove-vic", {}, "N");
    const QCommandLineOption name("name", {}, "TEXT");
    const QCommandLineOption serial("serial", {}, "N");
    const QCommandLineOption address("physical-address", {}, "A.B.C.D");
    const QCommandLineOption json("json");
    // The tool's general options mean nothing here, but a script may pass them.
    const QCommandLineOption port({"p", "port"}, {}, "P");
    const QCommandLineOption timeout("timeout", {}, "S");
    const QCommandLineOption help(QStringList{"h", "help"});
    p.addOptions({output, audio, max1080p, noHdr, noDeep, preferred, addVic, removeVic, name,
                  serial, address, json, port, timeout, help});
    if (!p.parse(arguments))
        return usageError(console, p.errorText());
    if (p.isSet(help)) {
        console.data(QLatin1String(kEditUsage) + QLatin1String(kHelp));
        return kDone;
    }
    const QStringList words = p.positionalArguments();
    const bool isTemplate = words.value(1) == QLatin1String("template");
    const QString verb = QStringLiteral("edid ") + words.value(1);
    if (words.size() != 3)
        return usageError(
            console, QStringLiteral("%1 needs %2 -o OUT").arg(verb, isTemplate ? "NAME" : "IN"));
    if (!p.isSet(output) || p.value(output).isEmpty())
        return usageError(console, QStringLiteral("%1 needs -o OUT").arg(verb));
    const QString out = p.value(output);

    if (isTemplate) {
        for (const QCommandLineOption& o : {audio, max1080p, noHdr, noDeep, preferred, addVic,
                                            removeVic, name, serial, address, json})
            if (p.isSet(o))
                return usageError(
                    console,
                    QStringLiteral("edid template takes no --%1").arg(o.names().constFirst()));
        const std::optional<edid::Image> image = edid::buildTemplate(words[2]);
        if (!image)
            return usageError(console, QStringLiteral("edid template: no template \"%1\" (%2)")
                                           .arg(words[2], edid::templateNames().join(", ")));
        QString error;
        if (!files::saveFile(out, bytesOf(*image), &error)) {
            console.error(QStringLiteral("edid template: cannot write %1: %2").arg(out, error));
            return kFailed;
        }
        return kDone;
    }

    // The edits, in the order of the usage; every argument checked before
    // the file is read.
    QList<edid::Edit> edits;
    QString error;
    if (p.isSet(audio)) {
        static const QMap<QString, edid::AudioLayout> layouts = {
            {"stereo", edid::AudioLayout::Stereo},
            {"5.1", edid::AudioLayout::Surround51},
            {"7.1", edid::AudioLayout::Surround71},
            {"none", edid::AudioLayout::None}};
        const QString v = p.value(audio);
        if (!layouts.contains(v))
            return usageError(console, QStringLiteral("--audio takes stereo, 5.1, 7.1 or none, "
                                                      "not \"%1\"")
                                           .arg(v));
        edid::Edit e{edid::Edit::Kind::Audio};
        e.audio = layouts[v];
        edits << e;
    }
    if (p.isSet(max1080p))
        edits << edid::Edit{edid::Edit::Kind::Max1080p};
    if (p.isSet(noHdr))
        edits << edid::Edit{edid::Edit::Kind::NoHdr};
    if (p.isSet(noDeep))
        edits << edid::Edit{edid::Edit::Kind::NoDeepColour};
    const auto vicEdits = [&](const QCommandLineOption& o, edid::Edit::Kind kind) {
        for (const QString& v : p.values(o)) {
            const std::optional<int> vic = vicArgument(v, &error);
            if (!vic) {
                error = QStringLiteral("--%1: %2").arg(o.names().constFirst(), error);
                return false;
            }
            edid::Edit e{kind};
            e.number = *vic;
            edits << e;
        }
        return true;
    };
    if (!vicEdits(preferred, edid::Edit::Kind::Preferred) ||
        !vicEdits(addVic, edid::Edit::Kind::AddVic) ||
        !vicEdits(removeVic, edid::Edit::Kind::RemoveVic))
        return usageError(console, error);
    if (p.values(preferred).size() > 1)
        return usageError(console, QStringLiteral("--preferred is given once"));
    if (p.isSet(name)) {
        edid::Edit e{edid::Edit::Kind::Name};
        e.text = p.value(name);
        if (const QString why = edid::nameProblem(e.text); !why.isEmpty())
            return usageError(console, QStringLiteral("--name: ") + why);
        edits << e;
    }
    if (p.isSet(serial)) {
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,10}$"));
        bool ok = false;
        const qulonglong v = p.value(serial).toULongLong(&ok);
        if (!ok || !digits.match(p.value(serial)).hasMatch() || v > 0xFFFFFFFFull)
            return usageError(console, QStringLiteral("--serial takes 0 to 4294967295, not "
                                                      "\"%1\"")
                                           .arg(p.value(serial)));
        edid::Edit e{edid::Edit::Kind::Serial};
        e.serial = quint32(v);
        edits << e;
    }
    if (p.isSet(address)) {
        static const QRegularExpression form(
            QStringLiteral("^([0-9]{1,2})\\.([0-9]{1,2})\\.([0-9]{1,2})\\.([0-9]{1,2})$"));
        const QRegularExpressionMatch m = form.match(p.value(address));
        edid::Edit e{edid::Edit::Kind::PhysicalAddress};
        for (int i = 0; i < 4; ++i)
            e.address[i] = m.hasMatch() ? m.captured(i + 1).toInt() : -1;
        if (const QString why = edid::physicalAddressProblem(e.address); !why.isEmpty())
            return usageError(
                console, QStringLiteral("--physical-address %1: %2").arg(p.value(address), why));
        edits << e;
    }

    const QString in = words[2];
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
    const edid::Image image = *file.image;
    const edid::EditOutcome outcome = edid::applyEdits(image, edits);
    if (!outcome.image)
        return refuse(QStringLiteral("%1: %2").arg(in, outcome.refusal));
    const QByteArray edited = edits.isEmpty() ? bytesOf(image) : bytesOf(*outcome.image);
    if (!files::saveFile(out, edited, &error))
        return refuse(QStringLiteral("cannot write %1: %2").arg(out, error));
    if (p.isSet(json))
        console.json(QJsonObject{{"file", out},
                                 {"changed", edited != bytesOf(image)},
                                 {"findings_before", findingsOf(bytesOf(image))},
                                 {"findings_after", findingsOf(edited)}});
    return kDone;
}

} // namespace cli

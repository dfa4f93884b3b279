#include "frontends/cli/decode.h"

#include "core/edid/decode/edid_decode.h"
#include "core/edid/decode/edid_text.h"
#include "core/files/edid_file.h"
#include "frontends/cli/command.h"
#include "frontends/cli/output.h"

namespace cli {

int decodeEdidFile(const Command& command, Console& console) {
    const bool fromStdin = command.file == QLatin1String("-");
    const QString path = fromStdin ? QStringLiteral("standard input") : command.file;
    const auto refuse = [&](const QString& why) {
        console.error(QStringLiteral("edid decode: ") + why);
        return int(kFailed);
    };
    // A raw file is decoded whole, extension blocks past the second
    // included; a text file by the dump it holds.
    const files::EdidFile f =
        fromStdin ? files::edidFileFrom(files::readStandardInput(files::kMaxEdidFileSize))
                  : files::readEdidFile(path, true);
    if (const QString why = files::imageProblem(path, f); !why.isEmpty())
        return refuse(why);
    const edid::DecodedEdid d = edid::decodeEdid(f.bytes);
    if (command.json)
        console.json(edid::decodedJson(d));
    else {
        const QString text = edid::decodedText(d);
        console.data(text.endsWith(QLatin1Char('\n')) ? text : text + QLatin1Char('\n'));
    }
    return kDone;
}

} // namespace cli

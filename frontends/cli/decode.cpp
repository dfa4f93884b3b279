#include "frontends/cli/decode.h"

#include "frontends/cli/command.h"
#include "frontends/cli/files.h"
#include "frontends/cli/output.h"
#include "core/edid/decode/edid_dump.h"
#include "core/edid/decode/edid_text.h"

namespace cli {

int decodeEdidFile(const Command& command, Console& console) {
    const QString& path = command.file;
    const auto refuse = [&](const QString& why) {
        console.error(QStringLiteral("edid decode: ") + why);
        return int(kFailed);
    };
    QByteArray bytes;
    QString error;
    if (!readInputFile(path, edid::kMaxDumpFileSize, &bytes, &error))
        return refuse(error);
    // A raw file is decoded whole, extension blocks past the second
    // included; a text file by the dump it holds.
    if (edid::looksLikeText(bytes) && !bytes.isEmpty()) {
        const edid::HexDump dump = edid::readHexDump(bytes);
        if (!dump.ok())
            return refuse(QStringLiteral("%1: not an EDID image: %2").arg(path, dump.error));
        bytes = dump.bytes;
    }
    static const char header[] = "\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00";
    if (!bytes.startsWith(QByteArrayView(header, 8)))
        return refuse(QStringLiteral("%1: not an EDID image (it does not start with the header "
                                     "00 FF FF FF FF FF FF 00)")
                          .arg(path));
    const edid::DecodedEdid d = edid::decodeEdid(bytes);
    if (command.json)
        console.json(edid::decodedJson(d));
    else {
        const QString text = edid::decodedText(d);
        console.data(text.endsWith(QLatin1Char('\n')) ? text : text + QLatin1Char('\n'));
    }
    return kDone;
}

} // namespace cli

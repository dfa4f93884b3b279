#include "core/files/edid_file.h"

#include "core/edid/decode/edid_dump.h"
#include "core/files/write_file.h"

#include <algorithm>

namespace files {

EdidFile readEdidFile(const QString& path, bool whole) {
    ReadResult r = readFile(path, whole ? kMaxEdidFileSize : edid::kImageSize);
    // A raw image costs its first 256 bytes, as it always did; only a file
    // that starts as text is read on, the decoder then judging all of it.
    // (A UTF-8 character cut at byte 256 is no decoding error yet.)
    if (r.ok() && !whole && r.size > edid::kImageSize && edid::looksLikeText(r.bytes))
        r = readFile(path, kMaxEdidFileSize);
    return edidFileFrom(r);
}

EdidFile edidFileFrom(const ReadResult& r) {
    EdidFile out;
    out.size = r.size;
    out.problem = r.problem;
    if (!r.ok()) {
        out.error = r.reason;
        return out;
    }
    out.readable = true;
    edid::Image image{};
    if (edid::looksLikeText(r.bytes)) {
        out.fromText = true;
        const edid::HexDump dump = edid::readHexDump(r.bytes);
        if (!dump.ok()) {
            out.error = dump.error;
            return out;
        }
        out.bytes = dump.bytes;
    } else {
        out.bytes = r.bytes;
    }
    std::copy_n(out.bytes.constData(), qMin<qsizetype>(out.bytes.size(), edid::kImageSize),
                image.begin());
    out.image = image;
    return out;
}

QString refusalText(const QString& path, const EdidFile& file) {
    return (file.readable ? QStringLiteral("%1 holds no EDID dump: %2")
                          : QStringLiteral("Cannot read %1: %2"))
        .arg(path, file.error);
}

QString imageProblem(const QString& path, const EdidFile& file) {
    if (!file.readable)
        return readProblemText(path, {{}, 0, file.problem, file.error});
    if (!file.image)
        return QStringLiteral("%1: not an EDID image: %2").arg(path, file.error);
    if (!edid::startsWithHeader(file.bytes))
        return QStringLiteral("%1: not an EDID image (it does not start with the header %2)")
            .arg(path, QLatin1String(edid::kHeaderText));
    return {};
}

bool saveEdidImage(const QString& path, const edid::Image& image, QString* error,
                   OutputFile::NonRegular nonRegular) {
    return saveFile(path,
                    QByteArrayView(reinterpret_cast<const char*>(image.data()), edid::kImageSize),
                    error, nonRegular);
}

} // namespace files

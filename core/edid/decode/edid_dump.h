#pragma once

// Hexadecimal dump files: what "Open EDID" accepts besides raw images.

#include "core/edid/edid_image.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace edid {

struct HexDump {
    QByteArray bytes; // 128 or 256 bytes when the text holds a dump
    QString error;    // why it holds none; empty when it does
    bool ok() const { return error.isEmpty(); }
};

// Reads 128 or 256 bytes written as hexadecimal pairs, with blanks, line
// breaks, "0x" prefixes and commas between them, or runs of pairs without
// separators. A text holding edid-decode's report is read from the dump at
// its top ("edid-decode (hex):" up to the "----------------" line).
HexDump readHexDump(QByteArrayView text);

// Whether a file's bytes are a text (to be read as a dump) rather than a raw
// image: nothing but printable characters, blanks and line breaks. An empty
// file is raw, so it loads as an all-zero image as it always did.
bool looksLikeText(QByteArrayView fileBytes);

// What "Open EDID" makes of a file's bytes: a raw image's first 256 bytes,
// zero-padded, or the dump of a text file, zero-padded when it holds 128.
// Nothing, with the reason, for a text that holds no valid dump.
struct FileImage {
    std::optional<Image> image;
    bool fromText = false;
    QString error;
};
FileImage imageFromFileBytes(QByteArrayView fileBytes);

// How much of a file to read so that a text dump with edid-decode's whole
// report still fits.
inline constexpr qint64 kMaxDumpFileSize = 1 << 20;

} // namespace edid

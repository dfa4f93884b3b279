#pragma once

#include "core/edid/edid_image.h"
#include "core/files/read_file.h"
#include "core/files/write_file.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace files {

// How much of a file is read at most: enough for a text dump with
// edid-decode's whole report, and for any raw image with its extensions.
inline constexpr qint64 kMaxEdidFileSize = 1 << 20;

// What an EDID file holds: a raw image, or the hexadecimal dump of a text
// file (pairs with blanks, commas or "0x", or edid-decode's report).
struct EdidFile {
    // The image "Open EDID" shows: a raw file's first 256 bytes, or the dump,
    // zero-padded when shorter. Nothing when the file could not be read or
    // the text holds no valid dump.
    std::optional<edid::Image> image;
    // A raw file's bytes as read (see readEdidFile), or the dump's 128 or 256.
    QByteArray bytes;
    // The file's size in bytes, however much of it was read.
    qint64 size = 0;
    bool readable = false;
    bool fromText = false;
    ReadResult::Problem problem = ReadResult::Problem::None;
    // Why there is no image: the file's read error, or what is wrong with the
    // dump.
    QString error;
    // The image's size as the file gives it: a raw file's, or its dump's.
    qint64 imageSize() const { return fromText ? bytes.size() : size; }
};

// Reads an EDID file. A raw image costs its first 256 bytes, or with whole
// set up to kMaxEdidFileSize (to decode extension blocks past the second);
// a file that starts as text is read up to kMaxEdidFileSize. Named pipes,
// devices and folders are refused without waiting (readFile()).
EdidFile readEdidFile(const QString& path, bool whole = false);

// The same from bytes already read (standard input, for one).
EdidFile edidFileFrom(const ReadResult& read);

// The window's box for a file that gave no image: "PATH holds no EDID dump:
// ..." or "Cannot read PATH: ...".
QString refusalText(const QString& path, const EdidFile& file);

// Why the file gives the command-line tool no EDID image to work on, as
// it names a file: "PATH: no such file", "PATH: not an EDID image: WHY" for
// a text without a dump, or the missing header. Empty when it gives one.
QString imageProblem(const QString& path, const EdidFile& file);

// The 256 bytes of the image, written as saveFile() writes.
bool saveEdidImage(const QString& path, const edid::Image& image, QString* error,
                   OutputFile::NonRegular nonRegular = OutputFile::NonRegular::WriteInPlace);

} // namespace files

#pragma once

#include "core/edid/edid_image.h"

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace edid {

// The first 256 bytes of a file, zero-padded when it is shorter. The file is
// opened read-only and never created; nothing when it cannot be read or is
// no regular file (a directory, a named pipe, a device).
std::optional<Image> loadImageFile(const QString& path);

// Replaces the file with exactly the 256 bytes of the image. The new content
// is written beside the old and swapped in only when complete, so a failed
// save leaves the old file as it was. False with the reason on failure.
bool saveImageFile(const QString& path, const Image& image, QString* error);

// What "Open EDID" and "Compare" make of a file: a raw image as
// loadImageFile() reads it, or the dump a text file holds (read up to
// kMaxDumpFileSize). No image: readable false when the file could not be
// read (the same files loadImageFile() refuses), else the text holds no
// valid dump; error says why in both cases.
struct ImageFile {
    std::optional<Image> image;
    bool readable = false;
    bool fromText = false;
    QString error;
};
ImageFile readImageFile(const QString& path);
// The box for a file that gave no image: "PATH holds no EDID dump: ..." or
// "Cannot read PATH: ...".
QString refusalText(const QString& path, const ImageFile& file);

} // namespace edid

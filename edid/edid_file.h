#pragma once

#include "edid/edid_image.h"

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

} // namespace edid

#pragma once

#include <QByteArrayView>
#include <QString>

namespace files {

// Replaces the file with exactly these bytes. They are written beside the
// old file and swapped in only when complete, so a failed save leaves the
// old file as it was. False with the reason on failure.
bool saveFile(const QString& path, QByteArrayView bytes, QString* error);

} // namespace files

#include "core/edid/edid_file.h"

#include "core/edid/decode/edid_dump.h"
#include "core/files/save_file.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

namespace edid {

std::optional<Image> loadImageFile(const QString& path) {
    // Only a regular file can hold an image. Opening a named pipe would
    // wait for a writer for ever, and a device may never end a read.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Only what the image can hold is read: an odd or huge file costs
    // nothing beyond its first 256 bytes.
    const QByteArray bytes = file.read(kImageSize);
    if (bytes.isEmpty() && file.error() != QFileDevice::NoError)
        return std::nullopt;
    Image image{};
    std::memcpy(image.data(), bytes.constData(), size_t(bytes.size()));
    return image;
}

ImageFile readImageFile(const QString& path) {
    ImageFile out;
    const QFileInfo info(path);
    // As for loadImageFile(): a named pipe or a device is never opened.
    if (info.exists() && !info.isFile()) {
        out.error = QStringLiteral("not a regular file");
        return out;
    }
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        out.error = path.isEmpty() ? QStringLiteral("no file name") : file.errorString();
        return out;
    }
    QByteArray bytes = file.read(kImageSize);
    if (bytes.isEmpty() && file.error() != QFileDevice::NoError) {
        out.error = file.errorString();
        return out;
    }
    // A raw image costs its first 256 bytes, as it always did; only a file
    // that starts as text is read on, the decoder then judging all of it.
    // (A UTF-8 character cut at byte 256 is no decoding error yet.)
    if (bytes.size() == kImageSize && looksLikeText(bytes)) {
        const QByteArray rest = file.read(kMaxDumpFileSize - kImageSize);
        if (rest.isEmpty() && file.error() != QFileDevice::NoError) {
            out.error = file.errorString();
            return out;
        }
        bytes += rest;
    }
    const FileImage image = imageFromFileBytes(bytes);
    out.readable = true;
    out.image = image.image;
    out.fromText = image.fromText;
    out.error = image.error;
    return out;
}

QString refusalText(const QString& path, const ImageFile& file) {
    return (file.readable ? QStringLiteral("%1 holds no EDID dump: %2")
                          : QStringLiteral("Cannot read %1: %2"))
        .arg(path, file.error);
}

bool saveImageFile(const QString& path, const Image& image, QString* error) {
    return files::saveFile(
        path, QByteArrayView(reinterpret_cast<const char*>(image.data()), kImageSize), error);
}

} // namespace edid

#include "edid/edid_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
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

bool saveImageFile(const QString& path, const Image& image, QString* error) {
    QSaveFile file(path);
    QString reason;
    // Unbuffered, so that a short write shows in write()'s count: the
    // buffered path lets a commit go through after a partial flush.
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        errno = 0;
        const qint64 written = file.write(reinterpret_cast<const char*>(image.data()), kImageSize);
        if (written == kImageSize) {
            if (file.commit())
                return true;
            reason = file.errorString();
        } else {
            const int err = errno;
            file.cancelWriting();
            reason = err != 0 ? QString::fromLocal8Bit(std::strerror(err)) : file.errorString();
        }
    } else {
        reason = file.errorString();
    }
    if (error)
        *error = reason;
    return false;
}

} // namespace edid

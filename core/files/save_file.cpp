#include "core/files/save_file.h"

#include <QSaveFile>
#include <cerrno>
#include <cstring>

namespace files {

bool saveFile(const QString& path, QByteArrayView bytes, QString* error) {
    QSaveFile file(path);
    QString reason;
    // Unbuffered, so that a short write shows in write()'s count: the
    // buffered path lets a commit go through after a partial flush.
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        errno = 0;
        const qint64 written = file.write(bytes.data(), bytes.size());
        if (written == bytes.size()) {
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

} // namespace files

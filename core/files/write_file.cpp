#include "core/files/write_file.h"

#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace files {

namespace {

QString errnoText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

OutputFile::OutputFile(const QString& path, NonRegular nonRegular)
    : path_(path), nonRegular_(nonRegular) {}

OutputFile::OutputFile(int descriptor, const QString& name)
    : path_(name), fd_(descriptor), ownsFd_(false) {}

OutputFile::~OutputFile() {
    cancel();
}

void OutputFile::closeDescriptor() {
#ifdef Q_OS_UNIX
    if (fd_ >= 0 && ownsFd_)
        ::close(fd_);
#endif
    fd_ = -1;
}

OutputFile::Opened OutputFile::open(QString* reason) {
    if (fd_ >= 0 || save_)
        return Opened::Ready;
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path_);
    struct stat st {};
    if (nonRegular_ == NonRegular::WriteInPlace && ::stat(name.constData(), &st) == 0 &&
        !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) {
            *reason = QStringLiteral("it is a folder");
            return Opened::Failed;
        }
        if (S_ISSOCK(st.st_mode)) {
            *reason = QStringLiteral("it is a socket, which is left as it is");
            return Opened::Failed;
        }
        // O_NONBLOCK: a named pipe with no reader fails with ENXIO instead
        // of holding the run until one comes. No O_CREAT, no O_TRUNC: the
        // node stays what it is.
        const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            const int err = errno;
            *reason = err == ENXIO && S_ISFIFO(st.st_mode)
                          ? QStringLiteral("no program reads the named pipe")
                          : errnoText(err);
            return err == ENXIO && S_ISFIFO(st.st_mode) ? Opened::NoReader : Opened::Failed;
        }
        struct stat now {};
        if (::fstat(fd, &now) == 0 && !S_ISREG(now.st_mode)) {
            // From here on a write waits for a slow reader as usual.
            const int flags = ::fcntl(fd, F_GETFL);
            if (flags != -1)
                ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
            fd_ = fd;
            ownsFd_ = true;
            return Opened::Ready;
        }
        // A regular file took the node's place meanwhile: it is replaced
        // as any other.
        ::close(fd);
    }
#endif
    save_ = std::make_unique<QSaveFile>(path_);
    // Unbuffered, so that a short write shows in write()'s count: the
    // buffered path lets a commit go through after a partial flush.
    if (save_->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Opened::Ready;
    *reason = save_->errorString();
    save_.reset();
    return Opened::Failed;
}

bool OutputFile::commit(QByteArrayView bytes, QString* reason) {
    if (!save_ && fd_ < 0) {
        QString why;
        if (open(&why) != Opened::Ready) {
            *reason = why;
            return false;
        }
    }
#ifdef Q_OS_UNIX
    if (fd_ >= 0) {
        const char* p = bytes.data();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                *reason = n < 0 ? errnoText(errno) : QStringLiteral("nothing could be written");
                closeDescriptor();
                return false;
            }
            p += n;
            left -= n;
        }
        closeDescriptor();
        return true;
    }
#else
    if (fd_ >= 0) {
        QFile out;
        const bool ok = out.open(fd_, QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                        out.write(bytes.data(), bytes.size()) == bytes.size();
        if (!ok)
            *reason = out.errorString();
        fd_ = -1;
        return ok;
    }
#endif
    errno = 0;
    const qint64 written = save_->write(bytes.data(), bytes.size());
    if (written == bytes.size()) {
        if (save_->commit()) {
            save_.reset();
            return true;
        }
        *reason = save_->errorString();
    } else {
        const int err = errno;
        *reason = err != 0 ? errnoText(err) : save_->errorString();
    }
    cancel();
    return false;
}

void OutputFile::cancel() {
    if (save_) {
        save_->cancelWriting();
        save_.reset();
    }
    closeDescriptor();
}

bool saveFile(const QString& path, QByteArrayView bytes, QString* reason,
              OutputFile::NonRegular nonRegular) {
    OutputFile file(path, nonRegular);
    QString why;
    if (file.open(&why) == OutputFile::Opened::Ready && file.commit(bytes, &why))
        return true;
    if (reason)
        *reason = why;
    return false;
}

} // namespace files

#include "core/files/read_file.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace files {

namespace {

ReadResult refused(ReadResult::Problem problem, const QString& reason) {
    ReadResult r;
    r.problem = problem;
    r.reason = reason;
    return r;
}

} // namespace

ReadResult readFile(const QString& path, qint64 maxBytes) {
    using Problem = ReadResult::Problem;
    if (path.isEmpty())
        return refused(Problem::NoName, QStringLiteral("no file name"));
    const QString notRegular = QStringLiteral("not a regular file");
    QFile file;
#ifdef Q_OS_UNIX
    // O_NONBLOCK: opening a named pipe returns at once instead of waiting for
    // a writer; it is then refused on what fstat() says of the descriptor.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        return refused(err == ENOENT ? Problem::Missing : Problem::Failed,
                       QString::fromLocal8Bit(std::strerror(err)));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refused(Problem::NotRegular, notRegular);
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return refused(Problem::Failed, file.errorString());
    }
#else
    const QFileInfo info(path);
    if (!info.exists())
        return refused(Problem::Missing, QStringLiteral("No such file or directory"));
    if (!info.isFile())
        return refused(Problem::NotRegular, notRegular);
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return refused(Problem::Failed, file.errorString());
#endif
    ReadResult r;
    r.size = file.size();
    r.bytes = file.read(qMax<qint64>(0, maxBytes));
    if (file.error() != QFileDevice::NoError)
        return refused(Problem::Failed, file.errorString());
    return r;
}

ReadResult readStandardInput(qint64 maxBytes) {
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return refused(ReadResult::Problem::Failed, in.errorString());
    ReadResult r;
    r.bytes = in.read(qMax<qint64>(0, maxBytes) + 1);
    if (in.error() != QFileDevice::NoError)
        return refused(ReadResult::Problem::Failed, in.errorString());
    r.size = r.bytes.size();
    r.bytes.truncate(maxBytes);
    return r;
}

QString readProblemText(const QString& path, const ReadResult& result) {
    switch (result.problem) {
    case ReadResult::Problem::Missing:
        return QStringLiteral("%1: no such file").arg(path);
    case ReadResult::Problem::NoName:
        return QStringLiteral("no file name given");
    default:
        return QStringLiteral("%1: %2").arg(path, result.reason);
    }
}

} // namespace files

#include "state/platform/file_owner.h"

#ifdef Q_OS_UNIX
#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace server {

bool shareFolderOwner(int descriptor, const QString& folder, QString* error) {
#ifdef Q_OS_UNIX
    if (::geteuid() != 0)
        return true;
    struct stat owner = {};
    struct stat file = {};
    if (::stat(QFile::encodeName(folder).constData(), &owner) != 0 ||
        ::fstat(descriptor, &file) != 0 ||
        ((file.st_uid != owner.st_uid || file.st_gid != owner.st_gid) &&
         ::fchown(descriptor, owner.st_uid, owner.st_gid) != 0)) {
        *error = QStringLiteral("cannot give the file the folder's owner: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
#else
    Q_UNUSED(descriptor)
    Q_UNUSED(folder)
    Q_UNUSED(error)
#endif
    return true;
}

} // namespace server

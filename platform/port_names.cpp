#include "platform/port_names.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <utility>
#ifdef Q_OS_LINUX
#include <sys/stat.h>
#endif

namespace platform {

QString deviceForPort(int portNo, const QString& workDir, const QStringList& present) {
#ifdef Q_OS_WIN
    Q_UNUSED(workDir);
    Q_UNUSED(present);
    return QStringLiteral("COM%1").arg(portNo);
#else
    const QFileInfo link(QDir(workDir), QStringLiteral("COM%1").arg(portNo));
    if (link.exists() || link.isSymLink())
        return link.absoluteFilePath();
    if (portNo >= 1 && portNo <= present.size())
        return present.at(portNo - 1);
    return {};
#endif
}

namespace {

// "ttyUSB10" after "ttyUSB9".
QStringList numbered(const QDir& dev, const QString& prefix) {
    QStringList names = dev.entryList({prefix + QLatin1Char('*')}, QDir::System | QDir::Files);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const QString& n) {
                                   bool ok = false;
                                   n.mid(prefix.size()).toInt(&ok);
                                   return !ok;
                               }),
                names.end());
    std::sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
        return a.mid(prefix.size()).toInt() < b.mid(prefix.size()).toInt();
    });
    return names;
}

// The kernel makes ttyS0..ttyS31 whether or not a UART answers; those without
// one report port type 0 (unknown).
bool isRealUart(const QString& sysTtyDir, const QString& name) {
    QFile type(sysTtyDir + QLatin1Char('/') + name + QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly))
        return false;
    return type.readAll().trimmed().toInt() != 0;
}

// When the folder last gained or lost an entry, in nanoseconds of the real
// time clock; -1 where that is not known, so the list is taken every time.
qint64 changeStamp(const QString& dir) {
#ifdef Q_OS_LINUX
    struct stat st {};
    if (::stat(QFile::encodeName(dir).constData(), &st) != 0)
        return -1;
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#else
    Q_UNUSED(dir);
    return -1;
#endif
}

// The kernel stamps folders from a clock that advances a few milliseconds
// at a time, so a device that appears just after a listing may leave the
// stamp as it was. A stamp is trusted only once it is this old.
constexpr qint64 kSettledNs = 200'000'000;

qint64 realTimeNs() {
    return QDateTime::currentMSecsSinceEpoch() * 1000000;
}

} // namespace

PresentDevices::PresentDevices(QString devDir, QString sysTtyDir)
    : devDir_(std::move(devDir)), sysTtyDir_(std::move(sysTtyDir)) {}

const QStringList& PresentDevices::list() {
    // Taken before listing: a change during the listing shows next time.
    const qint64 stamp = changeStamp(devDir_);
    if (scans_ == 0 || stamp < 0 || stamp != stamp_) {
        devices_ = serialDevices(devDir_, sysTtyDir_);
        ++scans_;
        const qint64 age = realTimeNs() - stamp;
        stamp_ = age >= kSettledNs ? stamp : -1;
    }
    return devices_;
}

QStringList serialDevices(const QString& devDir, const QString& sysTtyDir) {
    const QDir dev(devDir);
    QStringList out;
    for (const QString& n : numbered(dev, QStringLiteral("ttyS")))
        if (isRealUart(sysTtyDir, n))
            out << dev.filePath(n);
    for (const QString& n : numbered(dev, QStringLiteral("ttyUSB")))
        out << dev.filePath(n);
    for (const QString& n : numbered(dev, QStringLiteral("ttyACM")))
        out << dev.filePath(n);
    return out;
}

} // namespace platform

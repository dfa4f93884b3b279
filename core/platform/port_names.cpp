#include "core/platform/port_names.h"

#include "core/platform/tcp_target.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <utility>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

int comNumber(const QString& text) {
    static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(text);
    if (!m.hasMatch())
        return 0;
    const int n = m.capturedView(1).size() <= 2 ? m.capturedView(1).toInt() : 0;
    return n >= 1 && n <= 10 ? n : -1;
}

QString deviceForPort(int portNo, const QString& workDir, const QStringList& present) {
#ifdef Q_OS_WIN
    Q_UNUSED(workDir);
    Q_UNUSED(present);
    return QStringLiteral("COM%1").arg(portNo);
#else
    const QFileInfo entry(QDir(workDir), QStringLiteral("COM%1").arg(portNo));
    if (!entry.isSymLink() && entry.isFile()) {
        if (const std::optional<QString> line = readFirstLine(entry.absoluteFilePath())) {
            const TcpTarget target = parseTcpTarget(*line);
            if (target.isValid())
                return tcpTargetText(target);
            return isNetworkTarget(*line) ? *line : QStringLiteral("tcp:") + *line;
        }
    }
    if (entry.exists() || entry.isSymLink())
        return entry.absoluteFilePath();
    if (portNo >= 1 && portNo <= present.size())
        return present.at(portNo - 1);
    return {};
#endif
}

std::optional<QString> readFirstLine(const QString& path) {
#ifdef Q_OS_UNIX
    // Opened without following a link and without waiting (a named pipe put
    // there after the caller looked would otherwise block until a writer
    // came), and read only once it is known to be a regular file.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    QByteArray bytes;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        bytes.resize(kTargetFileBytes);
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && got == 0)
                ok = false;
            if (n <= 0)
                break;
            got += n;
        }
        bytes.truncate(got);
    }
    ::close(fd);
    if (!ok)
        return std::nullopt;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    qsizetype end = bytes.size();
    for (const char eol : {'\n', '\r'})
        if (const qsizetype i = bytes.indexOf(eol); i >= 0)
            end = std::min(end, i);
    return QString::fromUtf8(bytes.left(end)).trimmed();
#else
    Q_UNUSED(path);
    return std::nullopt;
#endif
}

QString portTooltip(const QString& device) {
    if (device.isEmpty())
        return QStringLiteral("No serial device behind this number");
    if (!isNetworkTarget(device))
        return device;
    const TcpTarget target = parseTcpTarget(device);
    if (!target.isValid())
        return target.error;
    return QStringLiteral("Serial device server %1 (TCP)").arg(serverName(target));
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

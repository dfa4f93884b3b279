#include "platform/port_names.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

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

} // namespace

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

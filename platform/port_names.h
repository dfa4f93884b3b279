#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// How "COM1".."COM10" reach a device.
//
// On Windows the name is used as it is. Elsewhere a link named "COMn" in the
// working directory (beside COMPORT) wins, so any device, a pseudo-terminal
// included, can be put behind any number: ln -s /dev/ttyUSB0 COM3. Without a
// link, COMn is the n-th of the serial devices really present, in the order
// serialDevices() gives.
QString deviceForPort(int portNo, const QString& workDir, const QStringList& present);

// The serial devices present on this machine, in a stable order: on-board
// UARTs that exist as hardware (ttyS*, not the phantom legacy nodes), then USB
// serial adapters (ttyUSB*), then USB modems and CDC devices (ttyACM*), each
// group in numeric order.
QStringList serialDevices(const QString& devDir = QStringLiteral("/dev"),
                          const QString& sysTtyDir = QStringLiteral("/sys/class/tty"));

// serialDevices(), listed again only when the device folder changed (a
// device came or went). The port list asks for every number in turn, and
// listing /dev for each of them cost milliseconds at every start-up.
class PresentDevices {
public:
    explicit PresentDevices(QString devDir = QStringLiteral("/dev"),
                            QString sysTtyDir = QStringLiteral("/sys/class/tty"));
    const QStringList& list();
    int scans() const { return scans_; }

private:
    QString devDir_;
    QString sysTtyDir_;
    QStringList devices_;
    qint64 stamp_ = -1; // the folder's change time at the last listing
    int scans_ = 0;
};

} // namespace platform

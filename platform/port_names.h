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

} // namespace platform

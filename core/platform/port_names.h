#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace platform {

// How "COM1".."COM10" reach a device.
//
// On Windows the name is used as it is. Elsewhere an entry named "COMn" in
// the working directory (beside COMPORT) wins:
// - a symbolic link names a local device, so any device, a pseudo-terminal
//   included, can be put behind any number: ln -s /dev/ttyUSB0 COM3. The
//   link's own path is returned;
// - a regular file holding one line tcp://HOST:PORT makes port n reach that
//   serial device server: echo tcp://192.168.1.50:4001 > COM2. The result is
//   the target in its canonical form (tcpTargetText). A file whose first line
//   is not a target gives that line, with "tcp:" put in front when it lacks
//   it, so that isNetworkTarget() holds and opening it with the network port
//   fails at once with the port's message saying what is wrong;
// - anything else (a named pipe, a device node) is returned as a path, as a
//   link is, and never read.
// Without such an entry, COMn is the n-th of the serial devices really
// present, in the order serialDevices() gives.
QString deviceForPort(int portNo, const QString& workDir, const QStringList& present);

// The number of a port list name, "COM1".."COM10" in any letter case: 1 to
// 10; -1 for "COM" and digits that name no such port ("COM0", "COM11");
// 0 for any other text (a device path, a server).
int comNumber(const QString& text);

// The first line of a regular file, blanks trimmed, a UTF-8 byte order mark
// and CR LF line ends allowed; only the first kTargetFileBytes bytes are
// read. Nothing when the path is not a regular file (a named pipe is never
// opened in a way that waits) or cannot be read.
inline constexpr int kTargetFileBytes = 512;
std::optional<QString> readFirstLine(const QString& path);

// What the port list's tooltip says about a device text from deviceForPort:
// the device, the server a network port reaches, or what is wrong with a
// COMn file.
QString portTooltip(const QString& device);

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

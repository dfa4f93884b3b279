#include "core/platform/qt_serial_port.h"

#include <QFile>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

QString busyText(const QString& device) {
    return QStringLiteral("Cannot open %1: port busy (another program has it open)").arg(device);
}

} // namespace

QtSerialPort::QtSerialPort() {
    connect(&port_, &QSerialPort::readyRead, this, [this] { emit readyRead(); });
    connect(&port_, &QSerialPort::bytesWritten, this, [this] { emit bytesWritten(); });
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
}

bool QtSerialPort::open(const QString& device) {
    if (port_.isOpen())
        port_.close();
    device_ = device;
    error_.clear();
    emptyReads_.reset();
    port_.setPortName(device);
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        // Qt's own lock file and the exclusive mode it sets on the terminal
        // both fail as a permission error; say so when it is another holder.
        error_ = port_.error() == QSerialPort::PermissionError && heldElsewhere(device)
                     ? busyText(device)
                     : QStringLiteral("Cannot open %1: %2").arg(device, port_.errorString());
        return false;
    }
#ifdef Q_OS_LINUX
    // Elsewhere the handle is no file descriptor (a HANDLE on Windows), and
    // the adapter's latency is a driver setting the operator makes.
    const int fd = static_cast<int>(port_.handle());
    if (!lockExclusively(fd)) {
        port_.close();
        error_ = busyText(device);
        return false;
    }
    requestLowLatency(fd);
#endif
    return true;
}

void QtSerialPort::close() {
    if (port_.isOpen())
        port_.close();
}

bool QtSerialPort::isOpen() const {
    return port_.isOpen();
}

bool QtSerialPort::write(const QByteArray& bytes) {
    if (!port_.isOpen())
        return false;
    if (port_.write(bytes) != bytes.size())
        return false;
    // QSerialPort only buffers here and writes once the event loop turns,
    // after the repaints the reply just caused; the command leaves now. A
    // device found gone on the way has closed the port: the write failed.
    port_.flush();
    return port_.isOpen();
}

QByteArray QtSerialPort::readAll() {
    if (!port_.isOpen())
        return {};
    QByteArray bytes = port_.readAll();
    if (emptyReads_.gone(bytes.size()))
        declareLost();
    return bytes;
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        if (port_.isOpen())
            declareLost();
        break;
    default:
        break;
    }
}

void QtSerialPort::declareLost() {
    emptyReads_.reset();
    port_.close();
    port_.clearError();
    error_ = QStringLiteral("The device %1 went away").arg(device_);
    emit lost();
}

bool lockExclusively(int fd) {
#ifdef Q_OS_LINUX
    // Advisory, on the device itself rather than on its name: a program
    // that reaches it through a COMn link and one that names /dev/pts/3
    // meet here, which Qt's lock file (named after the path) misses, and
    // root is held back as well. The lock goes with the descriptor, so a
    // program that dies releases it.
    return fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
#else
    Q_UNUSED(fd);
    return true;
#endif
}

bool heldElsewhere(const QString& device) {
#ifdef Q_OS_LINUX
    const int fd =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY; // the exclusive mode of a terminal held open
    const bool held = !lockExclusively(fd);
    ::close(fd);
    return held;
#else
    Q_UNUSED(device);
    return false;
#endif
}

bool requestLowLatency(int fd) {
#ifdef Q_OS_LINUX
    if (fd < 0)
        return false;
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) != 0)
        return false;
    ss.flags |= ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &ss) == 0;
#else
    Q_UNUSED(fd);
    return false;
#endif
}

} // namespace platform

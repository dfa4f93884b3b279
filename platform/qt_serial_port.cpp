#include "platform/qt_serial_port.h"

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace platform {

QtSerialPort::QtSerialPort() {
    connect(&port_, &QSerialPort::readyRead, this, [this] { emit readyRead(); });
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
        error_ = QStringLiteral("Cannot open %1: %2").arg(device, port_.errorString());
        return false;
    }
#ifdef Q_OS_LINUX
    // Elsewhere the handle is no file descriptor (a HANDLE on Windows), and
    // the adapter's latency is a driver setting the operator makes.
    requestLowLatency(static_cast<int>(port_.handle()));
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

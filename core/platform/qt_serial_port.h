#pragma once

#include "core/platform/serial_port.h"

#include <QSerialPort>

namespace platform {

// Debian's Qt 6.4 may keep announcing readable data on a device that has
// gone away, while every read returns nothing; enough empty reads in a row
// mean the device is gone. A live line never gives more than a few.
class EmptyReadWatch {
public:
    static constexpr int kLimit = 64;
    // Feeds the size of one read; true once the device should be taken as
    // gone (and the count starts over).
    bool gone(qsizetype bytesRead) {
        if (bytesRead > 0) {
            count_ = 0;
            return false;
        }
        if (++count_ < kLimit)
            return false;
        count_ = 0;
        return true;
    }
    void reset() { count_ = 0; }

private:
    int count_ = 0;
};

// The real serial port, through QSerialPort.
class QtSerialPort : public SerialPort {
    Q_OBJECT
public:
    QtSerialPort();
    bool open(const QString& device) override;
    void close() override;
    bool isOpen() const override;
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    qint64 bytesToWrite() const override { return port_.bytesToWrite(); }
    QString errorText() const override { return error_; }

private:
    void onError(QSerialPort::SerialPortError error);
    void declareLost();

    QSerialPort port_;
    QString device_;
    QString error_;
    EmptyReadWatch emptyReads_;
};

// Takes the advisory exclusive lock (flock) on an open device. False only
// when another descriptor holds it; a device without locks passes.
bool lockExclusively(int fd);
// Whether another program holds the device: its lock, or the exclusive
// mode of a terminal.
bool heldElsewhere(const QString& device);

// Asks the driver to hand over received bytes at once instead of holding
// them back for up to 16 ms, as USB serial adapters do by default. Drivers
// that do not know the request (a pseudo-terminal) are left as they are.
bool requestLowLatency(int fd);

} // namespace platform

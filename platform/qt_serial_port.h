#pragma once

#include "platform/serial_port.h"

#include <QSerialPort>

namespace platform {

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

private:
    void onError(QSerialPort::SerialPortError error);
    void declareLost();

    QSerialPort port_;
    QString device_;
    // Debian's Qt 6.4 may keep announcing readable data on a dead device
    // while every read returns nothing; enough empty reads in a row mean the
    // device is gone.
    int emptyReads_ = 0;
};

// Asks the driver to hand over received bytes at once instead of holding
// them back for up to 16 ms, as USB serial adapters do by default. Drivers
// that do not know the request (a pseudo-terminal) are left as they are.
bool requestLowLatency(int fd);

} // namespace platform

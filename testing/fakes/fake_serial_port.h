#pragma once

#include "core/platform/serial_port.h"

#include <QList>
#include <QStringList>

namespace platform {

// A serial port that records every byte written and delivers bytes on demand.
class FakeSerialPort : public SerialPort {
    Q_OBJECT
public:
    bool open(const QString& device) override;
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;

    // Makes bytes waiting and announces them, as the driver would.
    void deliver(const QByteArray& bytes);
    // The device goes away: the port closes and says so.
    void pullPlug();

    QByteArray written;        // every byte accepted by write(), in order
    QStringList openedDevices; // every device open() was asked for
    bool refuseOpen = false;   // open() fails
    bool refuseWrite = false;  // write() fails even while open

private:
    bool open_ = false;
    QByteArray waiting_;
};

} // namespace platform

#include "testing/fakes/fake_serial_port.h"

namespace platform {

bool FakeSerialPort::open(const QString& device) {
    openedDevices << device;
    if (refuseOpen)
        return false;
    open_ = true;
    return true;
}

bool FakeSerialPort::write(const QByteArray& bytes) {
    if (!open_ || refuseWrite)
        return false;
    written += bytes;
    return true;
}

QByteArray FakeSerialPort::readAll() {
    QByteArray out;
    out.swap(waiting_);
    return out;
}

void FakeSerialPort::deliver(const QByteArray& bytes) {
    waiting_ += bytes;
    emit readyRead();
}

void FakeSerialPort::pullPlug() {
    open_ = false;
    waiting_.clear();
    emit lost();
}

} // namespace platform

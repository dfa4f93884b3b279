#include "sim/inprocess_port.h"

#include "sim/device.h"

namespace sim {

InProcessPort::InProcessPort(Device& device) : device_(device) {}

std::function<std::unique_ptr<platform::SerialPort>()>
InProcessPort::factory(Device& device, InProcessPort*& made, bool autoDeliver) {
    return [&device, &made, autoDeliver] {
        auto port = std::make_unique<InProcessPort>(device);
        port->autoDeliver = autoDeliver;
        made = port.get();
        return port;
    };
}

bool InProcessPort::open(const QString&) {
    open_ = true;
    return true;
}

void InProcessPort::close() {
    open_ = false;
    pending_.clear();
    waiting_.clear();
}

bool InProcessPort::write(const QByteArray& bytes) {
    if (!open_ || (refuse && refuse(bytes)))
        return false;
    written += bytes;
    inject(device_.receive(bytes));
    return true;
}

void InProcessPort::inject(const QByteArray& bytes) {
    if (bytes.isEmpty() || !open_)
        return;
    pending_ += shape ? shape(bytes) : QByteArrayList{bytes};
    schedule();
}

void InProcessPort::deliverNow(const QByteArray& bytes) {
    if (bytes.isEmpty() || !open_)
        return;
    waiting_ += bytes;
    emit readyRead();
}

QByteArray InProcessPort::readAll() {
    QByteArray out;
    out.swap(waiting_);
    return out;
}

void InProcessPort::schedule() {
    if (!autoDeliver || scheduled_)
        return;
    scheduled_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            scheduled_ = false;
            pump();
        },
        Qt::QueuedConnection);
}

void InProcessPort::pump(int rounds) {
    // Never inside a write: the program acts on an answer only after the
    // command that caused it has gone out, as over a real line.
    while (!pending_.isEmpty() && rounds-- > 0) {
        waiting_ += pending_.takeFirst();
        emit readyRead();
    }
}

} // namespace sim

#include "link/connection.h"

namespace seriallink {

QByteArray wireBytes(const QString& text) {
    return text.toLatin1();
}

Connection::Connection(platform::Platform& platform, QWidget* dialogParent)
    : platform_(platform), dialogParent_(dialogParent), port_(platform.createSerialPort()) {
    connect(port_.get(), &platform::SerialPort::readyRead, this, &Connection::onReadyRead);
    connect(port_.get(), &platform::SerialPort::lost, this, &Connection::lost);
}

Connection::~Connection() = default;

bool Connection::open(int portNo) {
    device_ = platform_.deviceForPort(portNo);
    if (device_.isEmpty())
        return false;
    return port_->open(device_);
}

void Connection::close() {
    port_->close();
}

bool Connection::isOpen() const {
    return port_->isOpen();
}

bool Connection::sendLine(const QString& text) {
    return sendRaw(wireBytes(text + "\r\n"));
}

bool Connection::sendRaw(const QByteArray& bytes) {
    if (!port_->isOpen() || !port_->write(bytes))
        return false;
    sent_ += static_cast<quint64>(bytes.size());
    return true;
}

bool Connection::guardOpen() {
    if (port_->isOpen())
        return true;
    platform_.dialogs().message(dialogParent_, kPortNotOpenText, kPortNotOpenTitle);
    return false;
}

bool Connection::sendLineReported(const QString& text) {
    return sendRawReported(wireBytes(text + "\r\n"));
}

bool Connection::sendRawReported(const QByteArray& bytes) {
    if (sendRaw(bytes))
        return true;
    reportWriteFailed();
    return false;
}

void Connection::reportWriteFailed() {
    platform_.dialogs().message(dialogParent_, kWriteFailedText, kWriteFailedTitle);
}

void Connection::onReadyRead() {
    // While a handler of this notification runs (a reply that raised a
    // message box, with its nested event loop), the port takes bytes in
    // without announcing them again. Reading until nothing is left takes in
    // what came meanwhile instead of leaving it until the next arrival.
    for (;;) {
        const QByteArray bytes = port_->readAll();
        if (bytes.isEmpty())
            return;
        received_ += static_cast<quint64>(bytes.size());
        backlog_ += bytes;
        feed();
    }
}

void Connection::feed() {
    // The ring takes at most 511 bytes; a longer batch (what piled up under
    // a box) goes in slices, each interpreted before the next is queued.
    // The slices wait here rather than on the stack, so that an arrival
    // handled inside one slice's interpretation queues behind the rest of
    // the batch, never ahead of it.
    while (!backlog_.isEmpty()) {
        const int room = qMin(RxQueue::kSlots - 1 - rx_.RxCount(), RxQueue::kMaxChunk);
        if (room <= 0)
            return; // the drain that holds the ring takes the rest
        const qsizetype n = qMin<qsizetype>(room, backlog_.size());
        const QByteArray slice = backlog_.first(n);
        backlog_.remove(0, n);
        rx_.RxPut(slice);
        emit bytesQueued();
    }
}

} // namespace seriallink

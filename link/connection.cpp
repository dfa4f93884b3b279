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
    const QByteArray bytes = port_->readAll();
    if (bytes.isEmpty())
        return;
    received_ += static_cast<quint64>(bytes.size());
    rx_.RxPut(bytes);
    emit bytesQueued();
}

} // namespace seriallink

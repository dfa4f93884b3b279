#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace platform {

// The one serial line to the switcher. The program talks to it only through
// this interface, so tests can put a recording fake in its place.
class SerialPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPort() override = default;

    // Opens the named device at 9600 baud, 8N1, no flow control.
    virtual bool open(const QString& device) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Writes all bytes; false when the port is closed or the write is refused.
    virtual bool write(const QByteArray& bytes) = 0;
    // Every byte waiting, possibly none.
    virtual QByteArray readAll() = 0;

signals:
    // Bytes may be waiting.
    void readyRead();
    // The device went away while open (a USB adapter pulled, the other end of
    // a pseudo-terminal closed). The port has already been closed.
    void lost();
};

} // namespace platform

#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace platform {

// The one line to the switcher: a local serial port, or a serial device
// server reached over TCP. The program talks to it only through this
// interface, so tests can put a recording fake in its place.
//
// A local port opens at once. A network port opens in the background:
// open() returns true with isOpening() set, and exactly one of opened() or
// openFailed() follows, never from inside open() itself, unless close() or
// another open() comes first (then neither does).
class SerialPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPort() override = default;

    // Opens the named device at 9600 baud, 8N1, no flow control; a port
    // already open or opening is closed first, without a signal. False when
    // it failed at once (errorText() says why), for a network target only
    // when the text is not one.
    virtual bool open(const QString& device) = 0;
    // Also cancels an open still pending, without a signal.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // An open() is still under way: not open yet, writes fail.
    virtual bool isOpening() const { return false; }
    // Writes all bytes; false when the port is not open or the write is refused.
    virtual bool write(const QByteArray& bytes) = 0;
    // Every byte waiting, possibly none.
    virtual QByteArray readAll() = 0;
    // Bytes written that the port still holds: the device, or the network,
    // has not taken them yet.
    virtual qint64 bytesToWrite() const { return 0; }
    // One line saying why the last open failed or the port was lost, naming
    // the device or server; empty if the port does not know.
    virtual QString errorText() const { return {}; }

signals:
    // Bytes may be waiting.
    void readyRead();
    // Some of the bytes the port held went out.
    void bytesWritten();
    // The device went away while open (a USB adapter pulled, the other end of
    // a pseudo-terminal closed, the server closed the connection). The port
    // has already been closed.
    void lost();
    // A pending open succeeded: the port is open now.
    void opened();
    // A pending open failed; the port is closed. The reason is errorText().
    void openFailed(const QString& reason);
};

} // namespace platform

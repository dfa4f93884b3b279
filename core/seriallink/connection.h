#pragma once

#include "core/platform/platform.h"
#include "core/seriallink/line_assembly.h"
#include "core/seriallink/rx_queue.h"

#include <QObject>
#include <memory>

namespace seriallink {

inline const QString kPortNotOpenText = QStringLiteral("Com port is not open! ");
inline const QString kPortNotOpenTitle = QStringLiteral("Warning");
inline const QString kWriteFailedText = QStringLiteral("open serial port fail\uFF01 ");
inline const QString kWriteFailedTitle = QStringLiteral("ERROR");

// The ways a sender learns the line cannot take its command.
enum class Failure {
    PortNotOpen,  // the port-open guard refused
    WriteFailed,  // a local port's open or a write failed
    ServerFailed, // a serial device server could not be reached or used;
                  // errorText() names it and says why
};

// How an open attempt went. A serial device server is reached in the
// background: Pending, then opened() or openFailed().
enum class OpenResult { Opened, Failed, Pending };

// The one serial connection to the switcher: opening and closing, the writes
// (through the Wire alone), and the receive pump from the port's
// arrival notification through the receive queue and the line assembly to
// complete reply lines.
//
// Failures are not shown here: the connection says what failed and whoever
// faces the operator (the main window, the command-line tool) reports it,
// in one place.
class Connection : public QObject {
    Q_OBJECT
public:
    explicit Connection(platform::Platform& platform);
    ~Connection() override;

    // Opens port number 1..10, or a device by its path or tcp://HOST:PORT
    // text. Nothing is reported here: the caller says what failed.
    OpenResult open(int portNo);
    OpenResult openDevice(const QString& device);
    // Closes the port, and gives up an open still under way.
    void close();
    bool isOpen() const;
    // Bytes sent that the port still holds.
    qint64 unsentBytes() const { return port_ ? port_->bytesToWrite() : 0; }
    bool isOpening() const;
    // The device behind the last open attempt.
    QString device() const { return device_; }
    // Whether that device is a serial device server.
    bool isNetwork() const;
    // One line naming the device or server: why the last open failed or why
    // the line was lost.
    QString errorText() const;
    // Reports a failed open the way its kind of line wants: the write-failed
    // box for a local port, the reason for a server.
    void reportOpenFailed();

    // The port-open guard: false, with a PortNotOpen failure, when the port
    // is closed.
    bool guardOpen();
    void reportWriteFailed();

    // Bytes that crossed the line since the program started, both ways.
    quint64 bytesSent() const { return sent_; }
    quint64 bytesReceived() const { return received_; }

    RxQueue& rx() { return rx_; }
    LineAssembler& lines() { return lines_; }
    // The port of the last open: the serial port, or the network port.
    platform::SerialPort& port() { return *port_; }

    // The 10 ms receive tick runs: a partial line waits for its flush.
    bool ticking() const;

signals:
    // Every reply line, terminator kept (possibly empty).
    void lineReceived(const QString& line);
    // 14 bytes without a terminator, for the receive log as they are.
    void rawReceived(const QString& text);
    // A send could not go out; shown to the operator once.
    void failure(seriallink::Failure what);
    // An open that was Pending: the line is open now, or it failed (the
    // reason is errorText()).
    void opened();
    void openFailed(const QString& reason);
    // The port closed by itself because the device went away.
    void lost();
    // Bytes were put into the receive queue.
    void bytesQueued();
    // Some of what was sent and still held by the port went out.
    void bytesWritten();

private:
    // The receive pump. The arrival notification queues what the port
    // holds and cuts every complete line at once; the 10 ms tick runs only
    // while a partial line waits for its flush after three quiet ticks.
    void takeArrivals();
    void receiveTick();

    // Writing is the Wire's alone (wire.h), which the request queue lends.
    friend class Wire;
    // The text followed by CR LF, in one write.
    bool sendLine(const QString& text);
    // The bytes as they are.
    bool sendRaw(const QByteArray& bytes);
    // Writes without a prior check; a failed write is a WriteFailed failure.
    // Returns whether the write went out.
    bool sendLineReported(const QString& text);
    bool sendRawReported(const QByteArray& bytes);

    void onReadyRead();
    // Moves waiting bytes into the receive queue, as much as it has room for.
    void feed();

    void attach(platform::SerialPort& port);

    platform::Platform& platform_;
    std::unique_ptr<platform::SerialPort> serial_;
    std::unique_ptr<platform::SerialPort> network_; // made at the first server
    platform::SerialPort* port_ = nullptr;          // the one in use
    QString device_;
    quint64 sent_ = 0;
    quint64 received_ = 0;
    QByteArray backlog_; // read from the port, not yet in the queue
    RxQueue rx_;
    LineAssembler lines_{rx_};
    platform::Timer* receiveTimer_ = nullptr;
};

// Latin-1 bytes of a command text: commands are 8-bit characters.
QByteArray wireBytes(const QString& text);

} // namespace seriallink

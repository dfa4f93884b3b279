#pragma once

#include "link/line_assembly.h"
#include "link/rx_queue.h"
#include "platform/platform.h"

#include <QObject>
#include <memory>

class QWidget;

namespace seriallink {

inline const QString kPortNotOpenText = QStringLiteral("Com port is not open! ");
inline const QString kPortNotOpenTitle = QStringLiteral("Warning");
inline const QString kWriteFailedText = QStringLiteral("open serial port fail\uFF01 ");
inline const QString kWriteFailedTitle = QStringLiteral("ERROR");

// The one serial connection to the switcher: opening and closing, the send
// operations every window uses, and the receive path from the port's arrival
// notification into the receive queue and the line assembly.
class Connection : public QObject {
    Q_OBJECT
public:
    Connection(platform::Platform& platform, QWidget* dialogParent);
    ~Connection() override;

    // Opens port number 1..10; false when it failed (nothing is reported).
    bool open(int portNo);
    void close();
    bool isOpen() const;
    // The device behind the last open() attempt.
    QString device() const { return device_; }

    // The text followed by CR LF, in one write.
    bool sendLine(const QString& text);
    // The bytes as they are.
    bool sendRaw(const QByteArray& bytes);
    // The port-open guard: false, after the "Com port is not open! " warning,
    // when the port is closed.
    bool guardOpen();
    // Writes without a prior check; a failed write shows "open serial port
    // fail！ ". Returns whether the write went out.
    bool sendLineReported(const QString& text);
    bool sendRawReported(const QByteArray& bytes);
    void reportWriteFailed();

    // Bytes that crossed the line since the program started, both ways.
    quint64 bytesSent() const { return sent_; }
    quint64 bytesReceived() const { return received_; }

    RxQueue& rx() { return rx_; }
    LineAssembler& lines() { return lines_; }
    platform::SerialPort& port() { return *port_; }

signals:
    // The port closed by itself because the device went away.
    void lost();
    // Bytes were put into the receive queue.
    void bytesQueued();

private:
    void onReadyRead();
    // Moves waiting bytes into the receive queue, as much as it has room for.
    void feed();

    platform::Platform& platform_;
    QWidget* dialogParent_;
    std::unique_ptr<platform::SerialPort> port_;
    QString device_;
    quint64 sent_ = 0;
    quint64 received_ = 0;
    QByteArray backlog_; // read from the port, not yet in the queue
    RxQueue rx_;
    LineAssembler lines_{rx_};
};

// Latin-1 bytes of a command text: commands are 8-bit characters.
QByteArray wireBytes(const QString& text);

} // namespace seriallink

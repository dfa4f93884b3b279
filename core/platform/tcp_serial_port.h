#pragma once

#include "core/platform/serial_port.h"
#include "core/platform/tcp_target.h"

#include <QTcpSocket>

namespace platform {

// Has the system probe an idle connection, so that a server gone without a
// word (powered off, its cable pulled) is noticed: after kKeepAliveIdleS of
// silence, three probes 5 s apart. Linux only; false where it is not done.
inline constexpr int kKeepAliveIdleS = 15;
bool keepAlive(qintptr fd);

class Timer;

// The line to the switcher through a serial device server that passes the
// bytes unchanged over raw TCP (ser2net, a serial-to-Ethernet converter).
// open() takes "tcp://HOST:PORT" and connects in the background; the baud
// rate and framing are the server's business. Otherwise it behaves as the
// local port does: writes leave at once, and a connection that drops closes
// the port and emits lost(), as a pulled USB adapter does.
class TcpSerialPort : public SerialPort {
    Q_OBJECT
public:
    // Host lookup and connection together.
    static constexpr int kConnectTimeoutMs = 3000;

    // The connection time-out runs on the given timer, which the port takes
    // over (tests pass one on a clock they drive); a QTimer without one.
    explicit TcpSerialPort(Timer* connectTimer = nullptr);
    ~TcpSerialPort() override;

    bool open(const QString& target) override;
    void close() override;
    bool isOpen() const override { return state_ == State::Open; }
    bool isOpening() const override { return state_ == State::Opening; }
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    qint64 bytesToWrite() const override { return socket_.bytesToWrite(); }
    QString errorText() const override { return error_; }

private:
    enum class State { Closed, Opening, Open };
    void onConnected();
    void onError(QAbstractSocket::SocketError error);
    void onDisconnected();
    void onTimeout();
    void failOpen(const QString& why);
    void drop(const QString& why);

    QTcpSocket socket_;
    Timer* timer_;
    TcpTarget target_;
    State state_ = State::Closed;
    QString error_;
    // Qt reports some failures (no socket could be made) from inside
    // connectToHost(); what it reports then is handled once open() has
    // returned, and only if no close() or open() came in between.
    bool inOpen_ = false;
    quint64 attempt_ = 0;
};

} // namespace platform

#include "core/platform/tcp_serial_port.h"

#include "core/platform/qt_timer.h"

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace platform {

bool keepAlive(qintptr fd) {
#ifdef Q_OS_LINUX
    // A server that loses power or its cable sends no close, and the
    // switcher may be silent for hours, so nothing would ever notice.
    // Probes after kKeepAliveIdleS of silence find such a link dead 15 s
    // later, and the port is then lost as a pulled adapter is.
    const int on = 1, idle = kKeepAliveIdleS, interval = 5, probes = 3;
    const int s = int(fd);
    return fd >= 0 && setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
           setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) == 0 &&
           setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) == 0 &&
           setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes) == 0;
#else
    Q_UNUSED(fd);
    return false;
#endif
}

TcpSerialPort::TcpSerialPort(Timer* connectTimer)
    : timer_(connectTimer ? connectTimer : new QtTimer(this)) {
    timer_->setParent(this);
    timer_->setSingleShot(true);
    timer_->setInterval(kConnectTimeoutMs);
    connect(timer_, &Timer::timeout, this, &TcpSerialPort::onTimeout);
    connect(&socket_, &QTcpSocket::connected, this, &TcpSerialPort::onConnected);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &TcpSerialPort::onError);
    connect(&socket_, &QTcpSocket::disconnected, this, &TcpSerialPort::onDisconnected);
    connect(&socket_, &QTcpSocket::bytesWritten, this, [this] { emit bytesWritten(); });
    connect(&socket_, &QTcpSocket::readyRead, this, [this] {
        if (state_ == State::Open)
            emit readyRead();
    });
}

TcpSerialPort::~TcpSerialPort() {
    // The socket, a member, would otherwise report its own closing to this
    // half-destroyed object.
    socket_.disconnect(this);
    socket_.abort();
}

bool TcpSerialPort::open(const QString& target) {
    close();
    error_.clear();
    target_ = parseTcpTarget(target);
    if (!target_.isValid()) {
        error_ = target_.error;
        return false;
    }
    state_ = State::Opening;
    timer_->start();
    inOpen_ = true;
    socket_.connectToHost(target_.host, target_.port);
    inOpen_ = false;
    return true;
}

void TcpSerialPort::close() {
    ++attempt_;
    timer_->stop();
    state_ = State::Closed;
    socket_.abort();
}

bool TcpSerialPort::write(const QByteArray& bytes) {
    if (state_ != State::Open)
        return false;
    if (socket_.write(bytes) != bytes.size())
        return false;
    // As for the serial port: the command leaves now, not once the event
    // loop turns after the repaints the reply just caused. A connection
    // found broken on the way has closed the port: the write failed.
    socket_.flush();
    return state_ == State::Open;
}

QByteArray TcpSerialPort::readAll() {
    if (state_ != State::Open)
        return {};
    return socket_.readAll();
}

void TcpSerialPort::onConnected() {
    if (inOpen_) {
        QMetaObject::invokeMethod(
            this,
            [this, a = attempt_] {
                if (a == attempt_)
                    onConnected();
            },
            Qt::QueuedConnection);
        return;
    }
    if (state_ != State::Opening)
        return;
    timer_->stop();
    // Commands are a few bytes each, and the next waits for the answer:
    // Nagle's algorithm would hold each one back until the last was acked.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    keepAlive(socket_.socketDescriptor());
    state_ = State::Open;
    emit opened();
    // Bytes the server sent at once were announced before the port opened.
    if (state_ == State::Open && socket_.bytesAvailable() > 0)
        emit readyRead();
}

void TcpSerialPort::onError(QAbstractSocket::SocketError error) {
    if (inOpen_) {
        QMetaObject::invokeMethod(
            this,
            [this, error, a = attempt_] {
                if (a == attempt_)
                    onError(error);
            },
            Qt::QueuedConnection);
        return;
    }
    const QString server = serverName(target_);
    if (state_ == State::Opening) {
        switch (error) {
        case QAbstractSocket::HostNotFoundError:
            failOpen(QStringLiteral("Cannot reach the server %1: unknown host %2")
                         .arg(server, target_.host));
            break;
        case QAbstractSocket::ConnectionRefusedError:
            failOpen(QStringLiteral("Cannot reach the server %1: connection refused").arg(server));
            break;
        case QAbstractSocket::SocketTimeoutError:
            onTimeout();
            break;
        default:
            failOpen(QStringLiteral("Cannot reach the server %1: %2")
                         .arg(server, socket_.errorString()));
        }
    } else if (state_ == State::Open) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            onDisconnected();
        else
            drop(QStringLiteral("The connection to the server %1 broke: %2")
                     .arg(server, socket_.errorString()));
    }
}

void TcpSerialPort::onDisconnected() {
    drop(QStringLiteral("The server %1 closed the connection").arg(serverName(target_)));
}

void TcpSerialPort::onTimeout() {
    if (state_ == State::Opening)
        failOpen(QStringLiteral("Cannot reach the server %1: timed out after %2 s")
                     .arg(serverName(target_))
                     .arg(kConnectTimeoutMs / 1000));
}

void TcpSerialPort::failOpen(const QString& why) {
    close();
    error_ = why;
    emit openFailed(why);
}

void TcpSerialPort::drop(const QString& why) {
    if (state_ != State::Open)
        return;
    // What the server sent before it closed is taken while the port still
    // counts as open, as the last bytes from a serial line are.
    if (socket_.bytesAvailable() > 0) {
        emit readyRead();
        if (state_ != State::Open)
            return;
    }
    close();
    error_ = why;
    emit lost();
}

} // namespace platform

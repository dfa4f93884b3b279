#include "frontends/server/platform/tcp_listener.h"

#include <QTcpSocket>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/socket.h>
#endif

namespace server {

class TcpClientLink : public ClientLink {
public:
    TcpClientLink(QTcpSocket* socket, qint64 maxUnread, QObject* parent)
        : ClientLink(parent), socket_(socket), maxUnread_(maxUnread) {
        socket_->setParent(this);
        address_ = plainAddress(socket_->peerAddress());
        name_ = peerName(socket_->peerAddress(), socket_->peerPort());
        socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // What the client sends beyond this stays in the kernel, and then
        // with the client: one that sends faster than it is served is held
        // back by TCP itself, and the server's memory stays flat.
        socket_->setReadBufferSize(4 * kChunk);
        connect(socket_, &QTcpSocket::readyRead, this, &TcpClientLink::readSome);
        connect(socket_, &QTcpSocket::disconnected, this,
                [this] { finish(QStringLiteral("closed by the client")); });
        connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
            if (e != QAbstractSocket::RemoteHostClosedError)
                finish(socket_->errorString());
        });
    }

    QString address() const override { return address_.toString(); }
    QString name() const override { return name_; }

    void write(const QByteArray& bytes) override {
        if (done_)
            return;
        if (socket_->bytesToWrite() + bytes.size() > maxUnread_) {
            drop(QStringLiteral("dropped: it does not read"));
            return;
        }
        socket_->write(bytes);
        // At once, not on the next turn of the event loop: a line client
        // sends its next command only once this answer is in.
        socket_->flush();
    }

    void close() override {
        if (done_)
            return;
        // Said first: closing reports the disconnection at once.
        finish(QStringLiteral("closed by the server"));
        socket_->disconnectFromHost();
    }

    void setPaused(bool paused) override {
        paused_ = paused;
        if (!paused_)
            readLater();
    }

    void drop(const QString& why) {
        if (done_)
            return;
        finish(why);
        socket_->abort();
    }

    // The client closed or reset the connection, and the event loop has not
    // told yet: a peek at the socket, which never waits.
    bool peerClosed() const {
#ifdef Q_OS_UNIX
        char byte;
        const ssize_t n = ::recv(int(socket_->socketDescriptor()), &byte, 1, MSG_PEEK);
        return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
#else
        return false;
#endif
    }

private:
    static constexpr qint64 kChunk = 16 * 1024;

    // One piece at a time: the rest on the next turn of the event loop,
    // after every other client's turn, so that a client sending without
    // pause does not keep the others waiting.
    void readSome() {
        if (done_ || readPending_ || paused_)
            return;
        const QByteArray bytes = socket_->read(kChunk);
        if (!bytes.isEmpty())
            emit received(bytes);
        readLater();
    }

    void readLater() {
        if (done_ || readPending_ || paused_ || socket_->bytesAvailable() == 0)
            return;
        readPending_ = true;
        QTimer::singleShot(0, this, [this] {
            readPending_ = false;
            readSome();
        });
    }

    void finish(const QString& why) {
        if (done_)
            return;
        done_ = true;
        emit gone(why);
        deleteLater();
    }

    QTcpSocket* socket_;
    qint64 maxUnread_;
    QHostAddress address_;
    QString name_;
    bool readPending_ = false;
    bool paused_ = false;
    bool done_ = false;
};

TcpListener::TcpListener(const ListenLimits& limits, QObject* parent)
    : Listener(parent), limits_(limits) {
    server_.setMaxPendingConnections(64);
    connect(&server_, &QTcpServer::newConnection, this, &TcpListener::onNewConnection);
}

bool TcpListener::listen(const QHostAddress& address, quint16 port) {
    return server_.listen(listenAddress(address), port);
}

QString TcpListener::refusal(const QHostAddress& address, Refusal* reason) {
    *reason = Refusal::Address;
    if (!allowedIn(address, limits_.allow))
        return QStringLiteral("address not allowed");
    const QString key = plainAddress(address).toString();
    if (clients_ >= limits_.maxClients || perAddress_.value(key) >= limits_.maxPerAddress)
        dropClosed();
    *reason = Refusal::Full;
    if (clients_ >= limits_.maxClients)
        return QStringLiteral("too many clients (%1)").arg(limits_.maxClients);
    *reason = Refusal::PerAddress;
    if (perAddress_.value(key) >= limits_.maxPerAddress)
        return QStringLiteral("too many clients from this address (%1)").arg(limits_.maxPerAddress);
    return {};
}

void TcpListener::dropClosed() {
    for (TcpClientLink* link : QList<TcpClientLink*>(links_))
        if (link->peerClosed())
            link->drop(QStringLiteral("closed by the client"));
}

void TcpListener::onNewConnection() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        const QHostAddress from = plainAddress(socket->peerAddress());
        // A connection reset while it waited to be accepted has no peer.
        Refusal reason = Refusal::Reset;
        const QString why = from.isNull()
                                ? QStringLiteral("the client reset it before it was accepted")
                                : refusal(from, &reason);
        if (!why.isEmpty()) {
            const QString name = peerName(socket->peerAddress(),
                                          socket->peerPort()); // before closing forgets the peer
            socket->abort();
            socket->deleteLater();
            emit refused(name, why, reason);
            continue;
        }
        auto* link = new TcpClientLink(socket, limits_.maxUnread, this);
        const QString key = from.toString();
        ++clients_;
        ++perAddress_[key];
        links_.append(link);
        // At once, not when the link is deleted: the caps count live clients.
        connect(link, &ClientLink::gone, this, [this, link, key] {
            --clients_;
            if (--perAddress_[key] == 0)
                perAddress_.remove(key);
            links_.removeOne(link);
        });
        emit arrived(link);
    }
}

} // namespace server

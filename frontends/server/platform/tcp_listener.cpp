#include "frontends/server/platform/tcp_listener.h"

#include <QTcpSocket>

namespace server {

namespace {

class TcpClientLink : public ClientLink {
public:
    TcpClientLink(QTcpSocket* socket, qint64 maxUnread, QObject* parent)
        : ClientLink(parent), socket_(socket), maxUnread_(maxUnread) {
        socket_->setParent(this);
        address_ = socket_->peerAddress();
        bool v4 = false;
        if (const quint32 a = address_.toIPv4Address(&v4); v4)
            address_ = QHostAddress(a);
        name_ = (address_.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("[%1]:%2")
                                                                      : QStringLiteral("%1:%2"))
                    .arg(address_.toString())
                    .arg(socket_->peerPort());
        socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket_, &QTcpSocket::readyRead, this, [this] {
            // The protocols cap what they keep; this reads in bounded pieces.
            while (socket_ && socket_->bytesAvailable() > 0 && !done_) {
                const QByteArray bytes = socket_->read(64 * 1024);
                if (bytes.isEmpty())
                    break;
                emit received(bytes);
            }
        });
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

    void drop(const QString& why) {
        if (done_)
            return;
        finish(why);
        socket_->abort();
    }

private:
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
    bool done_ = false;
};

} // namespace

TcpListener::TcpListener(const ListenLimits& limits, QObject* parent)
    : Listener(parent), limits_(limits) {
    server_.setMaxPendingConnections(64);
    connect(&server_, &QTcpServer::newConnection, this, &TcpListener::onNewConnection);
}

bool TcpListener::listen(const QHostAddress& address, quint16 port) {
    return server_.listen(address, port);
}

bool TcpListener::allowed(const QHostAddress& address) const {
    QHostAddress a = address;
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    if (ok)
        a = QHostAddress(v4);
    if (limits_.allow.isEmpty())
        return a.isLoopback();
    for (const Subnet& s : limits_.allow)
        if (a.isInSubnet(s))
            return true;
    return false;
}

void TcpListener::onNewConnection() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        const QString name =
            QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
        QString why;
        if (!allowed(socket->peerAddress()))
            why = QStringLiteral("address not allowed");
        else if (clients_ >= limits_.maxClients)
            why = QStringLiteral("too many clients (%1)").arg(limits_.maxClients);
        if (!why.isEmpty()) {
            socket->abort();
            socket->deleteLater();
            emit refused(name, why);
            continue;
        }
        auto* link = new TcpClientLink(socket, limits_.maxUnread, this);
        ++clients_;
        connect(link, &ClientLink::gone, this, [this] { --clients_; });
        emit arrived(link);
    }
}

} // namespace server

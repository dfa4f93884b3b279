#include "sim/tcp_transport.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace sim {

namespace {
QString peerName(const QTcpSocket* s) {
    return QStringLiteral("%1:%2").arg(s->peerAddress().toString()).arg(s->peerPort());
}
} // namespace

TcpTransport::TcpTransport(QObject* parent) : QObject(parent) {
    connect(&server_, &QTcpServer::newConnection, this, &TcpTransport::onNewConnection);
    pacer_.onArrived = [this](const QByteArray& bytes) {
        if (onReceive)
            onReceive(bytes);
    };
    pacer_.onDepart = [this](const QByteArray& bytes) { writeNow(bytes); };
}

TcpTransport::~TcpTransport() {
    if (client_)
        client_->disconnect(this);
}

bool TcpTransport::start(quint16 port, QString* error) {
    if (server_.listen(QHostAddress::LocalHost, port))
        return true;
    *error =
        QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(server_.errorString());
    return false;
}

QString TcpTransport::address() const {
    return QStringLiteral("127.0.0.1:%1").arg(port());
}

void TcpTransport::onNewConnection() {
    while (QTcpSocket* s = server_.nextPendingConnection()) {
        if (client_) {
            tell(QStringLiteral("turned away %1: %2 is connected").arg(peerName(s), clientName_));
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            s->disconnectFromHost();
            continue;
        }
        client_ = s;
        clientName_ = peerName(s);
        // Paced answers leave a byte or two at a time; Nagle's algorithm
        // would hold each until the last was acknowledged.
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(s, &QTcpSocket::readyRead, this, &TcpTransport::onReadable);
        connect(s, &QTcpSocket::disconnected, this, &TcpTransport::onClientGone);
        tell(QStringLiteral("client %1 connected").arg(clientName_));
    }
}

void TcpTransport::onReadable() {
    if (!client_)
        return;
    const QByteArray bytes = client_->readAll();
    if (bytes.isEmpty())
        return;
    if (paced_)
        pacer_.received(bytes);
    else if (onReceive)
        onReceive(bytes);
}

void TcpTransport::onClientGone() {
    if (QTcpSocket* s = forgetClient(QStringLiteral("client %1 left")))
        s->deleteLater();
}

void TcpTransport::hangUp() {
    // What was already written still goes out before the end of the stream.
    if (QTcpSocket* s = forgetClient(QStringLiteral("hung up on client %1"))) {
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        s->disconnectFromHost();
    }
}

QTcpSocket* TcpTransport::forgetClient(const QString& how) {
    QTcpSocket* s = client_;
    if (!s)
        return nullptr;
    pacer_.clear();
    s->disconnect(this);
    client_ = nullptr;
    tell(how.arg(clientName_));
    return s;
}

void TcpTransport::send(const QByteArray& bytes) {
    if (!client_ || bytes.isEmpty())
        return;
    if (paced_)
        pacer_.send(bytes);
    else
        writeNow(bytes);
}

void TcpTransport::writeNow(const QByteArray& bytes) {
    if (!client_)
        return;
    client_->write(bytes);
    client_->flush();
}

void TcpTransport::tell(const QString& line) {
    if (onEvent)
        onEvent(line);
}

} // namespace sim

#pragma once

#include "frontends/server/listener.h"

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QTcpServer>

class QTcpSocket;

namespace server {

// Limits of a listener.
struct ListenLimits {
    int maxClients = 32;
    qint64 maxUnread = 1024 * 1024; // bytes waiting for a client that does not read
    // Addresses allowed in; empty: loopback addresses only.
    QList<Subnet> allow;
};

// A TCP listener: the only place, with its links, that touches sockets.
class TcpListener : public Listener {
    Q_OBJECT
public:
    TcpListener(const ListenLimits& limits, QObject* parent = nullptr);
    // False with the reason in errorText().
    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return server_.serverPort(); }
    // Stops accepting; connected clients stay.
    void close() { server_.close(); }
    QString errorText() const { return server_.errorString(); }
    int clients() const { return clients_; }
    // Whether connections from this address are let in.
    bool allowed(const QHostAddress& address) const;

private:
    void onNewConnection();

    QTcpServer server_;
    ListenLimits limits_;
    int clients_ = 0;
};

} // namespace server

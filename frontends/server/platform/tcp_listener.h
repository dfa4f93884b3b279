#pragma once

#include "frontends/server/listener.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QTcpServer>

class QTcpSocket;

namespace server {

class TcpClientLink;

// Limits of a listener.
struct ListenLimits {
    int maxClients = 32;
    // So that one address cannot fill the listener; loopback counts too.
    int maxPerAddress = 8;
    qint64 maxUnread = 1024 * 1024; // bytes waiting for a client that does not read
    // Addresses allowed in besides the loopback addresses, always allowed.
    QList<Subnet> allow;
};

// A TCP listener: the only place, with its links, that touches sockets.
class TcpListener : public Listener {
    Q_OBJECT
public:
    TcpListener(const ListenLimits& limits, QObject* parent = nullptr);
    // False with the reason in errorText(). 0.0.0.0 and :: both mean every
    // address, IPv4 and IPv6, as people expect of either.
    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return server_.serverPort(); }
    // Stops accepting; connected clients stay.
    void close() { server_.close(); }
    QString errorText() const { return server_.errorString(); }
    int clients() const { return clients_; }

private:
    void onNewConnection();
    // Why a client from this address is not let in; empty when it is.
    QString refusal(const QHostAddress& address, Refusal* reason);
    // Ends the links whose clients closed while their notice waits in the
    // event loop, so that the caps count live connections only.
    void dropClosed();

    QTcpServer server_;
    ListenLimits limits_;
    int clients_ = 0;
    QHash<QString, int> perAddress_;
    QList<TcpClientLink*> links_;
};

} // namespace server

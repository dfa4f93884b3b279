#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

namespace server {

// A subnet clients may come from: QHostAddress::parseSubnet's result.
using Subnet = QPair<QHostAddress, int>;

// The rules every port keeps for addresses, in one place.
// An IPv4 client of a listener on every address comes as ::ffff:a.b.c.d:
// this gives a.b.c.d, so that it counts, and is allowed, as one address.
QHostAddress plainAddress(const QHostAddress& address);
// "ADDRESS:PORT" ("[ADDRESS]:PORT" for IPv6), for the log.
QString peerName(const QHostAddress& address, quint16 port);
// Loopback clients always; others only from one of these subnets.
bool allowedIn(const QHostAddress& address, const QList<Subnet>& allow);
// What a listener binds: 0.0.0.0 and :: both mean every address, IPv4 and
// IPv6, as people expect of either.
QHostAddress listenAddress(const QHostAddress& address);

// Why a listener closed a connection at once.
enum class Refusal { Address, Full, PerAddress, Reset };
// One word for it: "address", "full", "per_address", "reset".
const char* refusalWord(Refusal r);

// One connected client, as the protocols see it: bytes in and out, and an
// identity. The socket behind it is the platform's.
class ClientLink : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~ClientLink() override = default;

    // The client's address as text ("127.0.0.2"): its identity for locks.
    virtual QString address() const = 0;
    // "ADDRESS:PORT", for the log.
    virtual QString name() const = 0;
    // Queues bytes for the client. A client that does not read is dropped
    // once too much waits for it (gone() follows).
    virtual void write(const QByteArray& bytes) = 0;
    // Closes the connection after what is queued; gone() follows.
    virtual void close() = 0;
    // While paused, nothing more is taken from the client: what it sends
    // waits in the kernel, and TCP holds the client back.
    virtual void setPaused(bool paused) = 0;

signals:
    void received(const QByteArray& bytes);
    // The connection is over (closed by either side or dropped); why, in a
    // few words. The link is deleted later by its listener.
    void gone(const QString& why);
};

// Accepts clients on one address. Clients beyond the cap and clients whose
// address is not allowed are closed at once and never reach arrived().
class Listener : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Listener() override = default;

signals:
    void arrived(server::ClientLink* client);
    // A connection closed at once: who and why, for the log, and the
    // reason, for the counts.
    void refused(const QString& name, const QString& why, server::Refusal reason);
};

} // namespace server

#pragma once

#include "frontends/server/line_owner.h"

#include <QHash>
#include <QObject>

namespace server {

class AuditTrail;
class RequestCounts;
class ClientLink;
class Listener;

// The switcher's own line protocol on a listener, for our own programs:
// each client's lines go to the line owner whole, and only whole (a line
// ended by a lone CR goes after 100 ms without its LF); what the switcher
// says goes to every client, or to the lease holder alone.
class LinePortServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kQuietMs = 100;

    LinePortServer(Listener& listener, LineOwner& owner, QObject* parent = nullptr);
    int clients() const { return int(clients_.size()); }
    // Where the lines that change the switcher are recorded and counted;
    // none: nowhere. A line counts as done once it goes to an open line
    // (the switcher's answer is the client's to read), else as absent.
    AuditTrail* audit = nullptr;
    RequestCounts* counts = nullptr;

signals:
    void event(const QString& line);
    void traffic(const QString& line);

private:
    struct Client;
    void accept(ClientLink* link);
    void submit(LineOwner::ClientId id, const QString& address, const QByteArray& line);
    // Hands the client's lines on while the line owner has room for them,
    // and reads the client only once all are handed on: each waiting line is
    // a request with objects of its own, and a client that sends without
    // pause would otherwise fill the server's memory at its network's pace.
    void pump(LineOwner::ClientId id);

    LineOwner& owner_;
    LineOwner::ClientId next_ = 1;
    QHash<LineOwner::ClientId, Client*> clients_;
};

} // namespace server

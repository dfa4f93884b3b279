#include "frontends/server/videohub_server.h"

#include "frontends/server/listener.h"
#include "state/audit_trail.h"

namespace server {

VideohubServer::VideohubServer(Listener& listener, RouterState& state, const DeviceInfo& info,
                               QObject* parent)
    : QObject(parent), state_(state), info_(info) {
    connect(&listener, &Listener::arrived, this, &VideohubServer::accept);
    connect(&listener, &Listener::refused, this, [this](const QString& name, const QString& why) {
        emit event(QStringLiteral("videohub client %1 refused: %2").arg(name, why));
    });
}

void VideohubServer::accept(ClientLink* link) {
    auto* session = new VideohubSession(state_, info_, link->address(), link);
    ++clients_;
    const QString name = link->name();
    emit event(QStringLiteral("videohub client %1 connected").arg(name));
    connect(session, &VideohubSession::send, link, &ClientLink::write);
    connect(session, &VideohubSession::overflowed, link, [this, link, name] {
        emit event(QStringLiteral("videohub client %1 sent a line or block too long").arg(name));
        link->close();
    });
    connect(session, &VideohubSession::handled, this,
            [this, name](const QString& header, int lines, bool ack) {
                emit traffic(QStringLiteral("videohub %1: %2 (%3 lines) -> %4")
                                 .arg(name, AuditTrail::loggable(header))
                                 .arg(lines)
                                 .arg(ack ? QStringLiteral("ACK") : QStringLiteral("NAK")));
            });
    connect(link, &ClientLink::received, session, &VideohubSession::receive);
    connect(link, &ClientLink::gone, this, [this, session, name](const QString& why) {
        --clients_;
        // No more broadcasts for a client that is gone.
        session->disconnect();
        emit event(QStringLiteral("videohub client %1 gone: %2").arg(name, why));
    });
    link->write(session->greeting());
}

} // namespace server

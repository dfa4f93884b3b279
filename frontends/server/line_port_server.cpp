#include "frontends/server/line_port_server.h"

#include "core/protocol/commands.h"
#include "frontends/server/line_reader.h"
#include "frontends/server/listener.h"
#include "state/audit_trail.h"
#include "state/counts.h"

#include <QTimer>

namespace server {

struct LinePortServer::Client : QObject {
    ClientLink* link = nullptr;
    LineReader reader;
    QTimer quiet;
    // Lines read and not yet handed on: at most what one read brings.
    QList<QByteArray> unsent;
    bool pumping = false;
};

LinePortServer::LinePortServer(Listener& listener, LineOwner& owner, QObject* parent)
    : QObject(parent), owner_(owner) {
    connect(&listener, &Listener::arrived, this, &LinePortServer::accept);
    connect(&listener, &Listener::refused, this, [this](const QString& name, const QString& why) {
        emit event(QStringLiteral("line client %1 refused: %2").arg(name, why));
    });
    connect(&owner_, &LineOwner::switcherSaid, this,
            [this](LineOwner::ClientId to, const QByteArray& bytes) {
                if (to != 0) {
                    if (Client* c = clients_.value(to))
                        c->link->write(bytes);
                    return;
                }
                for (Client* c : std::as_const(clients_))
                    c->link->write(bytes);
            });
    connect(&owner_, &LineOwner::room, this, [this] {
        QList<LineOwner::ClientId> held;
        for (auto it = clients_.cbegin(); it != clients_.cend(); ++it)
            if (!it.value()->unsent.isEmpty())
                held.append(it.key());
        for (const LineOwner::ClientId id : held)
            pump(id);
    });
}

void LinePortServer::pump(LineOwner::ClientId id) {
    Client* c = clients_.value(id);
    // A line handed on may be done at once, and call here again.
    if (!c || c->pumping)
        return;
    c->pumping = true;
    // A line written at once is done, but its request is deleted only once
    // the event loop turns: so many a turn, the rest on the next.
    int handed = 0;
    while (!c->unsent.isEmpty() && owner_.hasRoomFor(id) && handed < LineOwner::kMaxWaitingLines) {
        submit(id, c->link->address(), c->unsent.takeFirst());
        ++handed;
    }
    c->pumping = false;
    if (handed == LineOwner::kMaxWaitingLines && !c->unsent.isEmpty())
        QTimer::singleShot(0, c, [this, id] { pump(id); });
    c->link->setPaused(!c->unsent.isEmpty());
}

void LinePortServer::submit(LineOwner::ClientId id, const QString& address,
                            const QByteArray& line) {
    const protocol::LineChange change = protocol::lineChange(line);
    if (audit && change != protocol::LineChange::None)
        audit->record(
            QStringLiteral("line"), address,
            QStringLiteral("sent \"%1\"").arg(QString::fromLatin1(line.trimmed().left(80))));
    if (counts && change != protocol::LineChange::None)
        counts->add(Frontend::Line,
                    change == protocol::LineChange::Route        ? RequestKind::Route
                    : change == protocol::LineChange::AllOutputs ? RequestKind::Salvo
                    : change == protocol::LineChange::Preset     ? RequestKind::Preset
                                                                 : RequestKind::Setting,
                    owner_.isOpen() ? Outcome::Done : Outcome::Absent);
    owner_.submit(id, line);
}

void LinePortServer::accept(ClientLink* link) {
    const LineOwner::ClientId id = next_++;
    auto* c = new Client;
    c->setParent(link);
    c->link = link;
    c->quiet.setSingleShot(true);
    c->quiet.setInterval(kQuietMs);
    clients_.insert(id, c);
    const QString name = link->name();
    emit event(QStringLiteral("line client %1 (%2) connected").arg(name).arg(id));

    connect(&c->quiet, &QTimer::timeout, this, [this, c, id] {
        if (c->reader.lineEndPending()) {
            c->unsent.append(c->reader.takePartial());
            pump(id);
        }
    });
    connect(link, &ClientLink::received, this, [this, c, id, name](const QByteArray& bytes) {
        const bool ok = c->reader.feed(bytes, c->unsent);
        pump(id);
        if (!ok) {
            emit event(QStringLiteral("line client %1 sent a line too long").arg(name));
            c->link->close();
            return;
        }
        if (c->reader.lineEndPending())
            c->quiet.start();
        else
            c->quiet.stop();
    });
    connect(link, &ClientLink::gone, this, [this, id, name](const QString& why) {
        clients_.remove(id);
        owner_.clientGone(id);
        emit event(QStringLiteral("line client %1 gone: %2").arg(name, why));
    });
}

} // namespace server

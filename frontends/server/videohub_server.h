#pragma once

#include "frontends/server/videohub_session.h"

#include <QObject>

namespace server {

class ClientLink;
class Listener;

// The Videohub protocol on a listener: a session per client, greeted with
// the dump, dropped when it breaks the limits.
class VideohubServer : public QObject {
    Q_OBJECT
public:
    VideohubServer(Listener& listener, RouterState& state, const DeviceInfo& info,
                   QObject* parent = nullptr);
    int clients() const { return clients_; }

signals:
    // One line for the log: a client came or went.
    void event(const QString& line);
    // One request and its answer, for the traffic log (-v).
    void traffic(const QString& line);

private:
    void accept(ClientLink* link);

    RouterState& state_;
    DeviceInfo info_;
    int clients_ = 0;
};

} // namespace server

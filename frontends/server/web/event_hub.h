#pragma once

#include "frontends/server/web/web_auth.h"
#include "state/router_state.h"

#include <functional>
#include <optional>

#include <QList>
#include <QObject>

namespace server {
class RoomStore;
class JobRunner;
class SceneService;
} // namespace server

namespace web {

class EventStream;
class WebApi;

// The clients of GET /api/v1/events: each gets {"type": "state", ...} (as
// GET /api/v1/state) first, then one message per change of the shared
// state: "output", "label", "present", "lock", "scenes", "rooms". A client
// kept to rooms hears of their outputs alone.
class EventHub : public QObject {
    Q_OBJECT
public:
    EventHub(server::RouterState& state, const WebApi& api, QObject* parent = nullptr);
    // A stream whose check said who it is; any other is closed.
    void add(EventStream* stream);
    // Closes the streams of the callers that may no longer listen.
    void revoke(const web::CallerTest& gone);
    int clients() const { return streams_.size(); }
    // Sends {"type": "scenes", "scenes": [...]} whenever they or which are
    // active change.
    void setScenes(server::SceneService* scenes);
    // Sends the state, rooms and scenes again to every client whenever the
    // rooms change; refresh() does it when the accounts do.
    void setRooms(server::RoomStore* rooms);
    void refresh();
    // Sends {"type": "job", ...} to administrators' streams as a backup or
    // restore goes on: jobs are theirs alone.
    void setJobs(server::JobRunner* jobs);

private:
    // To every client, or those that reach the output (0: all of them).
    void sendAll(const QJsonObject& message, int output = 0);
    std::optional<QList<int>> reach(EventStream* stream) const;
    bool reaches(EventStream* stream, int output) const;
    void sendState(EventStream* stream);
    void sendScenes(EventStream* stream);

    server::RouterState& state_;
    const WebApi& api_;
    QList<EventStream*> streams_;
};

} // namespace web

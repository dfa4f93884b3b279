#pragma once

#include "frontends/server/web/web_auth.h"
#include "state/router_state.h"

#include <functional>

#include <QList>
#include <QObject>

namespace server {
class JobRunner;
class SceneService;
} // namespace server

namespace web {

class EventStream;
class WebApi;

// The clients of GET /api/v1/events: each gets {"type": "state", ...} (as
// GET /api/v1/state) first, then one message per change of the shared
// state: "output", "label", "present", "lock", "scenes".
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
    // Sends {"type": "job", ...} to administrators' streams as a backup or
    // restore goes on: jobs are theirs alone.
    void setJobs(server::JobRunner* jobs);

private:
    void sendAll(const QJsonObject& message);

    server::RouterState& state_;
    const WebApi& api_;
    QList<EventStream*> streams_;
};

} // namespace web

#pragma once

#include "frontends/server/web/http_message.h"
#include "frontends/server/web/web_auth.h"
#include "state/outcome.h"
#include "state/router_state.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <optional>

namespace server {
class RoomStore;
class JobRunner;
class SceneService;
} // namespace server

namespace web {

// The JSON API under /api/v1/ on the server's shared state: numbers from 1,
// as the window and MQTT count; a request that changes the routing is
// answered once the switcher has reported it (or has not, in time).
// Errors are {"error": sentence, "code": word}. Each path is open to a
// role and those above it (or to anybody), as WebAuth tells callers apart.
class WebApi : public QObject {
    Q_OBJECT
public:
    // Who may use a path: anybody, or a caller of at least that role.
    enum class Access { Public, Viewer, Operator, Admin };

    WebApi(server::RouterState& state, const QString& name, WebAuth& auth,
           QObject* parent = nullptr);

    // A request whose path starts with /api/v1/.
    void handle(const Request& request, const Answer& answer);
    // GET /metrics, for a viewer: the page page() makes, in Prometheus's
    // text format.
    static constexpr const char* kMetricsPath = "/metrics";
    void metrics(const Request& request, const Answer& answer,
                 const std::function<QByteArray()>& page);
    // Whether the page and the API may be used by this request's caller;
    // the refusal when not (the event stream asks this).
    std::variant<Caller, Response> admit(const Request& request, Access access);
    // The page's own origin, as a browser names it in Origin: the scheme
    // and the Host field of the request.
    static QByteArray ownOrigin(const Request& r);

    // The outputs a caller kept to rooms may see and change (ascending);
    // nothing for every output.
    std::optional<QList<int>> reach(const Caller& caller) const;
    // GET /api/v1/state as the client of that identity sees it: the outputs
    // of its reach alone.
    QJsonObject state(const QString& client, const std::optional<QList<int>>& reach = {}) const;
    // Every output with the input it shows: {"outputs": [...]}.
    QJsonObject outputs() const;

    // The identity the state knows a web client by (for its locks).
    static QString clientOf(const QHostAddress& peer);
    // The input output o shows, or null while unknown.
    QJsonValue inputOf(int output) const;
    bool lockedFor(const QString& client, int output) const;
    // into with "locked" and, while another holds it, "holder" added.
    QJsonObject lockObject(const QString& client, int output, QJsonObject into) const;

    // The scenes, once the server has them.
    void setScenes(server::SceneService* scenes) { scenes_ = scenes; }
    // {"scenes": [{"name", "routes", "schedule", "active"}]}, those within
    // the reach alone.
    QJsonObject scenes(const std::optional<QList<int>>& reach = {}) const;
    // The rooms, once the server has them.
    void setRooms(server::RoomStore* rooms) { rooms_ = rooms; }
    // {"rooms": [{"name", "outputs", "scenes"}]}: a room-limited caller's own.
    QJsonObject rooms(const Caller& caller) const;
    // The backups and restores, once the server has a switcher for them.
    void setJobs(server::JobRunner* jobs) { jobs_ = jobs; }
    QJsonObject sceneObject(const QString& name) const;

    // Every path of the table as "METHOD /api/v1/PATH ROLE" (public,
    // viewer, operator, admin), its numbers and names written {}.
    static QStringList accessTable();

    static Response json(int status, const QJsonObject& body);
    static Response error(int status, const QString& code, const QString& sentence);

private:
    struct Call;
    struct Endpoint;
    static const Endpoint kEndpoints[];

    void getState(Call& c);
    void getHealth(Call& c);
    void getOpenApi(Call& c);
    void postRoutes(Call& c);
    void putInput(Call& c);
    void postRecall(Call& c);
    void postSave(Call& c);
    void putLabel(Call& c);
    void postLogin(Call& c);
    void postLogout(Call& c);
    void getMe(Call& c);
    void getAudit(Call& c);
    void getScenes(Call& c);
    void putScene(Call& c);
    void deleteScene(Call& c);
    void postSceneRecall(Call& c);
    void postSceneCapture(Call& c);
    void getRooms(Call& c);
    void putRoom(Call& c);
    void deleteRoom(Call& c);
    void postJob(Call& c);
    void getJob(Call& c);
    void deleteJob(Call& c);
    // A scene store's refusal as an answer.
    static Response sceneRefusal(int result, const QString& reason);
    // The caller as the shared state knows them.
    server::RouterState::Asker asker(const Call& c) const;
    // A change of the switcher: answered once the switcher has reported it.
    void request(Call& c, const server::RouterState::Change& change,
                 std::function<Response()> success);

    // A routing request's answer: success() once the switcher reported it.
    void finish(server::Outcome outcome, const Answer& answer,
                const std::function<Response()>& success, const QList<int>& outputs,
                const QString& client);
    Response failure(server::Outcome outcome, const QList<int>& outputs,
                     const QString& client) const;

    server::RouterState& state_;
    QString name_;
    WebAuth& auth_;
    server::SceneService* scenes_ = nullptr;
    server::RoomStore* rooms_ = nullptr;
    server::JobRunner* jobs_ = nullptr;
};

} // namespace web

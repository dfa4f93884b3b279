#pragma once

#include "frontends/server/outcome.h"
#include "frontends/server/router_state.h"
#include "frontends/server/web/platform/http_host.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

namespace web {

// The JSON API under /api/v1/ on the server's shared state: numbers from 1,
// as the window and MQTT count; a request that changes the routing is
// answered once the switcher has reported it (or has not, in time).
// Errors are {"error": sentence, "code": word}.
class WebApi : public QObject {
    Q_OBJECT
public:
    WebApi(server::RouterState& state, const QString& name, QObject* parent = nullptr);

    // A request whose path starts with /api/v1/.
    void handle(const Request& request, const Answer& answer);

    // GET /api/v1/state as the client of that identity sees it.
    QJsonObject state(const QString& client) const;
    // Every output with the input it shows: {"outputs": [...]}.
    QJsonObject outputs() const;

    // The identity the state knows a web client by (for its locks).
    static QString clientOf(const QHostAddress& peer);
    // The input output o shows, or null while unknown.
    QJsonValue inputOf(int output) const;
    bool lockedFor(const QString& client, int output) const;

    static Response json(int status, const QJsonObject& body);
    static Response error(int status, const QString& code, const QString& sentence);

private:
    // A routing request's answer: success() once the switcher reported it.
    void finish(server::Outcome outcome, const Answer& answer,
                const std::function<Response()>& success, const QList<int>& outputs,
                const QString& client);
    Response failure(server::Outcome outcome, const QList<int>& outputs,
                     const QString& client) const;

    server::RouterState& state_;
    QString name_;
};

} // namespace web

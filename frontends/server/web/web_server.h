#pragma once

#include "frontends/server/web/http_message.h"
#include "frontends/server/web/platform/web_listener.h"

#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

#include "state/accounts.h"

class QFileSystemWatcher;
class QTimer;

namespace server {
class Accounts;
class RoomStore;
class RouterState;
class SceneService;
class JobRunner;
} // namespace server

namespace web {

class WebApi;
class WebAuth;
class EventHub;

// The web front end: the page at /, the JSON API under /api/v1/ and its
// event stream, on one port. Every answer carries the page's security
// headers. Its accounts are the state folder's accounts.json, read again
// whenever it changes.
class WebServer : public QObject {
    Q_OBJECT
public:
    WebServer(server::RouterState& state, const QString& name, const WebLimits& limits,
              const QString& stateDir, QObject* parent = nullptr);
    ~WebServer() override;

    // The names, besides any address, "localhost" and this machine's name
    // (also with ".local"), that requests may give in their Host field. A
    // page under any other name belongs to another site whose name was made
    // to point here (DNS rebinding), and is answered 421 with nothing done.
    void setHostNames(const QStringList& names);
    // Whether a reverse proxy on the loopback address is believed about
    // its client's address (the last of X-Forwarded-For, else Forwarded's
    // for=) and scheme (X-Forwarded-Proto or Forwarded's proto=): the
    // address then counts for sign-in limits, the trail, locks and --allow,
    // and https gives the Secure cookie. Without, a forwarded request is
    // only never this machine's own.
    void setTrustProxy(bool trust) { trustProxy_ = trust; }
    // The scenes the API and the events offer; none until given.
    void setScenes(server::SceneService* scenes);
    // The backups and restores the API runs and the events follow.
    void setJobs(server::JobRunner* jobs);

    // HTTPS from now on, with this certificate and key (PEM files); false
    // with the reason, the one in use kept. Connected clients stay.
    bool setCertificate(const QString& certFile, const QString& keyFile, QString* error);

    // What GET /metrics answers (for a viewer, as the API's paths); without
    // it, /metrics is no page.
    void setMetrics(std::function<QByteArray()> page) { metrics_ = std::move(page); }
    // /metrics alone on a port of its own, under the same rules (the
    // addresses allowed, the host names, the accounts, TLS when the web
    // port has it: give the certificate first); false with the reason in
    // metricsError().
    bool listenMetrics(const QHostAddress& address, quint16 port);
    quint16 metricsPort() const;
    QString metricsError() const;

    // The web port: listen() on it, its port, its connections (event
    // streams included), its certificate for the log.
    WebListener& listener() { return *listener_; }
    const WebListener& listener() const { return *listener_; }
    // The event streams open now.
    const EventHub& events() const { return *events_; }
    // Stops accepting on both ports; connected clients stay.
    void close();

    // Reads the accounts again (also done by itself within a second of a
    // change of the file): removed users and tokens lose their sessions and
    // event streams at once.
    void reloadAccounts();
    WebAuth& auth() { return *auth_; }

signals:
    // One line for the log: an event client came or went, a connection was
    // dropped.
    void event(const QString& line);
    // One request and its status, for the traffic log (-v).
    void traffic(const QString& line);
    // A connection closed at once by the limits of either port.
    void refused(server::Refusal reason);

private:
    void watchAccounts();
    // A request on the web port, or on the metrics port (metricsOnly).
    void serve(const Request& sent, const Answer& answer, bool metricsOnly);

    // The request as its client sent it, behind a proxy or not; the
    // refusal when the client is not allowed.
    std::variant<Request, Response> unwrap(const Request& r) const;

    QStringList hostNames_;
    bool trustProxy_ = false;
    WebLimits limits_;
    server::RouterState& state_;
    std::unique_ptr<server::Accounts> accounts_;
    // The accounts as last read whole.
    QList<server::Accounts::User> users_;
    QList<server::Accounts::Token> tokens_;
    std::unique_ptr<WebAuth> auth_;
    QFileSystemWatcher* watcher_;
    QTimer* settle_;
    std::unique_ptr<WebApi> api_;
    std::unique_ptr<EventHub> events_;
    std::unique_ptr<WebListener> listener_;
    // The rooms, in the state folder beside the accounts that name them.
    std::unique_ptr<server::RoomStore> rooms_;
    std::function<QByteArray()> metrics_;
    std::unique_ptr<WebListener> metricsListener_;
    QString metricsError_;
    QString certFile_, keyFile_;
};

} // namespace web

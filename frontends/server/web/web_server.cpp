#include "frontends/server/web/web_server.h"

#include "state/room_store.h"

#include "frontends/server/listener.h"
#include "frontends/server/web/event_hub.h"
#include "frontends/server/web/platform/event_stream.h"
#include "frontends/server/web/web_api.h"
#include "frontends/server/web/web_auth.h"
#include "state/accounts.h"
#include "state/audit_trail.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSysInfo>
#include <QTimer>
#include <QUrl>

namespace web {

namespace {

const char* const kPage = ":/web/page/";

QByteArray contentType(const QString& file) {
    if (file.endsWith(QLatin1String(".html")))
        return "text/html; charset=utf-8";
    if (file.endsWith(QLatin1String(".js")))
        return "text/javascript; charset=utf-8";
    if (file.endsWith(QLatin1String(".css")))
        return "text/css; charset=utf-8";
    if (file.endsWith(QLatin1String(".svg")))
        return "image/svg+xml";
    if (file.endsWith(QLatin1String(".webmanifest")))
        return "application/manifest+json";
    return "application/octet-stream";
}

// The page's files: GET only, no other path.
Response pageFile(const Request& r) {
    const QString name =
        r.path == QLatin1String("/") ? QStringLiteral("index.html") : r.path.mid(1);
    if (name.contains(QLatin1Char('/')) ||
        !QDir(QLatin1String(kPage)).entryList(QDir::Files).contains(name))
        return WebApi::error(404, QStringLiteral("not_found"),
                             QStringLiteral("There is no %1.").arg(r.path));
    if (r.method != "GET") {
        Response out = WebApi::error(405, QStringLiteral("method_not_allowed"),
                                     QStringLiteral("%1 takes GET only.").arg(r.path));
        out.headers.emplaceBack("Allow", "GET");
        return out;
    }
    QFile f(QLatin1String(kPage) + name);
    f.open(QIODevice::ReadOnly);
    return Response{200, contentType(name), f.readAll(), {{"Cache-Control", "no-cache"}}};
}

void secure(Response& r, bool tls) {
    // Once a browser has been here over HTTPS, it never comes in clear.
    if (tls)
        r.headers.emplaceBack("Strict-Transport-Security", "max-age=31536000");
    r.headers.emplaceBack("Content-Security-Policy",
                          "default-src 'self'; base-uri 'none'; form-action 'none'; "
                          "frame-ancestors 'none'");
    r.headers.emplaceBack("X-Content-Type-Options", "nosniff");
    r.headers.emplaceBack("Referrer-Policy", "no-referrer");
    bool cached = false;
    for (const auto& h : std::as_const(r.headers))
        cached = cached || h.first == "Cache-Control";
    if (!cached)
        r.headers.emplaceBack("Cache-Control", "no-store");
}

// A page from another site may not read the events: WebSockets are not
// bound by the same-origin rule, so the origin is checked here. A script
// (no Origin) proves itself with a token once accounts exist: a cookie is
// what a browser sends, and only a browser names its origin.
std::optional<Response> checkStream(const Request& r, WebApi& api, bool accounts, QVariant& tag) {
    const QByteArray origin = r.header("origin");
    if (!origin.isEmpty() && origin != WebApi::ownOrigin(r))
        return WebApi::error(403, QStringLiteral("forbidden_origin"),
                             QStringLiteral("The events are for pages of this server only."));
    if (origin.isEmpty() && accounts && r.header("authorization").isEmpty())
        return WebApi::error(
            401, QStringLiteral("unauthorized"),
            QStringLiteral("A script gives its API token: Authorization: Bearer."));
    auto who = api.admit(r, WebApi::Access::Viewer);
    if (const auto* refusal = std::get_if<Response>(&who))
        return *refusal;
    tag = QVariant::fromValue(std::get<Caller>(who));
    return std::nullopt;
}

// Streams are never closed to make room, so their own caps keep room for
// plain requests and sign-ins: per address, per user or token, and in all.
std::optional<Response> crowdedStreams(const QList<QPair<QString, QVariant>>& streams,
                                       const WebLimits& limits, const QString& address,
                                       const Caller& caller) {
    int fromAddress = 0, ofCaller = 0;
    for (const auto& [a, tag] : streams) {
        const Caller c = tag.value<Caller>();
        fromAddress += a == address;
        ofCaller += c.kind != Caller::Kind::Local && c.kind == caller.kind && c.who == caller.who;
    }
    QString why;
    if (fromAddress >= limits.maxStreamsPerAddress)
        why = QStringLiteral("This address has %1 event streams open already.")
                  .arg(limits.maxStreamsPerAddress);
    else if (caller.kind != Caller::Kind::Local && ofCaller >= limits.maxStreamsPerCaller)
        why = QStringLiteral("%1 has %2 event streams open already.")
                  .arg(caller.who)
                  .arg(limits.maxStreamsPerCaller);
    else if (streams.size() >= limits.maxClients / 2)
        why = QStringLiteral("The server has %1 event streams open, as many as it takes.")
                  .arg(limits.maxClients / 2);
    if (why.isEmpty())
        return std::nullopt;
    Response out = WebApi::error(429, QStringLiteral("too_many_streams"), why);
    out.headers.emplaceBack("Retry-After", "60");
    return out;
}

bool knownHost(const QByteArray& host, const QStringList& names) {
    // HOST, HOST:PORT, [IPV6] or [IPV6]:PORT.
    QString name = QString::fromLatin1(host).toLower();
    if (name.startsWith(QLatin1Char('[')))
        name = name.mid(1, name.indexOf(QLatin1Char(']')) - 1);
    else if (name.count(QLatin1Char(':')) == 1)
        name.truncate(name.indexOf(QLatin1Char(':')));
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    return !QHostAddress(name).isNull() || names.contains(name);
}

// A request from the page of another site whose name was made to point
// here (DNS rebinding): nothing is done for it.
std::optional<Response> misdirected(const Request& r, const QStringList& names) {
    const QByteArray host = r.header("host");
    // Every browser names the host; a program that does not cannot be a page
    // of another site.
    if (host.isEmpty() || knownHost(host, names))
        return std::nullopt;
    return WebApi::error(421, QStringLiteral("unknown_host"),
                         QStringLiteral("This server is not reached by the name %1; give it "
                                        "with --web-host if it is one of this server's.")
                             .arg(QString::fromLatin1(host.left(255))));
}

} // namespace

WebServer::WebServer(server::RouterState& state, const QString& name, const WebLimits& limits,
                     const QString& stateDir, QObject* parent)
    : QObject(parent), limits_(limits), state_(state),
      accounts_(std::make_unique<server::Accounts>(stateDir)),
      auth_(std::make_unique<WebAuth>(*accounts_, state.audit())),
      watcher_(new QFileSystemWatcher(this)), settle_(new QTimer(this)),
      api_(std::make_unique<WebApi>(state, name, *auth_)),
      events_(std::make_unique<EventHub>(state, *api_)),
      listener_(std::make_unique<WebListener>(limits)),
      rooms_(std::make_unique<server::RoomStore>(stateDir, state.model())) {
    QString roomsWhy;
    if (!rooms_->load(&roomsWhy))
        QTimer::singleShot(0, this,
                           [this, roomsWhy] { emit event(QStringLiteral("rooms: ") + roomsWhy); });
    connect(rooms_.get(), &server::RoomStore::logLine, this, &WebServer::event);
    api_->setRooms(rooms_.get());
    events_->setRooms(rooms_.get());
    setHostNames({});
    listener_->streamPath = QStringLiteral("/api/v1/events");
    listener_->checkStream = [this, limits](const Request& sent, QVariant& tag) {
        const auto unwrapped = unwrap(sent);
        if (const auto* refusal = std::get_if<Response>(&unwrapped))
            return std::optional<Response>(*refusal);
        const Request& r = std::get<Request>(unwrapped);
        if (const auto refusal = misdirected(r, hostNames_))
            return refusal;
        if (const auto refusal = checkStream(r, *api_, !accounts_->empty(), tag))
            return refusal;
        return crowdedStreams(listener_->streams(), limits, r.peer.toString(), tag.value<Caller>());
    };
    listener_->onRequest = [this](const Request& sent, const Answer& answer) {
        serve(sent, answer, false);
    };
    connect(listener_.get(), &WebListener::streamArrived, this, [this](EventStream* stream) {
        emit event(QStringLiteral("web events client %1 connected").arg(stream->name()));
        connect(stream, &EventStream::gone, this,
                [this, name = stream->name()](const QString& why) {
                    emit event(QStringLiteral("web events client %1 gone: %2").arg(name, why));
                });
        events_->add(stream);
    });
    connect(listener_.get(), &WebListener::refused, this, &WebServer::refused);
    connect(listener_.get(), &WebListener::dropped, this,
            [this](const QString& who, const QString& why) {
                emit event(QStringLiteral("web client %1 closed: %2").arg(who, why));
            });
    connect(auth_.get(), &WebAuth::revoked, events_.get(), &EventHub::revoke);

    // An editor or the command line replaces the file, or makes it: the
    // folder is watched for that, the file for changes in place. Several
    // events of one change come together in one reading.
    settle_->setSingleShot(true);
    settle_->setInterval(100);
    connect(settle_, &QTimer::timeout, this, &WebServer::reloadAccounts);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, settle_, qOverload<>(&QTimer::start));
    connect(watcher_, &QFileSystemWatcher::fileChanged, settle_, qOverload<>(&QTimer::start));
    QString why;
    if (!accounts_->load(&why)) {
        auth_->setAccountsBroken(true);
        QTimer::singleShot(0, this,
                           [this, why] { emit event(QStringLiteral("accounts: %1").arg(why)); });
    }
    users_ = accounts_->users();
    tokens_ = accounts_->tokens();
    watchAccounts();
}

void WebServer::serve(const Request& sent, const Answer& answer, bool metricsOnly) {
    auto unwrapped = unwrap(sent);
    if (const auto* refusal = std::get_if<Response>(&unwrapped)) {
        Response out = *refusal;
        secure(out, sent.tls);
        return answer(out);
    }
    const Request& r = std::get<Request>(unwrapped);
    const QByteArray line = r.method + ' ' + r.path.toUtf8();
    auto send = [this, answer, line, peer = r.peer, tls = r.tls](Response response) {
        secure(response, tls);
        emit traffic(
            QStringLiteral("%1 %2 %3")
                .arg(peer.toString(), server::AuditTrail::loggable(QString::fromUtf8(line)))
                .arg(response.status));
        answer(response);
    };
    if (const auto refusal = misdirected(r, hostNames_))
        send(*refusal);
    else if (r.path == QLatin1String(WebApi::kMetricsPath) && metrics_)
        api_->metrics(r, send, metrics_);
    else if (metricsOnly)
        send(WebApi::error(
            404, QStringLiteral("not_found"),
            QStringLiteral("This port serves %1 only.").arg(QLatin1String(WebApi::kMetricsPath))));
    else if (r.path.startsWith(QLatin1String("/api/v1/")))
        api_->handle(r, send);
    else
        send(pageFile(r));
}

bool WebServer::listenMetrics(const QHostAddress& address, quint16 port) {
    metricsListener_ = std::make_unique<WebListener>(limits_);
    metricsListener_->onRequest = [this](const Request& sent, const Answer& answer) {
        serve(sent, answer, true);
    };
    connect(metricsListener_.get(), &WebListener::dropped, this,
            [this](const QString& who, const QString& why) {
                emit event(QStringLiteral("metrics client %1 closed: %2").arg(who, why));
            });
    connect(metricsListener_.get(), &WebListener::refused, this, &WebServer::refused);
    QString why;
    if (!certFile_.isEmpty() && !metricsListener_->setCertificate(certFile_, keyFile_, &why)) {
        metricsError_ = why;
        return false;
    }
    if (!metricsListener_->listen(address, port)) {
        metricsError_ = metricsListener_->errorText();
        return false;
    }
    return true;
}

quint16 WebServer::metricsPort() const {
    return metricsListener_ ? metricsListener_->port() : 0;
}

QString WebServer::metricsError() const {
    return metricsError_;
}

std::variant<Request, Response> WebServer::unwrap(const Request& sent) const {
    Request r = sent;
    const QByteArray forwarded = r.header("forwarded");
    const QByteArray xff = r.header("x-forwarded-for");
    r.proxied = !forwarded.isEmpty() || !xff.isEmpty();
    if (!r.proxied || !trustProxy_ || !sent.peer.isLoopback())
        return r;
    // The proxy appends the address it saw: the last is the one it vouches
    // for, any before it came from the client.
    QByteArray client, proto = r.header("x-forwarded-proto");
    if (!xff.isEmpty())
        client = xff.split(',').last().trimmed();
    for (const QByteArray& element : forwarded.split(',').last().split(';')) {
        const QByteArray pair = element.trimmed();
        const QByteArray value = pair.mid(pair.indexOf('=') + 1).replace('"', "");
        if (pair.toLower().startsWith("for=") && client.isEmpty())
            client = value;
        else if (pair.toLower().startsWith("proto=") && proto.isEmpty())
            proto = value;
    }
    // [IPV6]:PORT, [IPV6] or IPV4:PORT.
    if (client.startsWith('['))
        client = client.mid(1, client.indexOf(']') - 1);
    else if (client.count(':') == 1)
        client.truncate(client.indexOf(':'));
    const QHostAddress address(QString::fromLatin1(client));
    if (address.isNull())
        return WebApi::error(400, QStringLiteral("bad_forwarded"),
                             QStringLiteral("The proxy did not give the client's address."));
    r.peer = server::plainAddress(address);
    if (!server::allowedIn(r.peer, limits_.allow))
        return WebApi::error(403, QStringLiteral("address_not_allowed"),
                             QStringLiteral("This address may not use the server."));
    r.tls = r.tls || proto.compare("https", Qt::CaseInsensitive) == 0;
    return r;
}

void WebServer::watchAccounts() {
    const QString folder = QFileInfo(accounts_->path()).absolutePath();
    if (!watcher_->directories().contains(folder) && QFileInfo::exists(folder))
        watcher_->addPath(folder);
    if (!watcher_->files().contains(accounts_->path()) && QFileInfo::exists(accounts_->path()))
        watcher_->addPath(accounts_->path());
}

void WebServer::reloadAccounts() {
    watchAccounts();
    // Compared with the last good reading: a file damaged and mended, or
    // gone and back, changed nothing.
    const QList<server::Accounts::User> users = users_;
    const QList<server::Accounts::Token> tokens = tokens_;
    QString why;
    bool read = accounts_->load(&why);
    QString what = QStringLiteral("accounts file damaged; nobody may sign in");
    // Without the file there would be no account, and this machine would
    // have every right: a file deleted by mistake (or by someone who may
    // write the folder but should not have every right) shuts the page
    // instead.
    if (read && (!users.isEmpty() || !tokens.isEmpty()) && !QFileInfo::exists(accounts_->path())) {
        read = false;
        why = QStringLiteral("%1 is gone, and accounts existed; nobody may sign in, this "
                             "machine included, until it is back or \"hdmi-matrix-server user "
                             "add\" makes a new one")
                  .arg(accounts_->path());
        what = QStringLiteral("accounts file gone; nobody may sign in");
    }
    if (!read) {
        if (!auth_->accountsBroken()) {
            emit event(QStringLiteral("accounts: %1").arg(why));
            state_.audit().record(QStringLiteral("local"), QStringLiteral("the state folder"),
                                  what);
        }
        auth_->setAccountsBroken(true);
        auth_->accountsChanged();
        return;
    }
    auth_->setAccountsBroken(false);
    users_ = accounts_->users();
    tokens_ = accounts_->tokens();
    // What changed, for the audit trail: the command line that changed it
    // runs on this machine, as whoever may write the state folder.
    bool rooms = false;
    auto changes = [this, &rooms](const auto& before, const auto& after, const QString& kind) {
        for (const auto& a : after) {
            const auto old = std::find_if(before.begin(), before.end(),
                                          [&](const auto& b) { return b.name == a.name; });
            if (old == before.end())
                state_.audit().record(QStringLiteral("local"), QStringLiteral("the command line"),
                                      QStringLiteral("%1 \"%2\" added as %3")
                                          .arg(kind, a.name, server::roleName(a.role)));
            else if (old->role != a.role)
                state_.audit().record(
                    QStringLiteral("local"), QStringLiteral("the command line"),
                    QStringLiteral("%1 \"%2\" now %3").arg(kind, a.name, server::roleName(a.role)));
            if (old != before.end() && old->rooms != a.rooms) {
                rooms = true;
                state_.audit().record(
                    QStringLiteral("local"), QStringLiteral("the command line"),
                    a.rooms.isEmpty()
                        ? QStringLiteral("%1 \"%2\" reaches every output").arg(kind, a.name)
                        : QStringLiteral("%1 \"%2\" kept to %3")
                              .arg(kind, a.name, a.rooms.join(QStringLiteral(", "))));
            }
        }
        for (const auto& b : before)
            if (std::none_of(after.begin(), after.end(),
                             [&](const auto& a) { return a.name == b.name; }))
                state_.audit().record(QStringLiteral("local"), QStringLiteral("the command line"),
                                      QStringLiteral("%1 \"%2\" removed").arg(kind, b.name));
    };
    changes(users, accounts_->users(), QStringLiteral("user"));
    changes(tokens, accounts_->tokens(), QStringLiteral("token"));
    auth_->accountsChanged();
    // An account's rooms changed what its open pages may see.
    if (rooms)
        events_->refresh();
}

WebServer::~WebServer() = default;

void WebServer::setHostNames(const QStringList& names) {
    const QString machine = QSysInfo::machineHostName().toLower();
    hostNames_ = QStringList{QStringLiteral("localhost"), machine, machine + ".local"} + names;
}

void WebServer::setScenes(server::SceneService* scenes) {
    api_->setScenes(scenes);
    events_->setScenes(scenes);
}

void WebServer::setJobs(server::JobRunner* jobs) {
    api_->setJobs(jobs);
    events_->setJobs(jobs);
}

bool WebServer::setCertificate(const QString& certFile, const QString& keyFile, QString* error) {
    if (!listener_->setCertificate(certFile, keyFile, error))
        return false;
    certFile_ = certFile;
    keyFile_ = keyFile;
    return !metricsListener_ || metricsListener_->setCertificate(certFile, keyFile, error);
}

void WebServer::close() {
    listener_->close();
    if (metricsListener_)
        metricsListener_->close();
}

} // namespace web

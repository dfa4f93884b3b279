#include "frontends/server/web/web_server.h"

#include "frontends/server/web/event_hub.h"
#include "frontends/server/web/platform/http_host.h"
#include "frontends/server/web/web_api.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
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

void secure(Response& r) {
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
// bound by the same-origin rule, so the origin is checked here.
std::optional<Response> checkStream(const Request& r) {
    const QByteArray origin = r.header("origin");
    if (!origin.isEmpty() &&
        QUrl(QString::fromLatin1(origin)).authority() != QString::fromLatin1(r.header("host")))
        return WebApi::error(403, QStringLiteral("forbidden_origin"),
                             QStringLiteral("The events are for pages of this server only."));
    return std::nullopt;
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
                     QObject* parent)
    : QObject(parent), api_(std::make_unique<WebApi>(state, name)),
      events_(std::make_unique<EventHub>(state, *api_)), host_(std::make_unique<HttpHost>(limits)) {
    setHostNames({});
    host_->streamPath = QStringLiteral("/api/v1/events");
    host_->checkStream = [this](const Request& r) {
        if (const auto refusal = misdirected(r, hostNames_))
            return refusal;
        return checkStream(r);
    };
    host_->onRequest = [this](const Request& r, const Answer& answer) {
        const QByteArray line = r.method + ' ' + r.path.toUtf8();
        auto send = [this, answer, line, peer = r.peer](Response response) {
            secure(response);
            emit traffic(QStringLiteral("%1 %2 %3")
                             .arg(peer.toString(), QString::fromUtf8(line))
                             .arg(response.status));
            answer(response);
        };
        if (const auto refusal = misdirected(r, hostNames_))
            send(*refusal);
        else if (r.path.startsWith(QLatin1String("/api/v1/")))
            api_->handle(r, send);
        else
            send(pageFile(r));
    };
    connect(host_.get(), &HttpHost::streamArrived, this, [this](EventStream* stream) {
        emit event(QStringLiteral("web events client %1 connected").arg(stream->name()));
        connect(stream, &EventStream::gone, this,
                [this, name = stream->name()](const QString& why) {
                    emit event(QStringLiteral("web events client %1 gone: %2").arg(name, why));
                });
        events_->add(stream);
    });
    connect(host_.get(), &HttpHost::dropped, this, [this](const QString& who, const QString& why) {
        emit event(QStringLiteral("web client %1 closed: %2").arg(who, why));
    });
}

WebServer::~WebServer() = default;

void WebServer::setHostNames(const QStringList& names) {
    const QString machine = QSysInfo::machineHostName().toLower();
    hostNames_ = QStringList{QStringLiteral("localhost"), machine, machine + ".local"} + names;
}

bool WebServer::listen(const QHostAddress& address, quint16 port) {
    return host_->listen(address, port);
}

quint16 WebServer::port() const {
    return host_->port();
}

QString WebServer::errorText() const {
    return host_->errorText();
}

void WebServer::close() {
    host_->close();
}

int WebServer::clients() const {
    return host_->clients();
}

int WebServer::eventClients() const {
    return events_->clients();
}

} // namespace web

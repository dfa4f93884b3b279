#include "frontends/server/web/platform/http_host.h"

#include "frontends/server/listener.h"
#include "frontends/server/web/platform/tls_credentials.h"

#include <QAbstractHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QWebSocket>

namespace web {

namespace {

QByteArray methodName(QHttpServerRequest::Method m) {
    switch (m) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Options:
        return "OPTIONS";
    case QHttpServerRequest::Method::Patch:
        return "PATCH";
    case QHttpServerRequest::Method::Connect:
        return "CONNECT";
    case QHttpServerRequest::Method::Trace:
        return "TRACE";
    default:
        return {};
    }
}

Request fromLibrary(const QHttpServerRequest& r, QTcpSocket* socket) {
    // From the socket, not the URL's scheme: a request line may name any.
    const auto* tls = qobject_cast<QSslSocket*>(socket);
    return Request{methodName(r.method()),
                   r.url().path(),
                   r.body(),
                   server::plainAddress(r.remoteAddress()),
                   r.headers(),
                   tls && tls->isEncrypted(),
                   r.url().path(QUrl::FullyEncoded),
                   r.url().query(QUrl::FullyEncoded)};
}

void write(const Response& r, QHttpServerResponder&& responder) {
    QHttpServerResponse out(r.contentType, r.body,
                            static_cast<QHttpServerResponse::StatusCode>(r.status));
    for (const auto& [name, value] : r.headers)
        out.addHeader(name, value);
    out.write(std::move(responder));
}

// As the library tells an upgrade from a request.
bool asksForWebSocket(const Request& r) {
    return r.header("connection").toLower().contains("upgrade") &&
           r.header("upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
}

} // namespace

QByteArray Request::header(const QByteArray& name) const {
    for (const auto& [n, v] : headers)
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return v;
    return {};
}

EventStream::EventStream(std::unique_ptr<QWebSocket> socket, qint64 maxUnsent, const QVariant& tag,
                         QObject* parent)
    : QObject(parent), socket_(std::move(socket)), maxUnsent_(maxUnsent),
      peer_(server::plainAddress(socket_->peerAddress())), tag_(tag) {
    name_ = (peer_.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("[%1]:%2")
                                                               : QStringLiteral("%1:%2"))
                .arg(peer_.toString())
                .arg(socket_->peerPort());
    // The stream only speaks; what a client says is read and dropped, in
    // small frames.
    socket_->setMaxAllowedIncomingFrameSize(4096);
    socket_->setMaxAllowedIncomingMessageSize(4096);
    connect(socket_.get(), &QWebSocket::disconnected, this,
            [this] { end(QStringLiteral("closed"), false); });
}

EventStream::~EventStream() {
    // Closed with the server: no one is told any more.
    done_ = true;
    socket_->disconnect(this);
}

void EventStream::send(const QString& text) {
    if (done_)
        return;
    if (socket_->bytesToWrite() + text.size() > maxUnsent_) {
        end(QStringLiteral("dropped: it does not read"), true);
        return;
    }
    socket_->sendTextMessage(text);
}

void EventStream::close(const QString& why) {
    if (done_)
        return;
    socket_->close(QWebSocketProtocol::CloseCodePolicyViolated, why);
    end(why, false);
}

void EventStream::end(const QString& why, bool abort) {
    if (done_)
        return;
    done_ = true;
    if (abort)
        socket_->abort();
    emit gone(why);
    deleteLater();
}

// The library's server class: it hands whole requests over, answers the
// ones nobody takes, and hands upgraded connections to its WebSocket
// server.
class HttpHost::Server : public QAbstractHttpServer {
public:
    explicit Server(HttpHost& host) : host_(host) {}

    std::optional<Response> refusal;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        ConnectionWatch* watch = ConnectionWatch::of(socket);
        if (!watch)
            return true;
        const Request r = fromLibrary(request, socket);
        if (asksForWebSocket(r)) {
            refusal.reset();
            QVariant tag;
            if (r.path != host_.streamPath)
                refusal = Response{404, {}, {}, {}};
            else if (host_.checkStream)
                refusal = host_.checkStream(r, tag);
            if (refusal)
                return false; // the library answers through missingHandler() and closes
            watch->becomeStream(tag);
            return true;
        }
        const int place = watch->admit();
        if (place < 0)
            return true;
        auto responder = std::make_shared<QHttpServerResponder>(makeResponder(request, socket));
        QPointer<ConnectionWatch> guard(watch);
        host_.onRequest(r, [guard, place, responder](const Response& response) {
            if (guard)
                guard->answer(place,
                              [responder, response] { write(response, std::move(*responder)); });
        });
        return true;
    }

    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
        write(refusal.value_or(Response{404, {}, {}, {}}), makeResponder(request, socket));
        refusal.reset();
    }

private:
    HttpHost& host_;
};

HttpHost::HttpHost(const WebLimits& limits, QObject* parent)
    : QObject(parent), server_(std::make_unique<Server>(*this)) {
    listener_ = new WebListener(limits, server_.get());
    connect(listener_, &WebListener::dropped, this, &HttpHost::dropped);
    connect(listener_, &WebListener::refused, this, &HttpHost::refused);
    connect(server_.get(), &QAbstractHttpServer::newWebSocketConnection, this, [this] {
        while (server_->hasPendingWebSocketConnections()) {
            std::unique_ptr<QWebSocket> socket = server_->nextPendingWebSocketConnection();
            ConnectionWatch* w = listener_->streamFrom(socket->peerAddress(), socket->peerPort());
            if (w)
                w->streamOpened();
            emit streamArrived(new EventStream(std::move(socket), listener_->limits().maxUnsent,
                                               w ? w->tag() : QVariant(), this));
        }
    });
}

HttpHost::~HttpHost() {
    // The streams before the connections under them.
    qDeleteAll(findChildren<EventStream*>(Qt::FindDirectChildrenOnly));
}

bool HttpHost::setCertificate(const QString& certFile, const QString& keyFile, QString* error) {
    const std::optional<QSslConfiguration> tls = readTlsCredentials(certFile, keyFile, error);
    if (tls)
        listener_->setTls(tls);
    return tls.has_value();
}

QString HttpHost::certificate() const {
    return listener_->tls() ? describeCertificate(*listener_->tls()) : QString();
}

bool HttpHost::listen(const QHostAddress& address, quint16 port) {
    if (!listener_->listen(server::listenAddress(address), port))
        return false;
    server_->bind(listener_);
    return true;
}

quint16 HttpHost::port() const {
    return listener_->serverPort();
}

QString HttpHost::errorText() const {
    return listener_->errorString();
}

void HttpHost::close() {
    listener_->close();
}

int HttpHost::clients() const {
    return listener_->clients();
}

QList<QPair<QString, QVariant>> HttpHost::streams() const {
    QList<QPair<QString, QVariant>> list;
    for (const ConnectionWatch* w : listener_->watches())
        if (w->isStream())
            list.append({w->address(), w->tag()});
    return list;
}

} // namespace web

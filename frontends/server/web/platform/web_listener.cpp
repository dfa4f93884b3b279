#include "frontends/server/web/platform/web_listener.h"

#include "frontends/server/web/platform/event_stream.h"
#include "frontends/server/web/platform/tls_credentials.h"

#include <QAbstractHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>

namespace web {

namespace {

// The library cannot answer a request it has not read to its end, and it
// reads every request whole, so these few refusals are the listener's own
// fixed texts.
QByteArray refusal(RequestMeter::Verdict verdict, const WebLimits& limits, int bodyCap) {
    QByteArray status, code;
    QString sentence;
    switch (verdict) {
    case RequestMeter::Verdict::HeadTooLarge:
        status = "431 Request Header Fields Too Large";
        code = "headers_too_large";
        sentence = QStringLiteral("The request line and header fields are over %1 bytes.")
                       .arg(limits.maxHead);
        break;
    case RequestMeter::Verdict::BodyTooLarge:
        status = "413 Payload Too Large";
        code = "body_too_large";
        sentence = QStringLiteral("The body is over %1 bytes.").arg(bodyCap);
        break;
    case RequestMeter::Verdict::Ambiguous:
        status = "400 Bad Request";
        code = "ambiguous_length";
        sentence = QStringLiteral("Give the body's length once: one Content-Length, and no "
                                  "Transfer-Encoding beside it.");
        break;
    case RequestMeter::Verdict::LengthRequired:
    case RequestMeter::Verdict::Fine:
        status = "411 Length Required";
        code = "length_required";
        sentence = QStringLiteral("Send the body with a Content-Length, not in chunks.");
        break;
    }
    const QByteArray body =
        QJsonDocument(QJsonObject{{QStringLiteral("error"), sentence},
                                  {QStringLiteral("code"), QString::fromLatin1(code)}})
            .toJson(QJsonDocument::Compact);
    return "HTTP/1.1 " + status +
           "\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

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

ConnectionWatch::ConnectionWatch(QTcpSocket* socket, WebListener& listener)
    : QObject(socket), socket_(socket), listener_(&listener), limits_(listener.limits()),
      meter_(limits_.maxHead, limits_.maxBody),
      name_(server::peerName(socket->peerAddress(), socket->peerPort())),
      address_(server::plainAddress(socket->peerAddress()).toString()) {
    setObjectName(QStringLiteral("web connection watch"));
    meter_.allowUpload(limits_.uploadRequest, limits_.maxUpload);
    listener.watches_.append(this);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (handshaking_)
            drop(QStringLiteral("TLS handshake not complete %1 s after the connection came")
                     .arg(limits_.requestMs / 1000.0));
        else if (stream_)
            drop(QStringLiteral("WebSocket handshake not complete in time"));
        else if (closing_)
            socket_->abort();
        else if (meter_.inRequest())
            drop(QStringLiteral("request not complete %1 s after its first byte")
                     .arg(limits_.requestMs / 1000.0));
        else
            drop(QStringLiteral("idle"));
    });
    if (auto* tls = qobject_cast<QSslSocket*>(socket_)) {
        handshaking_ = true;
        connect(tls, &QSslSocket::encrypted, this, [this] {
            handshaking_ = false;
            if (listener_)
                listener_->handOver(socket_, this);
            rearm();
        });
        // Until the library has it, the connection is the watch's to end.
        connect(tls, &QAbstractSocket::errorOccurred, this, [this, tls](auto error) {
            if (!handshaking_)
                return;
            // A client that gives up quietly (a browser's spare connection)
            // is no news for the log.
            if (error == QAbstractSocket::SslHandshakeFailedError)
                drop(QStringLiteral("TLS handshake failed: %1").arg(tls->errorString()));
            else
                socket_->deleteLater();
        });
        connect(tls, &QAbstractSocket::disconnected, this, [this] {
            if (handshaking_)
                socket_->deleteLater();
        });
    }
    connect(socket_, &QTcpSocket::readyRead, this, &ConnectionWatch::beforeLibrary);
    stall_.setSingleShot(true);
    connect(&stall_, &QTimer::timeout, this, [this] {
        drop(QStringLiteral("it does not read its answers (%1 bytes waiting, none taken for %2 s)")
                 .arg(socket_->bytesToWrite())
                 .arg(limits_.stallMs / 1000.0));
    });
    connect(socket_, &QTcpSocket::bytesWritten, this, [this] {
        stall_.stop();
        watchStall();
    });
    useful_.start();
    rearm();
}

ConnectionWatch::~ConnectionWatch() {
    if (listener_)
        listener_->watches_.removeOne(this);
}

ConnectionWatch* ConnectionWatch::of(QTcpSocket* socket) {
    return socket ? socket->findChild<ConnectionWatch*>(QStringLiteral("web connection watch"),
                                                        Qt::FindDirectChildrenOnly)
                  : nullptr;
}

void ConnectionWatch::beforeLibrary() {
    if (closing_)
        return;
    if (handshaking_) {
        greet();
        return;
    }
    const qint64 available = socket_->bytesAvailable();
    const qint64 fresh = available - unread_;
    if (fresh <= 0)
        return;
    // Of what the library has not read yet, the last bytes are new.
    const QByteArray bytes = socket_->peek(available);
    const bool was = meter_.inRequest();
    const int done = meter_.completed();
    const RequestMeter::Verdict verdict = meter_.feed(QByteArrayView(bytes).last(fresh));
    unread_ = available;
    if (verdict != RequestMeter::Verdict::Fine) {
        refuse(verdict);
        return;
    }
    // The library reads a request only once it is whole in the socket: an
    // upload's needs the room, the others' do not get it.
    socket_->setReadBufferSize(limits_.maxHead + meter_.bodyCap() + 32 * 1024);
    if (meter_.completed() != done)
        useful_.restart();
    if (meter_.inRequest() && (!was || meter_.completed() != done))
        requestStart_.start();
    rearm();
}

// Until its encryption starts, a TLS socket passes on what the client
// sends as it is: the first byte tells a TLS handshake from plain HTTP or
// anything else, which the TLS library would only answer with an alert.
void ConnectionWatch::greet() {
    auto* tls = static_cast<QSslSocket*>(socket_);
    char first = 0;
    if (tls->mode() != QSslSocket::UnencryptedMode || tls->peek(&first, 1) != 1)
        return;
    if (first != 0x16) // a TLS record of the handshake
        drop(QStringLiteral("not TLS"));
    else
        tls->startServerEncryption();
}

void ConnectionWatch::afterLibrary() {
    unread_ = socket_->bytesAvailable();
}

void ConnectionWatch::refuse(RequestMeter::Verdict verdict) {
    closing_ = true;
    if (listener_)
        emit listener_->dropped(name_, verdict == RequestMeter::Verdict::HeadTooLarge
                                           ? QStringLiteral("header fields too large")
                                       : verdict == RequestMeter::Verdict::BodyTooLarge
                                           ? QStringLiteral("body too large")
                                       : verdict == RequestMeter::Verdict::Ambiguous
                                           ? QStringLiteral("body length ambiguous")
                                           : QStringLiteral("chunked body refused"));
    socket_->write(refusal(verdict, limits_, meter_.bodyCap()));
    socket_->disconnectFromHost();
    // In case the refusal cannot leave.
    timer_.start(1000);
}

int ConnectionWatch::admit() {
    if (closing_)
        return -1;
    if (nextPlace_ - sent_ >= limits_.maxWaiting) {
        drop(QStringLiteral("more than %1 requests waiting").arg(limits_.maxWaiting));
        return -1;
    }
    ready_.emplace_back();
    const int place = nextPlace_++;
    rearm();
    return place;
}

void ConnectionWatch::answer(int place, std::function<void()> write) {
    if (closing_ || place < sent_ || place >= nextPlace_)
        return;
    ready_[place - sent_] = std::move(write);
    while (!ready_.empty() && ready_.front() && !closing_) {
        const std::function<void()> w = std::move(ready_.front());
        ready_.pop_front();
        ++sent_;
        w();
        useful_.restart();
    }
    watchStall();
    rearm();
}

// A large answer is no fault: one that does not move is.
void ConnectionWatch::watchStall() {
    if (closing_ || stream_ || socket_->bytesToWrite() <= limits_.maxUnsent)
        stall_.stop();
    else if (!stall_.isActive())
        stall_.start(limits_.stallMs);
}

void ConnectionWatch::becomeStream(const QVariant& tag) {
    stream_ = true;
    tag_ = tag;
    timer_.start(limits_.requestMs);
}

void ConnectionWatch::streamOpened() {
    timer_.stop();
    // The WebSocket answers a client's pings by itself: a client that sends
    // them without reading the answers would have them pile up here.
    connect(socket_, &QTcpSocket::readyRead, this, [this] {
        if (socket_->bytesToWrite() > limits_.maxUnsent)
            drop(QStringLiteral("it does not read"));
    });
}

void ConnectionWatch::drop(const QString& why) {
    if (closing_)
        return;
    closing_ = true;
    timer_.stop();
    stall_.stop();
    if (listener_)
        emit listener_->dropped(name_, why);
    socket_->abort();
    if (handshaking_)
        socket_->deleteLater();
}

void ConnectionWatch::rearm() {
    if (closing_ || stream_)
        return;
    if (handshaking_)
        timer_.start(limits_.requestMs);
    else if (meter_.inRequest())
        timer_.start(std::max<qint64>(0, limits_.requestMs - requestStart_.elapsed()));
    else if (nextPlace_ != sent_)
        timer_.stop(); // the answer is on its way: the core's time-out bounds it
    else
        timer_.start(limits_.idleMs);
}

// The library's server class: it hands whole requests over, answers the
// ones nobody takes, and hands upgraded connections to its WebSocket
// server.
class WebListener::Library : public QAbstractHttpServer {
public:
    explicit Library(WebListener& port) : port_(port) {}

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
            if (r.path != port_.streamPath)
                refusal = Response{404, {}, {}, {}};
            else if (port_.checkStream)
                refusal = port_.checkStream(r, tag);
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
        port_.onRequest(r, [guard, place, responder](const Response& response) {
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
    WebListener& port_;
};

// The socket the library binds to: it only gives the port each connection
// to judge before the library may see it.
class WebListener::Tcp : public QTcpServer {
public:
    Tcp(WebListener& port, QObject* parent) : QTcpServer(parent), port_(port) {
        setMaxPendingConnections(64);
    }
    void pass(QTcpSocket* socket) { addPendingConnection(socket); }

protected:
    void incomingConnection(qintptr descriptor) override { port_.accept(descriptor); }

private:
    WebListener& port_;
};

WebListener::WebListener(const WebLimits& limits, QObject* parent)
    : QObject(parent), limits_(limits), library_(std::make_unique<Library>(*this)),
      tcp_(new Tcp(*this, library_.get())) {
    connect(library_.get(), &QAbstractHttpServer::newWebSocketConnection, this,
            &WebListener::takeStreams);
}

WebListener::~WebListener() {
    // The streams before the connections under them.
    qDeleteAll(findChildren<EventStream*>(Qt::FindDirectChildrenOnly));
    for (ConnectionWatch* w : std::as_const(watches_))
        w->listener_ = nullptr;
}

void WebListener::takeStreams() {
    while (library_->hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = library_->nextPendingWebSocketConnection();
        ConnectionWatch* w = streamFrom(socket->peerAddress(), socket->peerPort());
        if (w)
            w->streamOpened();
        emit streamArrived(
            new EventStream(std::move(socket), limits_.maxUnsent, w ? w->tag() : QVariant(), this));
    }
}

bool WebListener::setCertificate(const QString& certFile, const QString& keyFile, QString* error) {
    const std::optional<QSslConfiguration> tls = readTlsCredentials(certFile, keyFile, error);
    if (tls)
        tls_ = tls;
    return tls.has_value();
}

QString WebListener::certificate() const {
    return tls_ ? describeCertificate(*tls_) : QString();
}

bool WebListener::listen(const QHostAddress& address, quint16 port) {
    if (!tcp_->listen(server::listenAddress(address), port))
        return false;
    library_->bind(tcp_);
    return true;
}

quint16 WebListener::port() const {
    return tcp_->serverPort();
}

QString WebListener::errorText() const {
    return tcp_->errorString();
}

void WebListener::close() {
    tcp_->close();
}

QList<QPair<QString, QVariant>> WebListener::streams() const {
    QList<QPair<QString, QVariant>> list;
    for (const ConnectionWatch* w : watches_)
        if (w->isStream())
            list.append({w->address(), w->tag()});
    return list;
}

ConnectionWatch* WebListener::streamFrom(const QHostAddress& address, quint16 port) const {
    for (ConnectionWatch* w : watches_)
        if (w->isStream() && w->socket()->peerPort() == port &&
            w->socket()->peerAddress() == address)
            return w;
    return nullptr;
}

int WebListener::from(const QString& address) const {
    return std::count_if(watches_.begin(), watches_.end(),
                         [&](const ConnectionWatch* w) { return w->address() == address; });
}

bool WebListener::makeRoom(const QString& address) {
    ConnectionWatch* longest = nullptr;
    for (ConnectionWatch* w : std::as_const(watches_))
        if (w->evictable() && (address.isEmpty() || w->address() == address) &&
            (!longest || w->uselessMs() > longest->uselessMs()))
            longest = w;
    if (!longest)
        return false;
    longest->drop(QStringLiteral("closed to make room for a new connection"));
    // Dropped at once; its watch goes with the socket, later.
    watches_.removeOne(longest);
    longest->listener_ = nullptr;
    return true;
}

void WebListener::accept(qintptr descriptor) {
    QTcpSocket* socket = tls_ ? new QSslSocket(tcp_) : new QTcpSocket(tcp_);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QString name = server::peerName(socket->peerAddress(), socket->peerPort());
    const QHostAddress peer = server::plainAddress(socket->peerAddress());
    QString why;
    server::Refusal reason = server::Refusal::Reset;
    if (peer.isNull()) {
        why = QStringLiteral("the client reset it before it was accepted");
    } else if (!server::allowedIn(peer, limits_.allow)) {
        why = QStringLiteral("address not allowed");
        reason = server::Refusal::Address;
    } else if (from(peer.toString()) >= limits_.maxPerAddress && !makeRoom(peer.toString())) {
        why = QStringLiteral("too many clients from this address (%1)").arg(limits_.maxPerAddress);
        reason = server::Refusal::PerAddress;
    } else if (watches_.size() >= limits_.maxClients && !makeRoom({})) {
        why = QStringLiteral("too many clients (%1)").arg(limits_.maxClients);
        reason = server::Refusal::Full;
    }
    if (!why.isEmpty()) {
        socket->abort();
        delete socket;
        emit refused(reason);
        emit dropped(name, why);
        return;
    }
    // The library keeps a request whole in the socket until it is complete:
    // this is the most the socket holds, the limits' worth and some.
    socket->setReadBufferSize(limits_.maxHead + limits_.maxBody + 32 * 1024);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    auto* watch = new ConnectionWatch(socket, *this);
    if (auto* tls = qobject_cast<QSslSocket*>(socket))
        tls->setSslConfiguration(*tls_); // the library gets it once encrypted
    else
        handOver(socket, watch);
}

void WebListener::handOver(QTcpSocket* socket, ConnectionWatch* watch) {
    // The watch meets each byte before the library (connected first) and
    // learns what the library left unread after it (connected last).
    tcp_->pass(socket);
    connect(socket, &QTcpSocket::readyRead, watch, &ConnectionWatch::afterLibrary);
}

} // namespace web

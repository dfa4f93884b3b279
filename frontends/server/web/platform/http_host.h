#pragma once

#include "frontends/server/web/platform/web_listener.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>

class QWebSocket;

namespace web {

// A whole HTTP request, as the web front end sees it.
struct Request {
    QByteArray method; // "GET", "PUT", ...; empty for a method the library does not know
    QString path;      // decoded, without the query
    QByteArray body;
    QHostAddress peer; // IPv4 addresses as such, not mapped into IPv6
    QList<QPair<QByteArray, QByteArray>> headers;
    bool tls = false;     // it came encrypted, on a TLS port
    QString rawPath = {}; // the path as sent, percent-encoded: a "/" in a name is no separator
    QString query = {};   // after the "?", as sent
    // It names a proxy's client (Forwarded, X-Forwarded-For): it never
    // counts as this machine's own, whatever peer says.
    bool proxied = false;
    // The first field of that name (any case), empty when there is none.
    QByteArray header(const QByteArray& name) const;
};

struct Response {
    int status = 200;
    QByteArray contentType; // none when empty
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
};

// Takes a request's response, once, at once or later.
using Answer = std::function<void(const Response&)>;

// One WebSocket client of the event stream. Deleted after gone().
class EventStream : public QObject {
    Q_OBJECT
public:
    EventStream(std::unique_ptr<QWebSocket> socket, qint64 maxUnsent, const QVariant& tag,
                QObject* parent);
    ~EventStream() override;
    QHostAddress peer() const { return peer_; }
    QString name() const { return name_; }
    // What the check of its upgrade said of the client.
    QVariant tag() const { return tag_; }
    // Closes it (gone() follows): the client may no longer listen.
    void close(const QString& why);
    // Queues one text message. A client with more than the limit waiting
    // for it is dropped (gone() follows).
    void send(const QString& text);

signals:
    void gone(const QString& why);

private:
    void end(const QString& why, bool abort);

    std::unique_ptr<QWebSocket> socket_;
    qint64 maxUnsent_;
    QHostAddress peer_;
    QString name_;
    QVariant tag_;
    bool done_ = false;
};

// The web port: Qt HTTP Server (a technical preview in Qt 6.4) and its
// WebSocket upgrade, on the limits of a WebListener. Nothing else in the
// program sees the library.
class HttpHost : public QObject {
    Q_OBJECT
public:
    explicit HttpHost(const WebLimits& limits, QObject* parent = nullptr);
    ~HttpHost() override;

    // TLS for the connections to come with this certificate (PEM, any
    // intermediate certificates after it) and its private key (PEM, without
    // a passphrase). False with the reason, and nothing changed, when a file
    // cannot be read or the key is not the certificate's. Connections made
    // before keep the certificate they were made with.
    bool setCertificate(const QString& certFile, const QString& keyFile, QString* error);
    // The certificate served, for the log; empty without TLS.
    QString certificate() const;

    // False with the reason in errorText().
    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const;
    QString errorText() const;
    // Stops accepting; connected clients stay.
    void close();
    int clients() const;
    // The event streams, open or opening: each one's client address and
    // tag.
    QList<QPair<QString, QVariant>> streams() const;

    // Every whole request but the upgrades to the event stream: answer
    // exactly once, now or later.
    std::function<void(const Request&, const Answer&)> onRequest;
    // The path of the event stream, and the check of a client that asks
    // for it: nothing to let it in (and what to tag its stream with), else
    // the refusal.
    QString streamPath;
    std::function<std::optional<Response>(const Request&, QVariant& tag)> checkStream;

signals:
    void streamArrived(web::EventStream* stream);
    // A connection closed by the port's limits: who and why, for the log.
    void dropped(const QString& name, const QString& why);
    // A connection closed at once, for the counts.
    void refused(server::Refusal reason);

private:
    class Server;
    WebListener* listener_; // owned by server_ once bound
    std::unique_ptr<Server> server_;
};

} // namespace web

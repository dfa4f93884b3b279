#pragma once

#include "frontends/server/listener.h"
#include "frontends/server/web/http_message.h"
#include "frontends/server/web/request_meter.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QSslConfiguration>
#include <QTimer>
#include <QVariant>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QTcpSocket;

namespace web {

// The limits the web port keeps, whatever the HTTP library does.
struct WebLimits {
    int maxClients = 32;
    int maxPerAddress = 8;       // so that one address cannot fill the port; loopback counts too
    QList<server::Subnet> allow; // besides the loopback addresses, always allowed
    int maxHead = 16 * 1024;     // request line and header fields
    int maxBody = 16 * 1024;
    // The one request that carries a whole backup to restore, and its cap:
    // a backup of a hundred scenes at their largest is some 200 kB.
    QByteArray uploadRequest = "POST /api/v1/jobs";
    int maxUpload = 256 * 1024;
    int requestMs = 10000;          // from a request's first byte to its last
    int idleMs = 60000;             // a kept-alive connection with nothing to do
    qint64 maxUnsent = 1024 * 1024; // answers or events a client does not read
    int stallMs = 30000;            // more than maxUnsent waiting, and no byte taken
    int maxWaiting = 8;             // requests in a row waiting for their answers
    // Event streams are never closed to make room, so their own caps keep
    // room for plain requests and sign-ins: per address, per user or token.
    int maxStreamsPerAddress = 4;
    int maxStreamsPerCaller = 8;
};

class EventStream;
class WebListener;

// One HTTP connection's watch, a child of its socket (so that it lives as
// long as the socket, whoever ends up owning it). It meters every request
// before the library reads it, closes the connection when a request is too
// large, too slow or one too many is waiting, or when it has been idle too
// long, and sends the answers in the order of the requests. On a TLS port it
// also sees the handshake through, within the request time, before the
// library gets the connection: the library then reads decrypted bytes only,
// and so does the meter.
class ConnectionWatch : public QObject {
    Q_OBJECT
public:
    // Before the library takes the socket, so that the watch sees its bytes
    // first.
    ConnectionWatch(QTcpSocket* socket, WebListener& listener);
    ~ConnectionWatch() override;

    static ConnectionWatch* of(QTcpSocket* socket);

    // A request reached the library's handler: its answer's place in the
    // order, or -1 when the connection is closing (the request is to be
    // ignored).
    int admit();
    // The answer for a place taken by admit(): write() runs when every
    // earlier answer has gone, and only while the connection is open.
    void answer(int place, std::function<void()> write);

    // The connection became a WebSocket: the library's WebSocket server now
    // reads it. Its handshake must end within the request time. tag: what
    // the check of the upgrade said of the client, for its stream.
    void becomeStream(const QVariant& tag);
    QVariant tag() const { return tag_; }
    // The WebSocket handshake ended well: from now on the watch only minds
    // what waits for the client.
    void streamOpened();

    bool isStream() const { return stream_; }
    // Neither waiting for an answer nor a stream: it may make room for a
    // newcomer when the listener is full.
    bool evictable() const { return !stream_ && nextPlace_ == sent_; }
    // Since the last request completed or answer left (or the connection
    // came): whom to drop first to make room.
    qint64 uselessMs() const { return useful_.elapsed(); }
    QTcpSocket* socket() const { return socket_; }
    QString name() const { return name_; }
    // The client's address as text, for the cap per address.
    QString address() const { return address_; }

    // Closes at once (when a limit is broken, or to make room).
    void drop(const QString& why);

private:
    void watchStall();
    friend class WebListener;
    void beforeLibrary();
    void afterLibrary();
    void greet();
    void refuse(RequestMeter::Verdict verdict);
    void rearm();

    QTcpSocket* socket_;
    WebListener* listener_; // null once the listener has gone
    WebLimits limits_;
    RequestMeter meter_;
    QString name_;
    QString address_;
    QTimer timer_;
    QTimer stall_; // runs while more than maxUnsent of answers waits
    QElapsedTimer requestStart_;
    QElapsedTimer useful_;
    qint64 unread_ = 0; // bytes the library left in the socket after its turn
    bool closing_ = false;
    bool stream_ = false;
    QVariant tag_;
    bool handshaking_ = false;                // TLS: the library has not got the connection yet
    int nextPlace_ = 0;                       // places given by admit()
    int sent_ = 0;                            // answers written, in order
    std::deque<std::function<void()>> ready_; // answers from place sent_ on
};

// The web port: a TCP listener bound to Qt HTTP Server (a technical preview
// in Qt 6.4) and its WebSocket upgrade. Nothing else in the program sees the
// library. Only connections from allowed addresses reach the library, each
// with its watch. Beyond a cap (all clients, or those of one address), a
// newcomer takes the place of the connection (of its address) idle longest
// that waits for no answer and is no event stream; without one, it is
// refused. A browser keeps several connections open: this way an idle one
// never keeps anybody out.
class WebListener : public QObject {
    Q_OBJECT
public:
    explicit WebListener(const WebLimits& limits, QObject* parent = nullptr);
    ~WebListener() override;
    const WebLimits& limits() const { return limits_; }

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
    int clients() const { return watches_.size(); }
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
    // A connection refused or closed by the listener: who and why, for the
    // log.
    void dropped(const QString& name, const QString& why);
    // A connection closed at once (dropped() follows), for the counts.
    void refused(server::Refusal reason);

private:
    class Library;
    class Tcp;
    friend class ConnectionWatch;
    void accept(qintptr descriptor);
    // The watch of the stream from this peer, while its handshake runs.
    ConnectionWatch* streamFrom(const QHostAddress& address, quint16 port) const;
    void takeStreams();
    // Drops the connection idle longest, of one address or of any (empty);
    // false when none may go.
    bool makeRoom(const QString& address);
    int from(const QString& address) const;
    void handOver(QTcpSocket* socket, ConnectionWatch* watch);

    WebLimits limits_;
    std::optional<QSslConfiguration> tls_;
    QList<ConnectionWatch*> watches_;
    std::unique_ptr<Library> library_;
    Tcp* tcp_; // owned by library_
};

} // namespace web

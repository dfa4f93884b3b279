#include "frontends/server/web/platform/event_stream.h"

#include "frontends/server/listener.h"

#include <QWebSocket>

namespace web {

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

} // namespace web

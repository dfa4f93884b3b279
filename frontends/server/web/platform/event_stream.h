#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QVariant>
#include <memory>

class QWebSocket;

namespace web {

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

} // namespace web

#pragma once

#include "sim/wire_pacer.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

namespace sim {

// The line between the program and the simulated switcher as a serial
// device server gives it: raw TCP on 127.0.0.1 only, one client at a time.
// A second client while one is connected is accepted and closed at once, as
// a converter whose port is in use does; the first keeps its connection.
//
// Paced, it keeps the same 9600-baud timing as the pseudo-terminal
// (WirePacer): what the server hands on has crossed the serial wire.
class TcpTransport : public QObject {
    Q_OBJECT
public:
    explicit TcpTransport(QObject* parent = nullptr);
    ~TcpTransport() override;

    // Listens on 127.0.0.1:port (0: a free port the system picks); false
    // with a message.
    bool start(quint16 port, QString* error);
    quint16 port() const { return server_.serverPort(); }
    // "127.0.0.1:PORT".
    QString address() const;
    bool hasClient() const { return client_ != nullptr; }
    // Closes the client's connection, as a server that is restarted does;
    // keeps listening.
    void hangUp();

    // Sends bytes to the program (paced or at once); dropped without a client.
    void send(const QByteArray& bytes);
    void setPaced(bool on) { paced_ = on; }
    bool paced() const { return paced_; }

    // Received bytes, as they arrive (or as they finish crossing the wire).
    std::function<void(const QByteArray&)> onReceive;
    // A client came, left or was turned away: one line for the console.
    std::function<void(const QString&)> onEvent;

private:
    void onNewConnection();
    void onReadable();
    void onClientGone();
    // Detaches the client's socket and says how it went; null without one.
    QTcpSocket* forgetClient(const QString& how);
    void writeNow(const QByteArray& bytes);
    void tell(const QString& line);

    QTcpServer server_;
    QPointer<QTcpSocket> client_;
    QString clientName_;
    bool paced_ = false;
    WirePacer pacer_;
};

} // namespace sim

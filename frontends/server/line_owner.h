#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

namespace platform {
class Platform;
}
namespace seriallink {
class Connection;
}
namespace device {
class LeaseRequest;
class Switcher;
struct RequestResult;
} // namespace device

namespace server {

class RouterState;

// The one owner of the switcher's line. It opens the port (again after a
// loss: after 1 s, doubling to 30 s), asks for the routing (the status request) at
// every connect and poll, feeds every routing report into the RouterState,
// and hands the commands of every client to the core's request queue,
// which writes them one at a time.
//
// Line-port clients, named by a number above 0, hand in whole lines. A mode
// word (a mode's entry word, wherever in the line the switcher would act on
// it) takes a lease: until the client's exit word,
// its departure or 30 s without a line from it, only its lines go out and
// only it receives what the switcher says; everything else waits, the
// owner's polls included. A lease that ends without its exit word gets it
// from the owner.
class LineOwner : public QObject {
    Q_OBJECT
public:
    using ClientId = quint64; // 0: the owner itself and the Videohub clients

    // The times it keeps (tests shorten them before start()).
    struct Times {
        int firstRetryMs = 1000;
        int lastRetryMs = 30000;
        int statusWaitMs = 2000; // for the answer to the status request
        int leaseIdleMs = 30000;
    };

    // port: COM1..COM10, a device path or tcp://HOST:PORT, resolved again at
    // every connect. pollSeconds 0: no polling.
    LineOwner(platform::Platform& platform, RouterState& state, const QString& port,
              int pollSeconds, QObject* parent = nullptr);
    ~LineOwner() override;

    Times times;

    void start();
    // Leaves a mode a lease holds, then closes the port; stopped() follows
    // once the exit word had time to leave.
    void stop();

    // A whole line (line end included) or a flushed partial one from a
    // line-port client.
    void submit(ClientId client, const QByteArray& line);
    // The client left: its waiting lines are dropped and its lease ends.
    void clientGone(ClientId client);

    // Lines a line client may have waiting for their turn.
    static constexpr int kMaxWaitingLines = 64;
    // Bytes the port may hold, not yet on the wire: about a second of it.
    static constexpr qint64 kMaxUnsent = 1024;

    // A client's lines waiting for their turn on the line.
    int waiting(ClientId client) const;
    // The client may hand in another line: few of its own wait, and the
    // port is not behind. A line that finishes is written at once, and
    // only the port then holds it, so both are counted.
    bool hasRoomFor(ClientId client) const;
    ClientId leaseHolder() const { return holder_; }
    bool isOpen() const;
    // Times the port opened again after it was open and lost.
    quint64 reconnects() const { return reconnects_; }
    seriallink::Connection& connection();
    // The core on the line, for the backups and restores, which queue
    // their own requests and device modes.
    device::Switcher& switcher() { return *switcher_; }

signals:
    // Bytes the switcher sent, for one line-port client, or for all when
    // client is 0.
    void switcherSaid(server::LineOwner::ClientId client, const QByteArray& bytes);
    // A line went out, or will not, or the port sent some of what it held:
    // hasRoomFor() may say yes again.
    void room();
    // One line for the log: the port opened, failed or was lost.
    void event(const QString& line);
    // A line that went out, for the traffic log (-v).
    void traffic(const QString& line);
    void stopped();

private:
    void open();
    void onOpened();
    void onLost(const QString& why);
    void scheduleRetry();
    void onSwitcherText(const QString& text);
    // Queues a line for the switcher on behalf of a client; then() runs
    // once it was written (or could not be).
    void send(int client, const QByteArray& line,
              std::function<void(const device::RequestResult&)> then = {});
    // The line went out: a mode word in it starts the client's lease (lease
    // is the request that holds the line for it), its exit word ends it.
    void written(ClientId client, const QByteArrayList& words, device::LeaseRequest* lease);
    void endLease(bool sendExit);
    void poll();
    // The status request; again: the second of a poll whose first went
    // unanswered.
    void askStatus(bool again);

    platform::Platform& platform_;
    RouterState& state_;
    QString port_;
    std::unique_ptr<device::Switcher> switcher_;
    QTimer retry_;
    bool statusPending_ = false;
    QTimer poll_;
    QTimer leaseIdle_;
    int retryMs_ = 0;
    bool failureLogged_ = false;
    bool everOpened_ = false;
    quint64 reconnects_ = 0;
    bool stopping_ = false;
    ClientId holder_ = 0;
    QByteArray exitWord_; // of the lease held
    QPointer<device::LeaseRequest> lease_;
};

} // namespace server

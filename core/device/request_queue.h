#pragma once

#include "core/device/requests.h"

#include <QObject>
#include <deque>
#include <map>

namespace platform {
class Platform;
}

namespace device {

class Switcher;

// The one line to the switcher, shared: requests go out one at a time, each
// when the one before it has finished. Several clients (the command-line
// tool, each client of a server) may submit; a client is any number the
// front end picks, 0 meaning nobody in particular. Each client's requests go
// out in the order it submitted them, and the clients take turns: a client
// with a hundred requests waiting holds up another's next one by one
// request at most.
//
//   submit(request, client)  queues a request; it starts at once when the
//                            line is free (its command is written before
//                            submit() returns), else when its turn comes.
//                            Connect to its finished() right after submit():
//                            a request that cannot wait (the port is closed)
//                            may already be over, check isDone().
//   hold(client)             a lease for one client (a mode session: the
//                            device is in a mode, and only that client's
//                            commands make sense). While held, only the
//                            holder's requests go out; everyone else's wait,
//                            in order, and go after release(client).
//                            A request already running finishes first.
//   drop(client)             a client went away: its waiting requests are
//                            removed, its running one ends as Cancelled, its
//                            lease is released.
//   routingReported(o, i)    every routing report, asked for or not (another
//                            client's request, the front panel, a window).
//
// Replies reach the running request only when they arrive after its command
// was written: the queue starts a request between two reply lines, never
// while one is being handed out, so the line that finished one request is
// never taken by the next. Nothing waits here: the requests' time-outs run
// on the platform's timers.
class RequestQueue : public QObject {
    Q_OBJECT
public:
    RequestQueue(Switcher& sw, platform::Platform& platform);
    ~RequestQueue() override;

    // Takes ownership. Returns the request, for connecting to finished().
    template <typename R> R* submit(R* request, int client = 0) {
        enqueue(request, client);
        return request;
    }

    void hold(int client);
    void release(int client);
    bool isHeld() const { return held_; }
    int holder() const { return holder_; }
    void drop(int client);

    // The request on the line, or null.
    Request* current() const { return current_; }
    // Requests waiting for their turn: all, or one client's.
    int waiting() const { return waitingCount_; }
    int waiting(int client) const;

signals:
    // Output 1..8 reported input 1..8 (0: dark).
    void routingReported(int output, int input);
    // IR output 1..8 reported IR input 1..8.
    void irRoutingReported(int output, int input);
    // Nothing runs and nothing that may go out waits.
    void idle();

private:
    void enqueue(Request* request, int client);
    void onReply(const protocol::Reply& r);
    void onRaw(const QString& text);
    void onFinished();
    // Starts the next request that may go out, unless one runs or a reply
    // is being handed out.
    void pump();
    bool mayGo(int client) const { return !held_ || client == holder_; }
    void remove(int client);

    Switcher& sw_;
    platform::Platform& platform_;
    // Each client's waiting requests, oldest first, and the clients in the
    // order of their turns.
    std::map<int, std::deque<Request*>> waiting_;
    std::deque<int> turns_;
    int waitingCount_ = 0;
    int lastServed_ = 0;
    Request* current_ = nullptr;
    bool held_ = false;
    int holder_ = 0;
    bool delivering_ = false;
    bool pumping_ = false;
};

} // namespace device

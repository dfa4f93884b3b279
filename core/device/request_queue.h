#pragma once

#include "core/device/requests.h"

#include <QObject>
#include <deque>

namespace platform {
class Platform;
}

namespace device {

class Switcher;

// The one line to the switcher, shared: requests go out one at a time, in
// the order they were submitted, each when the one before it has finished.
// Several clients (the command-line tool, each connection of a server) may
// submit; a client is any number the front end picks, 0 meaning nobody in
// particular.
//
//   submit(request, client)  queues a request; it starts at once when the
//                            line is free (its command is written before
//                            submit() returns), else after those before it.
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
    // Requests waiting for their turn.
    int waiting() const { return static_cast<int>(waiting_.size()); }

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
    bool mayGo(const Request& r) const { return !held_ || r.client() == holder_; }

    Switcher& sw_;
    platform::Platform& platform_;
    std::deque<Request*> waiting_;
    Request* current_ = nullptr;
    bool held_ = false;
    int holder_ = 0;
    bool delivering_ = false;
    bool pumping_ = false;
};

} // namespace device

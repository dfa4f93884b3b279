#pragma once

#include "core/device/requests.h"

#include <QElapsedTimer>
#include <QObject>
#include <deque>
#include <map>

namespace platform {
class Platform;
}

namespace device {

class Switcher;

// The one line to the switcher, shared: every exchange with it is a request
// submitted here, and only the request on the line may write (the queue
// lends it the switcher's Wire). Requests go out one at a time, each when
// the one before it has finished. Several clients (the window, the
// command-line tool, each client of a server) may submit; a client is any
// number the front end picks, 0 meaning nobody in particular. Each client's
// requests go out in the order it submitted them, and the clients take
// turns: a client with a hundred requests waiting holds up another's next
// one by one request at most.
//
//   submit(request, client)  queues a request; it starts at once when the
//                            line is free (its command is written before
//                            submit() returns), else when its turn comes.
//                            Connect to its finished() right after submit():
//                            a request that cannot wait (the port is closed)
//                            may already be over, check isDone().
//   cancel(request)          ends one request as Cancelled, waiting or not.
//   drop(client)             a client went away: its waiting requests are
//                            removed, its running one and its session end
//                            as Cancelled.
//   routingReported(o, i)    every routing report, asked for or not (another
//                            client's request, the front panel, a window).
//   answered(ns)             a request the switcher answered ended well: the
//                            time from its start to its end.
//
// A request may keep the line after its own exchange (Request::holdLine(): a
// mode session, a line-port client's lease): until it finishes, only its
// client's requests go out, one at a time inside it, and everyone else's
// wait in order. A request already running when it starts finishes first,
// so a route never goes out in the middle of a mode's commands.
//
// Replies reach the running request (or, between its client's requests,
// the session) only when they arrive after its command was written: the
// queue starts a request between two reply lines, never while one is being
// handed out, so the line that finished one request is never taken by the
// next. Nothing waits here: the requests' time-outs run on the platform's
// timers.
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

    void cancel(Request* request);
    void drop(int client);

    // A session keeps the line, and whose client it is.
    bool isHeld() const { return session_ != nullptr; }
    int holder() const;
    // The request on the line, or null; the session holding it, or null.
    Request* current() const { return current_; }
    Request* session() const { return session_; }
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
    // The request on the line had an answer from the switcher and ended
    // well, this long after it started: how quickly the switcher answers,
    // for whoever watches it. Requests that only write, and the time a
    // session holds the line, are not answers.
    void answered(qint64 nanoseconds);

private:
    friend class Request;
    // The running request r keeps the line after its exchange.
    void hold(Request* r);

    void enqueue(Request* request, int client);
    void onReply(const protocol::Reply& r);
    void onRaw(const QString& text);
    void onFinished();
    // The request replies and raw text go to: the running one, else the
    // session between its client's requests.
    Request* listener() const { return current_ ? current_ : session_; }
    // Hands a reply or raw text to the listener; a template, as it runs
    // for every line the switcher sends.
    template <typename Hand> void deliver(const Hand& hand);
    // Starts the next request that may go out, unless one runs or a reply
    // is being handed out.
    void pump();
    bool mayGo(int client) const;
    void remove(int client);
    // The wire is lent while something is on the line.
    void lend();

    Switcher& sw_;
    platform::Platform& platform_;
    // Each client's waiting requests, oldest first, and the clients in the
    // order of their turns.
    std::map<int, std::deque<Request*>> waiting_;
    std::deque<int> turns_;
    int waitingCount_ = 0;
    int lastServed_ = 0;
    Request* current_ = nullptr;
    Request* session_ = nullptr;
    bool delivering_ = false;
    QElapsedTimer started_; // the running request's start
    bool replied_ = false;  // something came for the running request
    bool pumping_ = false;
};

} // namespace device

#pragma once

#include "core/protocol/model.h"
#include "core/protocol/replies.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QStringList>

namespace platform {
class Timer;
}
namespace seriallink {
class Wire;
}

namespace device {

class RequestQueue;
class Switcher;

// How a request ended.
enum class RequestError {
    None,
    TimedOut,    // its answer did not come (all of it) within the time-out
    DeviceError, // the device answered "err"
    NotWritten,  // the port was closed or the write failed
    Mismatch,    // a report came, naming another input than the one asked for
    Cancelled,   // dropped before it was done (its client went away)
};

// What a request learned. Which fields are filled depends on the request.
struct RequestResult {
    RequestError error = RequestError::None;
    bool ok() const { return error == RequestError::None; }
    // Routing requests: the input (from 1) each of the model's outputs
    // reported (index output - 1), 0 for a dark output; seen says which
    // reported at all. Sized when the request starts.
    QList<int> inputs;
    QList<bool> seen;
    // Mismatch: the output that reported another input, and that input.
    int output = 0;
    int input = 0;
    // The device acknowledged the command with "Ack" instead of reports;
    // the reports are then those of a status request sent after it.
    bool acknowledged = false;
    // SendRequest: every line and raw text that came back, terminators
    // removed, empty ones left out.
    QStringList received;
    // SendRequest: the line was still talking when the time-out or the cap
    // on what is kept ended the gathering; received holds what came.
    bool cutShort = false;
};

// One exchange with the switcher: it writes its command and ends on its
// rule (the reports it waits for, "Ack", "err" or its time-out), emitting
// finished() exactly once with a typed result. A RequestQueue runs it: the
// queue starts it when its turn comes and hands it only the replies that
// arrive after its command was written, so an answer to something earlier
// is never taken for its own.
//
// A request belongs to the queue once submitted; it is deleted after
// finished() (later, from the event loop), so whoever keeps its pointer
// keeps it only until then.
class Request : public QObject {
    Q_OBJECT
public:
    // timeoutMs 0: no answer timer (a request that ends by itself).
    explicit Request(int timeoutMs) : timeoutMs_(timeoutMs) {}

    // Who submitted it (0: nobody in particular); see RequestQueue::hold().
    int client() const { return client_; }
    bool isDone() const { return done_; }
    bool isStarted() const { return started_; }
    const RequestResult& result() const { return result_; }
    int timeoutMs() const { return timeoutMs_; }

signals:
    void finished(const device::RequestResult& result);

protected:
    // Writes the command; the answer timer already runs. Calls finish()
    // itself when there is nothing to wait for.
    virtual void begin() = 0;
    // A reply line (the routing state and the features have seen it).
    virtual void reply(const protocol::Reply& r);
    // Bytes the connection passed on without a terminator.
    virtual void raw(const QString&) {}
    virtual void timedOut() { finish(RequestError::TimedOut); }

    void finish(RequestError error = RequestError::None);
    // Restarts the answer timer (a second command went out).
    void restartTimer();
    void stopTimer();
    // Ends as NotWritten when the write failed; returns written.
    bool written(bool written);
    // Keeps the line once begun, until finished: only this request's
    // client's requests go out meanwhile (a mode session, a lease).
    void holdLine();

    Switcher& sw() const { return *switcher_; }
    // The switcher's wire, lent while this request is on the line.
    seriallink::Wire& wire() const { return *wire_; }
    RequestResult result_;

private:
    friend class RequestQueue;
    void start(Switcher& sw, seriallink::Wire& wire, platform::Timer* timer);

    Switcher* switcher_ = nullptr;
    seriallink::Wire* wire_ = nullptr;
    RequestQueue* queue_ = nullptr;
    platform::Timer* timer_ = nullptr;
    int timeoutMs_;
    int client_ = 0;
    bool started_ = false;
    bool done_ = false;
};

// Status, route, all outputs, preset recall: the routing and its status. Done when the
// reports it waits for have come: the one output of a route, all eight
// otherwise. A route or all-outputs request whose report names another
// input than the one asked for ends as Mismatch. All outputs and preset
// recall also succeed when the switcher answers "Ack" instead of reports:
// they then send a status request and take its reports.
class RoutingRequest : public Request {
    Q_OBJECT
public:
    enum class Kind { Status, Route, AllOutputs, PresetRecall };
    // output, input, preset: from 1, as an operator counts them.
    static RoutingRequest* status(int timeoutMs);
    static RoutingRequest* route(int output, int input, int timeoutMs);
    static RoutingRequest* allOutputs(int input, int timeoutMs);
    static RoutingRequest* presetRecall(int preset, int timeoutMs);

    Kind kind() const { return kind_; }
    // The route's output, the recall's preset; the input of a route or all
    // outputs.
    int number() const { return number_; }
    int input() const { return input_; }
    // The command it writes to a switcher of that model, without its line
    // end, for messages.
    QString commandText(const protocol::Model& model) const;

protected:
    void begin() override;
    void reply(const protocol::Reply& r) override;

private:
    RoutingRequest(Kind kind, int number, int input, int timeoutMs);
    void reported(int output);

    Kind kind_;
    int number_; // the output of a route, the preset of a recall
    int input_;  // the input of a route or all outputs
    bool askedStatus_ = false;
};

// Preset save, the automatic and the fixed address: a command the device
// acknowledges with "Ack".
class AckRequest : public Request {
    Q_OBJECT
public:
    static AckRequest* presetSave(int preset, int timeoutMs);
    static AckRequest* autoAddress(int timeoutMs);
    // address: a dotted text, as network::fixedAddressCommand() takes it.
    static AckRequest* fixedAddress(const QString& address, int timeoutMs);

    // The command it writes to a switcher of that model, without CR LF, for
    // messages.
    QString commandText(const protocol::Model& model) const;

protected:
    void begin() override;
    void reply(const protocol::Reply& r) override;

private:
    enum class Kind { PresetSave, AutoAddress, FixedAddress };
    AckRequest(Kind kind, int preset, const QString& address, int timeoutMs);
    Kind kind_;
    int preset_;
    QString address_;
};

// The terminal: bytes written as they are; every line (and raw text) that
// comes back is collected until the line has been quiet for quietMs after
// the last one. Nothing at all within the time-out: TimedOut. "err" is an
// answer like any other here.
// Gathers for at most its time-out in all: a line that keeps talking ends
// it with what came (cutShort), as does reaching kMaxKept lines or
// kMaxKeptBytes characters.
class SendRequest : public Request {
    Q_OBJECT
public:
    static constexpr int kQuietMs = 100;
    static constexpr int kMaxKept = 10000;
    static constexpr qsizetype kMaxKeptBytes = 1 << 20;
    SendRequest(const QByteArray& bytes, int timeoutMs, int quietMs = kQuietMs);

signals:
    // One more line or raw text came back (terminators removed).
    void received(const QString& text);

protected:
    void begin() override;
    void reply(const protocol::Reply& r) override;
    void raw(const QString& text) override;
    void timedOut() override;

private:
    void take(const QString& text);
    QByteArray bytes_;
    qsizetype kept_ = 0;
    int quietMs_;
    platform::Timer* quiet_ = nullptr;
};

// IR route: the IR status request first (as the IR routing window does on
// opening), then the IR routing button's command once the output's report came. The device reports
// only outputs whose input changes, so a route to the input the output already carries is done at
// once; else its report must name the input (else Mismatch).
class IrRouteRequest : public Request {
    Q_OBJECT
public:
    // output, input: 1..8.
    IrRouteRequest(int output, int input, int timeoutMs);

protected:
    void begin() override;
    void reply(const protocol::Reply& r) override;

private:
    int out0_;
    int in0_;
    bool routed_ = false;
};

// IR status: the IR status request, done once every IR output of the model
// has reported; result.inputs holds each IR output's IR input (from 1).
class IrStatusRequest : public Request {
    Q_OBJECT
public:
    explicit IrStatusRequest(int timeoutMs) : Request(timeoutMs) {}

protected:
    void begin() override;
    void reply(const protocol::Reply& r) override;
};

// One line written whole, as a client gave it (a line-port proxy): done
// once written; whatever comes back goes to whoever listens to the
// connection.
class RawLineRequest : public Request {
    Q_OBJECT
public:
    explicit RawLineRequest(const QByteArray& bytes) : Request(0), bytes_(bytes) {}

protected:
    void begin() override;

private:
    QByteArray bytes_;
};

// A line-port client's line that puts the switcher in a mode: written
// whole, and then the client keeps the line (holdLine()) until end(), so
// that nobody else's command reaches the switcher while it is in the mode.
// Inside a lease already held, it is a plain line.
class LeaseRequest : public Request {
    Q_OBJECT
public:
    explicit LeaseRequest(const QByteArray& bytes) : Request(0), bytes_(bytes) {}
    // Whether it took the line (rather than going out inside a lease).
    bool holding() const { return holding_; }
    // Writes the last bytes of the lease (the mode's exit word; none when
    // empty), then gives the line back. Returns whether they were written.
    bool end(const QByteArray& last = {});

signals:
    // It took the line: the line went out and the lease began.
    void leased();

protected:
    void begin() override;
    void reply(const protocol::Reply&) override {}

private:
    QByteArray bytes_;
    bool holding_ = false;
};

// A command the windows write without waiting on an answer (the reports
// come back to whoever watches the routing): done once written, with the
// window's own check around the write.
class WriteRequest : public Request {
    Q_OBJECT
public:
    enum class Check {
        None,     // a failed write goes unreported
        Reported, // a failed write is reported
        Guarded,  // the port-open guard first, a failed write unreported
    };
    WriteRequest(const QByteArray& bytes, Check check) : Request(0), bytes_(bytes), check_(check) {}
    // The command text followed by CR LF.
    static WriteRequest* line(const QString& text, Check check);

protected:
    void begin() override;

private:
    QByteArray bytes_;
    Check check_;
};

} // namespace device

// The commands answered at once, outside any device mode: the routing and
// its status, the presets, the terminal, IR routing and the network address.

#include "core/device/request_queue.h"
#include "core/device/switcher.h"
#include "frontends/cli/operation.h"
#include "frontends/cli/output.h"

#include <QJsonArray>

namespace cli {

namespace {

using device::RequestError;
using device::RequestResult;

// A command the device owes an answer within the time-out: one request of
// the core's queue, whose rule says when it is answered; this prints what
// it learned.
class RequestOperation : public Operation {
public:
    using Operation::Operation;

    void start() override {
        device::Request* r = c_.device.requests().submit(makeRequest());
        if (r->isDone())
            return ended(r->result());
        connect(r, &device::Request::finished, this, &RequestOperation::ended);
    }

protected:
    virtual device::Request* makeRequest() = 0;
    virtual void done(const RequestResult& r) = 0;
    virtual void timedOut(const RequestResult& r) = 0;
    virtual void mismatch(const RequestResult&) {}
    const Command& cmd() const { return c_.command; }

private:
    void ended(const RequestResult& r) {
        switch (r.error) {
        case RequestError::None:
            return done(r);
        case RequestError::TimedOut:
            return timedOut(r);
        case RequestError::DeviceError:
            return fail(QStringLiteral("the device answered \"err\""));
        case RequestError::Mismatch:
            return mismatch(r);
        case RequestError::NotWritten:
        case RequestError::Cancelled:
            // The connection has reported why already.
            return fail(QStringLiteral("cannot write to %1").arg(c_.port));
        }
    }
};

// status, route, all, preset recall: a command the device answers with
// routing reports (or, for all and preset recall, with "Ack", after which
// the request asks for the status).
class RoutingOperation : public RequestOperation {
public:
    using RequestOperation::RequestOperation;

private:
    device::Request* makeRequest() override {
        const int ms = cmd().timeoutMs;
        switch (cmd().verb) {
        case Verb::Route:
            return device::RoutingRequest::route(cmd().output, cmd().input, ms);
        case Verb::All:
            return device::RoutingRequest::allOutputs(cmd().input, ms);
        case Verb::PresetRecall:
            return device::RoutingRequest::presetRecall(cmd().preset, ms);
        default:
            return device::RoutingRequest::status(ms);
        }
    }

    void done(const RequestResult& r) override {
        if (cmd().verb == Verb::Route) {
            if (cmd().json)
                c_.console.json({{"output", cmd().output}, {"input", cmd().input}});
            return finish(kDone);
        }
        print(r.inputs);
        finish(kDone);
    }

    void mismatch(const RequestResult& r) override {
        fail(QStringLiteral("output %1 reports input %2, not %3")
                 .arg(r.output)
                 .arg(r.input)
                 .arg(cmd().input));
    }

    void print(const Outputs& outputs) {
        if (cmd().json) {
            QJsonObject o{{"outputs", outputsJson(outputs)}};
            if (cmd().verb == Verb::All)
                o.insert("input", cmd().input);
            if (cmd().verb == Verb::PresetRecall)
                o.insert("preset", cmd().preset);
            c_.console.json(o);
        } else if (cmd().verb == Verb::Status || cmd().verb == Verb::PresetRecall) {
            c_.console.data(outputsText(outputs));
        }
    }

    void timedOut(const RequestResult& r) override {
        if (cmd().verb == Verb::Route)
            return fail(QStringLiteral("no report for output %1 from %2 within %3")
                            .arg(cmd().output)
                            .arg(c_.port, timeoutText()));
        QStringList missing;
        for (int o = 0; o < r.seen.size(); ++o)
            if (!r.seen[o])
                missing << QString::number(o + 1);
        if (missing.size() == r.seen.size())
            return fail(QStringLiteral("no answer from %1 within %2").arg(c_.port, timeoutText()));
        // What did come is worth having: the outputs not reported show as
        // such (null in JSON).
        if (cmd().verb != Verb::All)
            print(r.inputs);
        fail(QStringLiteral("no report for output%1 %2 from %3 within %4")
                 .arg(missing.size() > 1 ? "s" : "", missing.join(", "), c_.port, timeoutText()));
    }
};

// preset save, ip dhcp, ip static: a command the device acknowledges.
class AckOperation : public RequestOperation {
public:
    using RequestOperation::RequestOperation;

private:
    device::Request* makeRequest() override {
        const int ms = cmd().timeoutMs;
        switch (cmd().verb) {
        case Verb::PresetSave:
            request_ = device::AckRequest::presetSave(cmd().preset, ms);
            break;
        case Verb::IpDhcp:
            request_ = device::AckRequest::autoAddress(ms);
            break;
        default:
            request_ = device::AckRequest::fixedAddress(cmd().address, ms);
        }
        commandText_ = request_->commandText(c_.device.model());
        return request_;
    }

    void done(const RequestResult&) override {
        if (cmd().json && cmd().verb == Verb::PresetSave)
            c_.console.json({{"preset", cmd().preset}, {"saved", true}});
        else if (cmd().json)
            c_.console.json(
                {{"address", cmd().verb == Verb::IpDhcp ? QStringLiteral("dhcp") : cmd().address}});
        finish(kDone);
    }

    void timedOut(const RequestResult&) override {
        fail(QStringLiteral("no answer to \"%1\" from %2 within %3")
                 .arg(commandText_, c_.port, timeoutText()));
    }

    device::AckRequest* request_ = nullptr;
    QString commandText_;
};

// send: the terminal. Every line that comes back is printed until the line
// has been quiet for a while after the last one (the request's rule).
class SendOperation : public RequestOperation {
public:
    using RequestOperation::RequestOperation;

private:
    device::Request* makeRequest() override {
        auto* r = new device::SendRequest(cmd().bytes, cmd().timeoutMs);
        // Whatever comes back is printed, "err" included.
        if (!cmd().json)
            connect(r, &device::SendRequest::received, this,
                    [this](const QString& line) { c_.console.data(line + QLatin1Char('\n')); });
        return r;
    }

    void done(const RequestResult& r) override {
        if (cmd().json) {
            QJsonObject o{{"sent", hexBytes(cmd().bytes)},
                          {"received", QJsonArray::fromStringList(r.received)}};
            if (r.cutShort)
                o.insert("cut_short", true);
            c_.console.json(o);
        }
        // A line that never falls quiet (a stream, a noisy device) ends the
        // run all the same, with what came.
        if (r.cutShort)
            c_.console.warning(QStringLiteral("send: cut short: %1 was still sending after %2 "
                                              "(%3 lines kept)")
                                   .arg(c_.port, timeoutText())
                                   .arg(r.received.size()));
        finish(kDone);
    }

    void timedOut(const RequestResult&) override {
        fail(QStringLiteral("no answer from %1 within %2").arg(c_.port, timeoutText()));
    }
};

// ir route: as the IR routing window does it, the IR status request first
// (the window sends it on opening), then the routing button's command (the
// request's rule).
class IrRouteOperation : public RequestOperation {
public:
    using RequestOperation::RequestOperation;

private:
    device::Request* makeRequest() override {
        return new device::IrRouteRequest(cmd().output, cmd().input, cmd().timeoutMs);
    }

    void done(const RequestResult&) override {
        if (cmd().json)
            c_.console.json({{"output", cmd().output}, {"input", cmd().input}});
        finish(kDone);
    }

    void mismatch(const RequestResult& r) override {
        fail(QStringLiteral("IR output %1 reports IR input %2, not %3")
                 .arg(cmd().output)
                 .arg(r.input)
                 .arg(cmd().input));
    }

    void timedOut(const RequestResult&) override {
        fail(QStringLiteral("no report for IR output %1 from %2 within %3")
                 .arg(cmd().output)
                 .arg(c_.port, timeoutText()));
    }
};

} // namespace

std::unique_ptr<Operation> makeRoutingOperation(const Context& context) {
    switch (context.command.verb) {
    case Verb::PresetSave:
    case Verb::IpDhcp:
    case Verb::IpStatic:
        return std::make_unique<AckOperation>(context);
    case Verb::Send:
        return std::make_unique<SendOperation>(context);
    case Verb::IrRoute:
        return std::make_unique<IrRouteOperation>(context);
    default:
        return std::make_unique<RoutingOperation>(context);
    }
}

} // namespace cli

// The commands answered at once, outside any device mode: the routing and
// its status, the presets, the terminal, IR routing and the network address.

#include "frontends/cli/operation.h"
#include "frontends/cli/output.h"
#include "core/device/switcher.h"
#include "core/protocol/reply_line.h"
#include "core/device/routing.h"
#include "core/network/ip_address.h"
#include "core/platform/platform.h"

#include <QJsonArray>

namespace cli {

namespace {

using protocol::keyword;

// An answer the device owes within the time-out.
class AnsweredOperation : public Operation {
public:
    explicit AnsweredOperation(const Context& context) : Operation(context) {
        answerTimer_ = oneShot(context.command.timeoutMs);
        connect(answerTimer_, &platform::Timer::timeout, this, [this] { timedOut(); });
    }

    void start() override {
        connect(&c_.device.link(), &seriallink::Connection::lineReceived, this,
                [this](const QString& line) {
                    if (keyword(line, "err"))
                        fail(QStringLiteral("the device answered \"err\""));
                });
        answerTimer_->start();
        send();
    }

protected:
    virtual void send() = 0;
    virtual void timedOut() = 0;
    bool wrapUp() override {
        answerTimer_->stop();
        return true;
    }

    platform::Timer* answerTimer_ = nullptr;
};

// status, route, all, preset recall: a command the device answers with
// routing reports.
class RoutingOperation : public AnsweredOperation {
public:
    using AnsweredOperation::AnsweredOperation;

    void start() override {
        connect(&c_.device.routing(), &device::RoutingState::outputChanged, this,
                &RoutingOperation::reported);
        AnsweredOperation::start();
    }

private:
    const Command& cmd() const { return c_.command; }

    void send() override {
        device::RoutingState& r = c_.device.routing();
        switch (cmd().verb) {
        case Verb::Route:
            r.route(10 * cmd().output + cmd().input);
            break;
        case Verb::All:
            r.allOutputs(cmd().input - 1);
            break;
        case Verb::PresetRecall:
            r.presetRecall(cmd().preset - 1);
            break;
        default:
            r.status();
        }
    }

    void reported(int output) {
        seen_[output - 1] = true;
        outputs_[output - 1] = c_.device.routing().input(output);
        if (cmd().verb == Verb::Route) {
            if (output != cmd().output)
                return;
            if (outputs_[output - 1] != cmd().input)
                return fail(QStringLiteral("output %1 reports input %2, not %3")
                                .arg(output)
                                .arg(outputs_[output - 1])
                                .arg(cmd().input));
            if (cmd().json)
                c_.console.json({{"output", output}, {"input", cmd().input}});
            return finish(kDone);
        }
        for (bool s : seen_)
            if (!s)
                return;
        if (cmd().verb == Verb::All) {
            for (int o = 0; o < 8; ++o)
                if (outputs_[o] != cmd().input)
                    return fail(QStringLiteral("output %1 reports input %2, not %3")
                                    .arg(o + 1)
                                    .arg(outputs_[o])
                                    .arg(cmd().input));
        }
        print();
        finish(kDone);
    }

    void print() {
        if (cmd().json) {
            QJsonObject o{{"outputs", outputsJson(outputs_)}};
            if (cmd().verb == Verb::All)
                o.insert("input", cmd().input);
            if (cmd().verb == Verb::PresetRecall)
                o.insert("preset", cmd().preset);
            c_.console.json(o);
        } else if (cmd().verb == Verb::Status || cmd().verb == Verb::PresetRecall) {
            c_.console.data(outputsText(outputs_));
        }
    }

    void timedOut() override {
        if (cmd().verb == Verb::Route)
            return fail(QStringLiteral("no report for output %1 from %2 within %3")
                            .arg(cmd().output)
                            .arg(c_.port, timeoutText()));
        QStringList missing;
        for (int o = 0; o < 8; ++o)
            if (!seen_[o])
                missing << QString::number(o + 1);
        if (missing.size() == 8)
            return fail(QStringLiteral("no answer from %1 within %2").arg(c_.port, timeoutText()));
        // What did come is worth having: the outputs not reported show as
        // such (null in JSON).
        if (cmd().verb != Verb::All)
            print();
        fail(QStringLiteral("no report for output%1 %2 from %3 within %4")
                 .arg(missing.size() > 1 ? "s" : "", missing.join(", "), c_.port, timeoutText()));
    }

    Outputs outputs_{};
    std::array<bool, 8> seen_{};
};

// preset save, ip dhcp, ip static: a command the device acknowledges.
class AckOperation : public AnsweredOperation {
public:
    using AnsweredOperation::AnsweredOperation;

    void start() override {
        connect(&c_.device.link(), &seriallink::Connection::lineReceived, this,
                [this](const QString& line) {
                    if (!keyword(line, "Ack"))
                        return;
                    const Command& cmd = c_.command;
                    if (cmd.json && cmd.verb == Verb::PresetSave)
                        c_.console.json({{"preset", cmd.preset}, {"saved", true}});
                    else if (cmd.json)
                        c_.console.json(
                            {{"address",
                              cmd.verb == Verb::IpDhcp ? QStringLiteral("dhcp") : cmd.address}});
                    finish(kDone);
                });
        AnsweredOperation::start();
    }

private:
    QString commandText() const {
        switch (c_.command.verb) {
        case Verb::PresetSave:
            return device::presetSaveCommand(c_.command.preset - 1);
        case Verb::IpDhcp:
            return network::kAutoAddressCommand.trimmed();
        default:
            return network::fixedAddressCommand(c_.command.address).trimmed();
        }
    }

    void send() override {
        seriallink::Connection& link = c_.device.link();
        switch (c_.command.verb) {
        case Verb::PresetSave:
            c_.device.routing().presetSave(c_.command.preset - 1);
            break;
        case Verb::IpDhcp:
            link.sendRawReported(seriallink::wireBytes(network::kAutoAddressCommand));
            break;
        default:
            link.sendRawReported(
                seriallink::wireBytes(network::fixedAddressCommand(c_.command.address)));
        }
    }

    void timedOut() override {
        fail(QStringLiteral("no answer to \"%1\" from %2 within %3")
                 .arg(commandText(), c_.port, timeoutText()));
    }
};

// send: the terminal. Every line that comes back is printed until the line
// has been quiet for a while after the last one.
class SendOperation : public AnsweredOperation {
public:
    // The quiet that ends an answer: what the window waits after the last
    // answer of a plain read before it judges it.
    static constexpr int kQuietMs = 100;

    explicit SendOperation(const Context& context) : AnsweredOperation(context) {
        quiet_ = oneShot(kQuietMs);
        connect(quiet_, &platform::Timer::timeout, this, [this] {
            if (c_.command.json)
                c_.console.json({{"sent", hexBytes(c_.command.bytes)},
                                 {"received", QJsonArray::fromStringList(received_)}});
            finish(kDone);
        });
    }

    void start() override {
        // Whatever comes back is printed, "err" included: no check here.
        seriallink::Connection& link = c_.device.link();
        connect(&link, &seriallink::Connection::lineReceived, this, &SendOperation::received);
        connect(&link, &seriallink::Connection::rawReceived, this, &SendOperation::received);
        answerTimer_->start();
        send();
    }

private:
    void send() override { c_.device.link().sendRawReported(c_.command.bytes); }

    void received(const QString& text) {
        answerTimer_->stop();
        quiet_->start();
        QString line = text;
        while (line.endsWith(QLatin1Char('\r')) || line.endsWith(QLatin1Char('\n')))
            line.chop(1);
        // The LF after a CR comes as a line of its own.
        if (line.isEmpty())
            return;
        received_ << line;
        if (!c_.command.json)
            c_.console.data(line + QLatin1Char('\n'));
    }

    void timedOut() override {
        fail(QStringLiteral("no answer from %1 within %2").arg(c_.port, timeoutText()));
    }
    bool wrapUp() override {
        quiet_->stop();
        return AnsweredOperation::wrapUp();
    }

    platform::Timer* quiet_ = nullptr;
    QStringList received_;
};

// ir route: as the IR routing window does it, "ims" first (the window sends
// it on opening), then the routing button's "srp o i". The device reports
// only outputs whose input changed, so the status says whether a report is
// to be waited for.
class IrRouteOperation : public AnsweredOperation {
public:
    using AnsweredOperation::AnsweredOperation;

    void start() override {
        connect(&c_.device.irRouting(), &ir::IrRouting::outputChanged, this,
                &IrRouteOperation::reported);
        AnsweredOperation::start();
    }

private:
    int out0() const { return c_.command.output - 1; }
    int in0() const { return c_.command.input - 1; }

    void send() override { c_.device.irRouting().status(); }

    void reported(int output0) {
        if (output0 != out0())
            return;
        const int now = c_.device.irRouting().input(out0());
        if (!routed_) {
            routed_ = true;
            answerTimer_->start();
            c_.device.irRouting().route(8 * out0() + in0());
            if (now == in0())
                done();
            return;
        }
        if (now != in0())
            return fail(QStringLiteral("IR output %1 reports IR input %2, not %3")
                            .arg(c_.command.output)
                            .arg(now + 1)
                            .arg(c_.command.input));
        done();
    }

    void done() {
        if (c_.command.json)
            c_.console.json({{"output", c_.command.output}, {"input", c_.command.input}});
        finish(kDone);
    }

    void timedOut() override {
        fail(QStringLiteral("no report for IR output %1 from %2 within %3")
                 .arg(c_.command.output)
                 .arg(c_.port, timeoutText()));
    }

    bool routed_ = false;
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

#include "core/device/requests.h"

#include "core/device/request_queue.h"
#include "core/device/switcher.h"
#include "core/network/ip_address.h"
#include "core/platform/timer.h"
#include "core/protocol/commands.h"
#include "core/seriallink/wire.h"

#include <algorithm>

namespace device {

using Reply = protocol::Reply;

// --- Request ---------------------------------------------------------------

void Request::start(Switcher& sw, seriallink::Wire& wire, platform::Timer* timer) {
    switcher_ = &sw;
    wire_ = &wire;
    result_.inputs = QList<int>(sw.model().outputs, 0);
    result_.seen = QList<bool>(sw.model().outputs, false);
    timer_ = timer;
    started_ = true;
    timer_->setSingleShot(true);
    timer_->setInterval(timeoutMs_);
    connect(timer_, &platform::Timer::timeout, this, [this] {
        if (!done_)
            timedOut();
    });
    if (timeoutMs_ > 0)
        timer_->start();
    begin();
}

void Request::holdLine() {
    if (queue_ && !done_)
        queue_->hold(this);
}

void Request::reply(const protocol::Reply& r) {
    if (r.kind == Reply::Kind::Err)
        finish(RequestError::DeviceError);
}

void Request::finish(RequestError error) {
    if (done_)
        return;
    done_ = true;
    if (timer_)
        timer_->stop();
    result_.error = error;
    emit finished(result_);
}

void Request::restartTimer() {
    timer_->start();
}

void Request::stopTimer() {
    timer_->stop();
}

bool Request::written(bool written) {
    if (!written)
        finish(RequestError::NotWritten);
    return written;
}

// --- RoutingRequest --------------------------------------------------------

RoutingRequest::RoutingRequest(Kind kind, int number, int input, int timeoutMs)
    : Request(timeoutMs), kind_(kind), number_(number), input_(input) {}

RoutingRequest* RoutingRequest::status(int timeoutMs) {
    return new RoutingRequest(Kind::Status, 0, 0, timeoutMs);
}

RoutingRequest* RoutingRequest::route(int output, int input, int timeoutMs) {
    return new RoutingRequest(Kind::Route, output, input, timeoutMs);
}

RoutingRequest* RoutingRequest::allOutputs(int input, int timeoutMs) {
    return new RoutingRequest(Kind::AllOutputs, 0, input, timeoutMs);
}

RoutingRequest* RoutingRequest::presetRecall(int preset, int timeoutMs) {
    return new RoutingRequest(Kind::PresetRecall, preset, 0, timeoutMs);
}

QString RoutingRequest::commandText(const protocol::Model& model) const {
    switch (kind_) {
    case Kind::Route:
        return model.route(number_, input_).trimmed();
    case Kind::AllOutputs:
        return model.allOutputs(input_);
    case Kind::PresetRecall:
        return model.presetRecall(number_);
    case Kind::Status:
        break;
    }
    return protocol::statusCommand();
}

void RoutingRequest::begin() {
    RoutingState& r = sw().routing();
    switch (kind_) {
    case Kind::Route:
        // As a routing button writes it.
        written(wire().rawReported(seriallink::wireBytes(sw().model().route(number_, input_))));
        break;
    case Kind::AllOutputs:
        written(r.allOutputs(input_ - 1));
        break;
    case Kind::PresetRecall:
        written(r.presetRecall(number_ - 1));
        break;
    case Kind::Status:
        written(r.status());
    }
}

void RoutingRequest::reply(const protocol::Reply& r) {
    if (r.kind == Reply::Kind::RoutingReport) {
        if (sw().model().isOutput(r.output))
            reported(r.output);
        return;
    }
    // "Ack" instead of reports: what the switcher now routes is asked for.
    if (r.kind == Reply::Kind::Ack && !askedStatus_ &&
        (kind_ == Kind::AllOutputs || kind_ == Kind::PresetRecall) &&
        std::none_of(result_.seen.begin(), result_.seen.end(), [](bool s) { return s; })) {
        askedStatus_ = true;
        result_.acknowledged = true;
        restartTimer();
        written(sw().routing().status());
        return;
    }
    Request::reply(r);
}

void RoutingRequest::reported(int output) {
    const int input = sw().routing().input(output);
    result_.seen[output - 1] = true;
    result_.inputs[output - 1] = input;
    if (kind_ == Kind::Route) {
        if (output != number_)
            return;
        if (input != input_) {
            result_.output = output;
            result_.input = input;
            return finish(RequestError::Mismatch);
        }
        return finish();
    }
    for (bool s : result_.seen)
        if (!s)
            return;
    if (kind_ == Kind::AllOutputs) {
        for (int o = 0; o < result_.inputs.size(); ++o) {
            if (result_.inputs[o] != input_) {
                result_.output = o + 1;
                result_.input = result_.inputs[o];
                return finish(RequestError::Mismatch);
            }
        }
    }
    finish();
}

// --- AckRequest ------------------------------------------------------------

AckRequest::AckRequest(Kind kind, int preset, const QString& address, int timeoutMs)
    : Request(timeoutMs), kind_(kind), preset_(preset), address_(address) {}

AckRequest* AckRequest::presetSave(int preset, int timeoutMs) {
    return new AckRequest(Kind::PresetSave, preset, {}, timeoutMs);
}

AckRequest* AckRequest::autoAddress(int timeoutMs) {
    return new AckRequest(Kind::AutoAddress, 0, {}, timeoutMs);
}

AckRequest* AckRequest::fixedAddress(const QString& address, int timeoutMs) {
    return new AckRequest(Kind::FixedAddress, 0, address, timeoutMs);
}

QString AckRequest::commandText(const protocol::Model& model) const {
    switch (kind_) {
    case Kind::PresetSave:
        return model.presetSave(preset_);
    case Kind::AutoAddress:
        return protocol::autoAddressCommand().trimmed();
    case Kind::FixedAddress:
        break;
    }
    return network::fixedAddressCommand(address_).trimmed();
}

void AckRequest::begin() {
    switch (kind_) {
    case Kind::PresetSave:
        written(sw().routing().presetSave(preset_ - 1));
        break;
    case Kind::AutoAddress:
        written(wire().rawReported(seriallink::wireBytes(protocol::autoAddressCommand())));
        break;
    case Kind::FixedAddress:
        written(wire().rawReported(seriallink::wireBytes(network::fixedAddressCommand(address_))));
    }
}

void AckRequest::reply(const protocol::Reply& r) {
    if (r.kind == Reply::Kind::Ack)
        return finish();
    Request::reply(r);
}

// --- SendRequest -----------------------------------------------------------

SendRequest::SendRequest(const QByteArray& bytes, int timeoutMs, int quietMs)
    : Request(timeoutMs), bytes_(bytes), quietMs_(quietMs) {}

void SendRequest::begin() {
    written(wire().rawReported(bytes_));
}

void SendRequest::reply(const protocol::Reply& r) {
    take(r.line);
}

void SendRequest::raw(const QString& text) {
    take(text);
}

void SendRequest::timedOut() {
    if (result_.received.isEmpty())
        return finish(RequestError::TimedOut);
    result_.cutShort = true;
    finish();
}

void SendRequest::take(const QString& text) {
    if (isDone())
        return;
    // The answer timer keeps running: it bounds the whole gathering.
    if (!quiet_) {
        quiet_ = sw().platform().createTimer(this);
        quiet_->setSingleShot(true);
        quiet_->setInterval(quietMs_);
        connect(quiet_, &platform::Timer::timeout, this, [this] { finish(); });
    }
    quiet_->start();
    QString line = text;
    while (line.endsWith(QLatin1Char('\r')) || line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    // The LF after a CR comes as a line of its own.
    if (line.isEmpty())
        return;
    result_.received << line;
    kept_ += line.size();
    emit received(line);
    if (!isDone() && (result_.received.size() >= kMaxKept || kept_ >= kMaxKeptBytes)) {
        result_.cutShort = true;
        finish();
    }
}

// --- IrRouteRequest --------------------------------------------------------

IrRouteRequest::IrRouteRequest(int output, int input, int timeoutMs)
    : Request(timeoutMs), out0_(output - 1), in0_(input - 1) {}

void IrRouteRequest::begin() {
    written(sw().irRouting().status());
}

void IrRouteRequest::reply(const protocol::Reply& r) {
    if (r.kind != Reply::Kind::IrRoutingReport)
        return Request::reply(r);
    const auto output = ir::reportedOutput(r.irOutput);
    if (!output || *output != out0_)
        return;
    const int now = sw().irRouting().input(out0_);
    result_.output = out0_ + 1;
    result_.input = now + 1;
    if (!routed_) {
        routed_ = true;
        restartTimer();
        if (!written(sw().irRouting().route(out0_, in0_)))
            return;
        if (now == in0_)
            finish();
        return;
    }
    finish(now == in0_ ? RequestError::None : RequestError::Mismatch);
}

// --- IrStatusRequest -------------------------------------------------------

void IrStatusRequest::begin() {
    const int ports = sw().model().irPorts;
    result_.inputs = QList<int>(ports, 0);
    result_.seen = QList<bool>(ports, false);
    written(sw().irRouting().status());
}

void IrStatusRequest::reply(const protocol::Reply& r) {
    if (r.kind != Reply::Kind::IrRoutingReport)
        return Request::reply(r);
    const auto output = ir::reportedOutput(r.irOutput);
    if (!output || *output >= result_.seen.size())
        return;
    // The routing has taken the report before this request sees it.
    result_.inputs[*output] = sw().irRouting().input(*output) + 1;
    result_.seen[*output] = true;
    if (!result_.seen.contains(false))
        finish();
}

// --- RawLineRequest --------------------------------------------------------

void RawLineRequest::begin() {
    if (written(wire().rawReported(bytes_)))
        finish();
}

// --- LeaseRequest ----------------------------------------------------------

void LeaseRequest::begin() {
    if (!written(wire().rawReported(bytes_)))
        return;
    holdLine();
    // Inside a lease the line is held already: this one is a plain line.
    holding_ = sw().requests().session() == this;
    if (holding_)
        emit leased();
    else
        finish();
}

bool LeaseRequest::end(const QByteArray& last) {
    if (isDone())
        return false;
    const bool out = !last.isEmpty() && wire().raw(last);
    finish();
    return out;
}

// --- WriteRequest ----------------------------------------------------------

WriteRequest* WriteRequest::line(const QString& text, Check check) {
    return new WriteRequest(seriallink::wireBytes(text + QStringLiteral("\r\n")), check);
}

void WriteRequest::begin() {
    seriallink::Wire& w = wire();
    switch (check_) {
    case Check::None:
        written(w.raw(bytes_));
        break;
    case Check::Reported:
        written(w.rawReported(bytes_));
        break;
    case Check::Guarded:
        written(w.guardOpen() && w.raw(bytes_));
    }
    finish();
}

} // namespace device

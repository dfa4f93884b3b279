#include "core/device/mode_session.h"

#include "core/device/switcher.h"
#include "core/platform/platform.h"

namespace device {

ModeSession::ModeSession(Switcher& sw, Mode mode, Options options)
    : sw_(sw), queue_(&sw.requests()), mode_(mode), options_(options) {
    DeviceModes& modes = sw_.modes();
    connect(&modes, &DeviceModes::notConfirmed, this, [this] {
        if (entered_ && !confirmed_ && !leaving_)
            emit notConfirmed();
    });
    connect(&modes, &DeviceModes::confirmed, this, [this] {
        if (!entered_ || confirmed_ || leaving_)
            return;
        confirmed_ = true;
        if (options_.waitForEcho)
            emit started();
    });
    connect(&modes, &DeviceModes::leftByDevice, this, [this](Mode m) {
        // Before the entry's echo, a strict session takes an exit word for
        // the late echo of an earlier stay's exit.
        if (m != mode_ || !entered_ || leaving_ || (options_.waitForEcho && !confirmed_))
            return;
        emit leftByDevice();
    });
    if (options_.exitEchoMs > 0) {
        exitEcho_ = sw_.platform().createTimer(this);
        exitEcho_->setInterval(options_.exitEchoMs);
        exitEcho_->setSingleShot(true);
        connect(exitEcho_, &platform::Timer::timeout, this, &ModeSession::close);
    }
}

ModeSession::~ModeSession() {
    if (request_ && !request_->isDone() && queue_)
        queue_->cancel(request_);
}

// The stay on the queue: it begins the session when its turn comes and
// keeps the line until the session closes.
class ModeRequest : public Request {
public:
    explicit ModeRequest(ModeSession& session) : Request(0), session_(&session) {}
    void end() { finish(); }

protected:
    void begin() override {
        if (!session_ || !session_->begin())
            return finish(RequestError::NotWritten);
        holdLine();
    }
    // The mode's replies are the features' and the session's own business.
    void reply(const protocol::Reply&) override {}

private:
    QPointer<ModeSession> session_;
};

bool ModeSession::enter() {
    if (asked_ || !sw_.link().guardOpen())
        return false;
    asked_ = true;
    auto* request = sw_.requests().submit(new ModeRequest(*this), options_.client);
    request_ = request;
    if (request->isDone() && !entered_)
        return false;
    connect(request, &Request::finished, this, [this](const RequestResult&) {
        // Ended by the queue (its client went away, or the port closed
        // before its turn came): the stay is over.
        if (!closed_) {
            if (entered_)
                return close();
            closed_ = true;
            emit closed();
        }
    });
    return true;
}

bool ModeSession::begin() {
    if (!sw_.modes().enter(mode_))
        return false;
    entered_ = true;
    if (!options_.waitForEcho)
        emit started();
    return true;
}

void ModeSession::leave() {
    if (!entered_) {
        // Left before its turn came: nothing went out, nothing to close.
        if (request_ && !request_->isDone() && queue_)
            queue_->cancel(request_);
        return;
    }
    if (leaving_ || closed_)
        return;
    // A strict session is over for the watchdog too; a window's warns even
    // after the window closed.
    if (options_.waitForEcho)
        sw_.modes().stopWatchdog();
    sw_.modes().leave(mode_);
    // A device that never confirmed the entry is not waited for again.
    if (!exitEcho_ || !confirmed_ || !sw_.link().isOpen())
        return close();
    leaving_ = true;
    echoWatch_ = connect(&sw_.router(), &Router::replied, this, &ModeSession::watchExitEcho);
    exitEcho_->start();
}

void ModeSession::watchExitEcho(const protocol::Reply& r) {
    if (leaving_ && r.line.trimmed() == protocol::exitWord(mode_)) {
        exitConfirmed_ = true;
        close();
    }
}

void ModeSession::close() {
    if (closed_)
        return;
    closed_ = true;
    leaving_ = false;
    disconnect(echoWatch_);
    if (exitEcho_)
        exitEcho_->stop();
    if (request_)
        static_cast<ModeRequest*>(request_.data())->end();
    emit closed();
}

} // namespace device

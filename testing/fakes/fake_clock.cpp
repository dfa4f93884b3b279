#include "testing/fakes/fake_clock.h"

namespace platform {

FakeTimer::FakeTimer(FakeClock& clock, QObject* parent) : Timer(parent), clock_(clock) {
    clock_.timers_.append(this);
}

FakeTimer::~FakeTimer() {
    clock_.timers_.removeOne(this);
}

void FakeTimer::start() {
    active_ = true;
    due_ = clock_.now_ + qMax(interval_, 0);
}

void FakeClock::advance(qint64 ms) {
    const qint64 end = now_ + ms;
    for (;;) {
        FakeTimer* next = nullptr;
        for (FakeTimer* t : std::as_const(timers_))
            if (t->active_ && t->due_ <= end && (!next || t->due_ < next->due_))
                next = t;
        if (!next)
            break;
        now_ = next->due_;
        if (next->singleShot_)
            next->active_ = false;
        else
            next->due_ = now_ + qMax(next->interval_, 1);
        emit next->timeout();
    }
    // A timer's handler may have advanced the clock itself (a test standing
    // in for a modal box's nested event loop); time never runs backwards.
    now_ = qMax(now_, end);
}

} // namespace platform

#pragma once

#include "core/platform/timer.h"

#include <QList>
#include <QtGlobal>

namespace platform {

class FakeClock;

// A timer that runs on a FakeClock instead of the wall clock.
class FakeTimer : public Timer {
    Q_OBJECT
public:
    FakeTimer(FakeClock& clock, QObject* parent);
    ~FakeTimer() override;
    void setInterval(int ms) override { interval_ = ms; }
    int interval() const override { return interval_; }
    void setSingleShot(bool on) override { singleShot_ = on; }
    void start() override;
    void stop() override { active_ = false; }
    bool isActive() const override { return active_; }

private:
    friend class FakeClock;
    FakeClock& clock_;
    int interval_ = 0;
    bool singleShot_ = false;
    bool active_ = false;
    qint64 due_ = 0;
};

// Time that moves only when a test says so. Timers fire in the order of
// their deadlines, each on its own deadline.
class FakeClock {
public:
    qint64 now() const { return now_; }
    void advance(qint64 ms);

private:
    friend class FakeTimer;
    QList<FakeTimer*> timers_;
    qint64 now_ = 0;
};

} // namespace platform

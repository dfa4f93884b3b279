#pragma once

#include "core/platform/timer.h"

#include <QTimer>

namespace platform {

class QtTimer : public Timer {
    Q_OBJECT
public:
    explicit QtTimer(QObject* parent = nullptr);
    void setInterval(int ms) override { timer_.setInterval(ms); }
    int interval() const override { return timer_.interval(); }
    void setSingleShot(bool on) override { timer_.setSingleShot(on); }
    void start() override { timer_.start(); }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

} // namespace platform

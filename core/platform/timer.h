#pragma once

#include <QObject>

namespace platform {

// An interval timer. Windows get theirs from the Platform so that tests can
// run them on a clock they advance by hand.
class Timer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Timer() override = default;

    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setSingleShot(bool on) = 0;
    // Starts, or restarts from now when already running.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

signals:
    void timeout();
};

} // namespace platform

#pragma once

#include <QObject>

class QSocketNotifier;

namespace platform {

// SIGINT, SIGTERM, SIGQUIT and SIGHUP as ordinary events. The handler only writes the
// signal's number into a pipe; the event loop reads it and emits
// interrupted(), where the run can still talk to the device. SIGHUP (the
// terminal closed) stops a run like the others, unless the program reloads
// on it, as a service does.
class InterruptWatch : public QObject {
    Q_OBJECT
public:
    enum class HangUp { Stops, Reloads };

    explicit InterruptWatch(HangUp hangUp = HangUp::Stops, QObject* parent = nullptr);
    ~InterruptWatch() override;

signals:
    void interrupted(int signalNumber);
    // SIGHUP, when it reloads.
    void reloadRequested();

private:
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace platform

#pragma once

#include <QObject>

class QSocketNotifier;

namespace platform {

// SIGINT and SIGTERM as an ordinary event. The handler only writes the
// signal's number into a pipe; the event loop reads it and emits
// interrupted(), where the run can still talk to the device.
class InterruptWatch : public QObject {
    Q_OBJECT
public:
    explicit InterruptWatch(QObject* parent = nullptr);
    ~InterruptWatch() override;

signals:
    void interrupted(int signalNumber);

private:
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace platform

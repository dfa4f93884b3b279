#pragma once

#include <QObject>
#include <QTimer>

namespace server {

// Tells systemd the service is ready (sd_notify READY=1) and, when the unit
// asks for a watchdog, keeps it fed (WATCHDOG=1) from a timer at half its
// period. Outside systemd every call does nothing.
class ServiceNotify : public QObject {
    Q_OBJECT
public:
    explicit ServiceNotify(QObject* parent = nullptr);
    void ready();
    void status(const QString& text);
    void stopping();

private:
    QTimer watchdog_;
};

} // namespace server

#include "frontends/server/platform/service_notify.h"

#ifdef Q_OS_LINUX
#include <systemd/sd-daemon.h>
#else // systemd is Linux only: nobody to notify
#define sd_notify(unset, text) ((void)(text), 0)
#define sd_notifyf(unset, format, text) ((void)(text), 0)
#define sd_watchdog_enabled(unset, usec) ((void)(usec), 0)
#endif

namespace server {

ServiceNotify::ServiceNotify(QObject* parent) : QObject(parent) {
    connect(&watchdog_, &QTimer::timeout, this, [] { sd_notify(0, "WATCHDOG=1"); });
}

void ServiceNotify::ready() {
    sd_notify(0, "READY=1");
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        watchdog_.setTimerType(Qt::CoarseTimer);
        watchdog_.start(int(qMax<uint64_t>(usec / 2000, 1)));
    }
}

void ServiceNotify::status(const QString& text) {
    sd_notifyf(0, "STATUS=%s", text.toUtf8().constData());
}

void ServiceNotify::stopping() {
    watchdog_.stop();
    sd_notify(0, "STOPPING=1");
}

} // namespace server

#include "core/platform/interrupts.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>
#endif

namespace platform {

#ifdef Q_OS_UNIX
namespace {

int pipeFds[2] = {-1, -1};
constexpr int kWatched[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void onSignal(int signalNumber) {
    const unsigned char n = static_cast<unsigned char>(signalNumber);
    (void)!::write(pipeFds[1], &n, 1);
}

} // namespace
#endif

InterruptWatch::InterruptWatch(HangUp hangUp, QObject* parent) : QObject(parent) {
#ifdef Q_OS_UNIX
    if (pipeFds[0] < 0 && ::pipe(pipeFds) != 0)
        return;
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this, hangUp] {
        unsigned char n = 0;
        if (::read(pipeFds[0], &n, 1) != 1)
            return;
        if (n == SIGHUP && hangUp == HangUp::Reloads)
            emit reloadRequested();
        else
            emit interrupted(n);
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (const int n : kWatched)
        sigaction(n, &sa, nullptr);
#else
    Q_UNUSED(hangUp);
#endif
}

InterruptWatch::~InterruptWatch() {
#ifdef Q_OS_UNIX
    if (notifier_) {
        for (const int n : kWatched)
            signal(n, SIG_DFL);
    }
#endif
}

} // namespace platform

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

void onSignal(int signalNumber) {
    const unsigned char n = static_cast<unsigned char>(signalNumber);
    (void)!::write(pipeFds[1], &n, 1);
}

} // namespace
#endif

InterruptWatch::InterruptWatch(QObject* parent) : QObject(parent) {
#ifdef Q_OS_UNIX
    if (pipeFds[0] < 0 && ::pipe(pipeFds) != 0)
        return;
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        unsigned char n = 0;
        if (::read(pipeFds[0], &n, 1) == 1)
            emit interrupted(n);
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
#endif
}

InterruptWatch::~InterruptWatch() {
#ifdef Q_OS_UNIX
    if (notifier_) {
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
    }
#endif
}

} // namespace platform

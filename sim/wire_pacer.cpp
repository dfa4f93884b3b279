#include "sim/wire_pacer.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cmath>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#endif

namespace sim {

WirePacer::WirePacer(QObject* parent) : QObject(parent) {
    clock_.start();
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, &WirePacer::flushDue);
#ifdef Q_OS_LINUX
    timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timerFd_ >= 0) {
        auto* n = new QSocketNotifier(timerFd_, QSocketNotifier::Read, this);
        connect(n, &QSocketNotifier::activated, this, [this] {
            quint64 expirations = 0;
            (void)!::read(timerFd_, &expirations, sizeof expirations);
            flushDue();
        });
    }
#endif
}

WirePacer::~WirePacer() {
    if (timerFd_ >= 0)
        ::close(timerFd_);
}

void WirePacer::received(const QByteArray& bytes) {
    const double now = nowMs();
    for (char c : bytes) {
        rxFree_ = qMax(rxFree_, now) + kByteMs;
        rxQueue_.push_back({rxFree_, c});
    }
    flushDue();
}

void WirePacer::send(const QByteArray& bytes) {
    // A byte leaves once the previous one has; its last bit is on the far
    // side one byte time after it starts.
    const double now = nowMs();
    for (char c : bytes) {
        txFree_ = qMax(txFree_, now) + kByteMs;
        txQueue_.push_back({txFree_, c});
    }
    flushDue();
}

void WirePacer::clear() {
    rxQueue_.clear();
    txQueue_.clear();
    timer_->stop();
    disarmTimerFd();
}

void WirePacer::flushDue() {
    const double now = nowMs();
    QByteArray in;
    while (!rxQueue_.empty() && rxQueue_.front().due <= now) {
        in += rxQueue_.front().byte;
        rxQueue_.pop_front();
    }
    QByteArray out;
    while (!txQueue_.empty() && txQueue_.front().due <= now) {
        out += txQueue_.front().byte;
        txQueue_.pop_front();
    }
    if (!out.isEmpty() && onDepart)
        onDepart(out);
    if (!in.isEmpty() && onArrived)
        onArrived(in); // may queue answers, hence before arming
    armTimer();
}

void WirePacer::armTimer() {
    double next = -1;
    if (!rxQueue_.empty())
        next = rxQueue_.front().due;
    if (!txQueue_.empty() && (next < 0 || txQueue_.front().due < next))
        next = txQueue_.front().due;
    if (next < 0)
        return;
    const double wait = next - nowMs();
#ifdef Q_OS_LINUX
    if (timerFd_ >= 0) {
        // Relative, and never zero: a zero value would disarm it.
        const qint64 ns = qMax<qint64>(1, static_cast<qint64>(std::ceil(wait * 1e6)));
        itimerspec when{};
        when.it_value.tv_sec = ns / 1000000000;
        when.it_value.tv_nsec = ns % 1000000000;
        timerfd_settime(timerFd_, 0, &when, nullptr);
        return;
    }
#endif
    timer_->start(qMax(0, static_cast<int>(std::ceil(wait))));
}

void WirePacer::disarmTimerFd() {
#ifdef Q_OS_LINUX
    if (timerFd_ >= 0) {
        itimerspec off{};
        timerfd_settime(timerFd_, 0, &off, nullptr);
    }
#endif
}

} // namespace sim

#include "sim/pty_transport.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#endif

namespace sim {

PtyTransport::PtyTransport(QObject* parent) : QObject(parent) {
    clock_.start();
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, &PtyTransport::flushDue);
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

PtyTransport::~PtyTransport() {
    hangUp();
    if (!linkPath_.isEmpty())
        QFile::remove(linkPath_);
    if (timerFd_ >= 0)
        ::close(timerFd_);
}

bool PtyTransport::start(const QString& folder, int portNo, QString* error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        *error = QStringLiteral("cannot open a pseudo-terminal: %1").arg(strerror(errno));
        return false;
    }
    slavePath_ = QString::fromLocal8Bit(ptsname(master_));
    // Raw line discipline on the program's side: no echo, no CR/LF rewriting.
    slaveKeep_ = ::open(slavePath_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (slaveKeep_ >= 0) {
        termios t{};
        tcgetattr(slaveKeep_, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
        tcsetattr(slaveKeep_, TCSANOW, &t);
    }
    linkPath_ = QDir(folder).absoluteFilePath(QStringLiteral("COM%1").arg(portNo));
    QFile::remove(linkPath_);
    if (!QFile::link(slavePath_, linkPath_)) {
        *error = QStringLiteral("cannot create the link %1").arg(linkPath_);
        return false;
    }
    notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &PtyTransport::onReadable);
    return true;
}

void PtyTransport::hangUp() {
    if (notifier_) {
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    if (slaveKeep_ >= 0)
        ::close(slaveKeep_);
    slaveKeep_ = -1;
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
    rxQueue_.clear();
    txQueue_.clear();
    timer_->stop();
    disarmTimerFd();
}

void PtyTransport::onReadable() {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0)
            break;
        const QByteArray bytes(buf, n);
        if (!paced_) {
            if (onReceive)
                onReceive(bytes);
            continue;
        }
        const double now = nowMs();
        for (char c : bytes) {
            rxFree_ = qMax(rxFree_, now) + kByteMs;
            rxQueue_.push_back({rxFree_, c});
        }
    }
    if (paced_)
        flushDue();
}

void PtyTransport::send(const QByteArray& bytes) {
    if (master_ < 0 || bytes.isEmpty())
        return;
    if (!paced_) {
        qsizetype off = 0;
        while (off < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.constData() + off, bytes.size() - off);
            if (n <= 0)
                break;
            off += n;
        }
        return;
    }
    // A byte leaves once the previous one has; its last bit is on the far
    // side one byte time after it starts.
    const double now = nowMs();
    for (char c : bytes) {
        txFree_ = qMax(txFree_, now) + kByteMs;
        txQueue_.push_back({txFree_, c});
    }
    flushDue();
}

void PtyTransport::flushDue() {
    if (master_ < 0)
        return;
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
    if (!out.isEmpty())
        (void)::write(master_, out.constData(), out.size());
    if (!in.isEmpty() && onReceive)
        onReceive(in); // may queue answers, hence before arming
    armTimer();
}

void PtyTransport::armTimer() {
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

void PtyTransport::disarmTimerFd() {
#ifdef Q_OS_LINUX
    if (timerFd_ >= 0) {
        itimerspec off{};
        timerfd_settime(timerFd_, 0, &off, nullptr);
    }
#endif
}

} // namespace sim

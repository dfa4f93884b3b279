#include "sim/pty_transport.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

PtyTransport::PtyTransport(QObject* parent) : QObject(parent) {
    pacer_.onArrived = [this](const QByteArray& bytes) {
        if (onReceive)
            onReceive(bytes);
    };
    pacer_.onDepart = [this](const QByteArray& bytes) {
        if (master_ >= 0)
            (void)::write(master_, bytes.constData(), bytes.size());
    };
}

PtyTransport::~PtyTransport() {
    hangUp();
    if (!linkPath_.isEmpty())
        QFile::remove(linkPath_);
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
    pacer_.clear();
}

void PtyTransport::onReadable() {
    char buf[4096];
    QByteArray paced;
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
        paced += bytes;
    }
    if (paced_)
        pacer_.received(paced);
}

void PtyTransport::send(const QByteArray& bytes) {
    if (master_ < 0 || bytes.isEmpty())
        return;
    if (paced_)
        pacer_.send(bytes);
    else
        writeAll(bytes);
}

void PtyTransport::writeAll(const QByteArray& bytes) {
    qsizetype off = 0;
    while (off < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + off, bytes.size() - off);
        if (n <= 0)
            break;
        off += n;
    }
}

} // namespace sim

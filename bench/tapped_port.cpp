#include "bench/tapped_port.h"

#include "bench/bench_util.h"

namespace bench {

TappedPort::TappedPort(std::unique_ptr<platform::SerialPort> inner, QList<PortEvent>& log)
    : inner_(std::move(inner)), log_(log) {
    connect(inner_.get(), &SerialPort::readyRead, this, &SerialPort::readyRead);
    connect(inner_.get(), &SerialPort::lost, this, &SerialPort::lost);
    connect(inner_.get(), &SerialPort::opened, this, &SerialPort::opened);
    connect(inner_.get(), &SerialPort::openFailed, this, &SerialPort::openFailed);
}

bool TappedPort::write(const QByteArray& bytes) {
    const bool ok = inner_->write(bytes);
    if (ok)
        log_ << PortEvent{nowNs(), true, bytes};
    return ok;
}

QByteArray TappedPort::readAll() {
    QByteArray bytes = inner_->readAll();
    if (!bytes.isEmpty())
        log_ << PortEvent{nowNs(), false, bytes};
    return bytes;
}

std::unique_ptr<platform::SerialPort> BenchPlatform::createSerialPort() {
    return std::make_unique<TappedPort>(FakePlatform::createSerialPort(), log);
}

std::unique_ptr<platform::SerialPort> BenchPlatform::createNetworkPort() {
    return std::make_unique<TappedPort>(FakePlatform::createNetworkPort(), log);
}

} // namespace bench

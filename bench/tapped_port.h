#pragma once

#include "testing/fakes/fake_platform.h"

#include <QList>
#include <memory>

namespace bench {

// What crossed the program's serial port, in order, with the time the
// program wrote or read it.
struct PortEvent {
    qint64 ns;
    bool written; // false: read
    QByteArray bytes;
};

// The real QSerialPort, with every write and read noted on the way.
class TappedPort : public platform::SerialPort {
    Q_OBJECT
public:
    TappedPort(std::unique_ptr<platform::SerialPort> inner, QList<PortEvent>& log);
    bool open(const QString& device) override { return inner_->open(device); }
    void close() override { inner_->close(); }
    bool isOpen() const override { return inner_->isOpen(); }
    bool isOpening() const override { return inner_->isOpening(); }
    QString errorText() const override { return inner_->errorText(); }
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;

private:
    std::unique_ptr<platform::SerialPort> inner_;
    QList<PortEvent>& log_;
};

// The platform the benchmark runs the program core on: real port, real
// timers, recording dialogs, and the port tapped.
class BenchPlatform : public platform::FakePlatform {
public:
    BenchPlatform() : FakePlatform({true, true}) {}
    std::unique_ptr<platform::SerialPort> createSerialPort() override;
    std::unique_ptr<platform::SerialPort> createNetworkPort() override;
    QList<PortEvent> log;
};

} // namespace bench

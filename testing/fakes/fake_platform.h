#pragma once

#include "core/platform/platform.h"
#include "core/platform/tcp_serial_port.h"
#include "testing/fakes/fake_clock.h"
#include "testing/fakes/fake_dialogs.h"
#include "testing/fakes/fake_serial_port.h"

#include <QPointer>
#include <functional>

namespace platform {

// The platform tests run on: a fake port and a fake clock unless the test asks
// for the real ones (end-to-end tests against the simulator use the real
// QSerialPort and real timers), or a port of its own making. The recording
// dialogs come with it, for the windows. The network port is always the real
// one, for servers on the loopback address; its connection time-out runs on
// the fake clock unless real timers are asked for.
class FakePlatform : public Platform {
public:
    struct Options {
        bool realSerialPort = false;
        bool realTimers = false;
    };
    FakePlatform() = default;
    explicit FakePlatform(Options o) : options_(o) {}

    std::unique_ptr<SerialPort> createSerialPort() override;
    std::unique_ptr<SerialPort> createNetworkPort() override;
    Timer* createTimer(QObject* parent) override;
    QString deviceForPort(int portNo) override;

    FakeDialogs& fakeDialogs() { return dialogs_; }
    FakeClock& clock() { return clock_; }
    // The last port handed out, when it is a fake.
    FakeSerialPort* port() const { return port_; }
    // The last network port handed out.
    TcpSerialPort* networkPort() const { return networkPort_; }
    // Devices for port numbers 1..10; by default "/dev/fakeN".
    QStringList devices;
    // When set, makes the port instead (the in-process switcher).
    std::function<std::unique_ptr<SerialPort>()> portFactory;

private:
    Options options_;
    FakeDialogs dialogs_;
    FakeClock clock_;
    QPointer<FakeSerialPort> port_;
    QPointer<TcpSerialPort> networkPort_;
};

} // namespace platform

#include "testing/fakes/fake_platform.h"

#include "core/platform/qt_serial_port.h"
#include "core/platform/qt_timer.h"

namespace platform {

std::unique_ptr<SerialPort> FakePlatform::createSerialPort() {
    if (portFactory)
        return portFactory();
    if (options_.realSerialPort)
        return std::make_unique<QtSerialPort>();
    auto port = std::make_unique<FakeSerialPort>();
    port_ = port.get();
    return port;
}

std::unique_ptr<SerialPort> FakePlatform::createNetworkPort() {
    auto port = std::make_unique<TcpSerialPort>(createTimer(nullptr));
    networkPort_ = port.get();
    return port;
}

Timer* FakePlatform::createTimer(QObject* parent) {
    if (options_.realTimers)
        return new QtTimer(parent);
    return new FakeTimer(clock_, parent);
}

QString FakePlatform::deviceForPort(int portNo) {
    if (portNo >= 1 && portNo <= devices.size())
        return devices.at(portNo - 1);
    return QStringLiteral("/dev/fake%1").arg(portNo);
}

} // namespace platform

#include "core/platform/qt_platform.h"

#include "core/platform/port_names.h"
#include "core/platform/qt_serial_port.h"
#include "core/platform/qt_timer.h"
#include "core/platform/tcp_serial_port.h"

#include <QDir>

namespace platform {

std::unique_ptr<SerialPort> QtPlatform::createSerialPort() {
    return std::make_unique<QtSerialPort>();
}

std::unique_ptr<SerialPort> QtPlatform::createNetworkPort() {
    return std::make_unique<TcpSerialPort>();
}

Timer* QtPlatform::createTimer(QObject* parent) {
    return new QtTimer(parent);
}

QString QtPlatform::deviceForPort(int portNo) {
    return platform::deviceForPort(portNo, QDir::currentPath(), present_.list());
}

} // namespace platform

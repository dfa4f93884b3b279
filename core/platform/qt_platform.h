#pragma once

#include "core/platform/platform.h"
#include "core/platform/port_names.h"

namespace platform {

// The real machine: QSerialPort, QTcpSocket and QTimer.
class QtPlatform : public Platform {
public:
    std::unique_ptr<SerialPort> createSerialPort() override;
    std::unique_ptr<SerialPort> createNetworkPort() override;
    Timer* createTimer(QObject* parent) override;
    QString deviceForPort(int portNo) override;

private:
    PresentDevices present_;
};

} // namespace platform

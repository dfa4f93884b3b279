#pragma once

#include "platform/platform.h"
#include "platform/port_names.h"
#include "platform/qt_dialogs.h"

namespace platform {

// The real machine: QSerialPort, QTimer, native dialogs.
class QtPlatform : public Platform {
public:
    std::unique_ptr<SerialPort> createSerialPort() override;
    Timer* createTimer(QObject* parent) override;
    Dialogs& dialogs() override { return dialogs_; }
    QString deviceForPort(int portNo) override;

private:
    QtDialogs dialogs_;
    PresentDevices present_;
};

} // namespace platform

#pragma once

#include "core/platform/serial_port.h"
#include "core/platform/timer.h"

#include <QString>
#include <memory>

class QObject;

namespace platform {

// What the device core needs from the machine it runs on, in one place. The
// windows need message boxes and file dialogs as well; those are Dialogs.
class Platform {
public:
    virtual ~Platform() = default;
    virtual std::unique_ptr<SerialPort> createSerialPort() = 0;
    // The port for a serial device server, opened with "tcp://HOST:PORT".
    virtual std::unique_ptr<SerialPort> createNetworkPort() = 0;
    virtual Timer* createTimer(QObject* parent) = 0;
    // The device that port number 1..10 ("COM1".."COM10") reaches, as shown in
    // the port list's tooltips (portTooltip()); empty when nothing stands
    // behind the number. A text for which isNetworkTarget() holds goes to
    // the network port, any other to the serial port.
    virtual QString deviceForPort(int portNo) = 0;
};

} // namespace platform

#pragma once

#include "core/protocol/commands.h"

#include <QObject>
#include <QString>
#include <cstdint>

namespace platform {
class Platform;
class Timer;
} // namespace platform
namespace seriallink {
class Wire;
}

namespace device {

// The device's modes. Around the settings, EDID and IR code work the device
// is told to enter a mode (its entry word) and later to leave it (its exit
// word); the mode variable says meanwhile which feature the device's
// replies belong to. A two-second watchdog warns when the device does not
// echo the entry word.
class DeviceModes : public QObject {
    Q_OBJECT
public:
    using Mode = protocol::Mode;

    DeviceModes(seriallink::Wire& wire, platform::Platform& platform);

    // The port-open guard, then the mode variable to 1, the entry word and
    // the watchdog. False, with nothing sent, when the port is closed.
    bool enter(Mode m);
    // The exit word, then the mode variable back to 0.
    void leave(Mode m);
    // The device echoed the entry word: no warning follows.
    void confirm();
    // The device echoed an exit word by itself while the mode was on: it
    // left the mode, and the feature working in it must end.
    void deviceLeft(Mode m);

    std::uint8_t& variable(Mode m);
    static QString entryWord(Mode m);
    static QString exitWord(Mode m);

    void Timer2_Timer();

    std::uint8_t SetupMode = 0;
    std::uint8_t EdidMode = 0;
    std::uint8_t IrMode = 0;
    platform::Timer* Timer2 = nullptr; // the watchdog, 2000 ms, one shot

signals:
    // The device echoed the entry word.
    void confirmed();
    // The watchdog ran out: "Device is not connect!".
    void notConfirmed();
    void leftByDevice(device::DeviceModes::Mode m);

private:
    seriallink::Wire& wire_;
};

} // namespace device

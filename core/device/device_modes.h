#pragma once

#include "core/protocol/commands.h"

#include <QObject>
#include <QString>

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

    // Whether the program has the device in mode m: the entry word went
    // out, the exit word not yet. The replies are read as that mode's.
    bool isOn(Mode m) const;
    // Sets the mode without a word on the line, as a reply arriving in the
    // middle of a mode would find it.
    void setOn(Mode m, bool on) { flag(m) = on; }
    // The entry word went out and its echo has not come yet.
    bool awaitingEcho() const;
    // No warning follows the entry word: its exchange ended another way.
    void stopWatchdog();
    static QString entryWord(Mode m);
    static QString exitWord(Mode m);

signals:
    // The device echoed the entry word.
    void confirmed();
    // The watchdog ran out: "Device is not connect!".
    void notConfirmed();
    void leftByDevice(device::DeviceModes::Mode m);

private:
    bool& flag(Mode m);
    void watchdogExpired();

    seriallink::Wire& wire_;
    bool setup_ = false;
    bool edid_ = false;
    bool ir_ = false;
    platform::Timer* watchdog_ = nullptr; // 2000 ms, one shot
};

} // namespace device

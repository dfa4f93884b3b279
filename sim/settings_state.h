#pragma once

#include <QByteArray>
#include <array>

namespace sim {

class Device;

// What the simulated switcher keeps for its settings and network address.
struct SettingsState {
    int longCable = 1;         // "slc" value: bit 1 long-cable HDMI, bit 0 always set
    int edidMode = 0;          // "smd" value 0..5
    int allPortsMask = 0xFF;   // answer to an all-inputs EDID copy
    int leaveAfter = 0;        // leave setting mode after this many settings commands; 0 never
    int commandsInSetting = 0; // settings commands since the last "sts" in setting mode
    bool autoAddress = true;   // "dhc" chosen last, else the fixed address
    std::array<int, 4> address{0, 0, 0, 0};
    int resets = 0; // factory resets done
};

// The device leaves setting mode by itself: what it sends ("sto" CR LF) to
// say so. Also used by tests to make it happen at a moment of their choice.
QByteArray leaveSettingMode(Device& d);

} // namespace sim

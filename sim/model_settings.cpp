#include "sim/device.h"

namespace sim {

void registerSettingsCommands(Device&) {}

void addSettingsOptions(QCommandLineParser&) {}

bool applySettingsOptions(const QCommandLineParser&, Device&, QString*) {
    return true;
}

} // namespace sim

#include "sim/device.h"

namespace sim {

void registerEdidCommands(Device&) {}

void addEdidOptions(QCommandLineParser&) {}

bool applyEdidOptions(const QCommandLineParser&, Device&, QString*) {
    return true;
}

} // namespace sim

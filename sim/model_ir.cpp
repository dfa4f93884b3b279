#include "sim/device.h"

namespace sim {

void registerIrCommands(Device&) {}

void addIrOptions(QCommandLineParser&) {}

bool applyIrOptions(const QCommandLineParser&, Device&, QString*) {
    return true;
}

} // namespace sim

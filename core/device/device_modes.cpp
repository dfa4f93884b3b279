#include "core/device/device_modes.h"

#include "core/platform/platform.h"
#include "core/seriallink/connection.h"
#include "core/seriallink/wire.h"

namespace device {

DeviceModes::DeviceModes(seriallink::Wire& wire, platform::Platform& platform) : wire_(wire) {
    Timer2 = platform.createTimer(this);
    Timer2->setInterval(2000);
    Timer2->setSingleShot(true);
    connect(Timer2, &platform::Timer::timeout, this, &DeviceModes::Timer2_Timer);
}

std::uint8_t& DeviceModes::variable(Mode m) {
    switch (m) {
    case Mode::Setup:
        return SetupMode;
    case Mode::Edid:
        return EdidMode;
    case Mode::Ir:
        break;
    }
    return IrMode;
}

QString DeviceModes::entryWord(Mode m) {
    return protocol::entryWord(m);
}

QString DeviceModes::exitWord(Mode m) {
    return protocol::exitWord(m);
}

bool DeviceModes::enter(Mode m) {
    if (!wire_.guardOpen())
        return false;
    variable(m) = 1;
    wire_.line(entryWord(m));
    // Re-enabling while a previous entry is still unconfirmed gives the new
    // entry its full two seconds.
    Timer2->start();
    return true;
}

void DeviceModes::leave(Mode m) {
    wire_.line(exitWord(m));
    variable(m) = 0;
}

void DeviceModes::confirm() {
    Timer2->stop();
    emit confirmed();
}

void DeviceModes::deviceLeft(Mode m) {
    emit leftByDevice(m);
}

void DeviceModes::Timer2_Timer() {
    Timer2->stop();
    emit notConfirmed();
}

} // namespace device

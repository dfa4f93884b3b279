#include "core/device/device_modes.h"

#include "core/platform/platform.h"
#include "core/seriallink/connection.h"
#include "core/seriallink/wire.h"

namespace device {

DeviceModes::DeviceModes(seriallink::Wire& wire, platform::Platform& platform) : wire_(wire) {
    watchdog_ = platform.createTimer(this);
    watchdog_->setInterval(2000);
    watchdog_->setSingleShot(true);
    connect(watchdog_, &platform::Timer::timeout, this, &DeviceModes::watchdogExpired);
}

bool& DeviceModes::flag(Mode m) {
    switch (m) {
    case Mode::Setup:
        return setup_;
    case Mode::Edid:
        return edid_;
    case Mode::Ir:
        break;
    }
    return ir_;
}

bool DeviceModes::isOn(Mode m) const {
    return m == Mode::Setup ? setup_ : m == Mode::Edid ? edid_ : ir_;
}

bool DeviceModes::awaitingEcho() const {
    return watchdog_->isActive();
}

void DeviceModes::stopWatchdog() {
    watchdog_->stop();
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
    flag(m) = true;
    wire_.line(entryWord(m));
    // Re-enabling while a previous entry is still unconfirmed gives the new
    // entry its full two seconds.
    watchdog_->start();
    return true;
}

void DeviceModes::leave(Mode m) {
    wire_.line(exitWord(m));
    flag(m) = false;
}

void DeviceModes::confirm() {
    watchdog_->stop();
    emit confirmed();
}

void DeviceModes::deviceLeft(Mode m) {
    emit leftByDevice(m);
}

void DeviceModes::watchdogExpired() {
    watchdog_->stop();
    emit notConfirmed();
}

} // namespace device

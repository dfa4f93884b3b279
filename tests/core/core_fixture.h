#pragma once

#include "core/device/mode_session.h"
#include "core/device/switcher.h"
#include "sim/device.h"
#include "sim/inprocess_port.h"
#include "testing/fakes/fake_platform.h"

#include <memory>

// A stay in a device mode for as long as the core lives: the features'
// commands go out inside it, as a window's do.
inline bool enterMode(device::Switcher& s, device::ModeSession::Mode m) {
    auto* session = new device::ModeSession(s, m);
    session->setParent(&s);
    return session->enter();
}

// The device core without a window, wired to the simulated switcher in the
// same process, on a clock the test moves: answers come only when run()
// hands them over.
struct CoreFixture {
    // model: the program's and the simulator's of that name.
    explicit CoreFixture(const QString& model = protocol::Model::standard().name)
        : device(*sim::findShape(model)) {
        platform.portFactory = sim::InProcessPort::factory(device, port, false);
        core = std::make_unique<device::Switcher>(platform, *protocol::Model::find(model));
        core->link().open(1);
    }
    // Every answer, and the answers to what they make the core send, then
    // ms of time, then whatever that time made the core send.
    void run(int ms = 0) {
        port->pump();
        platform.clock().advance(ms);
        port->pump();
    }

    sim::Device device;
    platform::FakePlatform platform;
    sim::InProcessPort* port = nullptr;
    std::unique_ptr<device::Switcher> core;
};

#pragma once

#include "frontends/windows/main_window/main_window.h"
#include "sim/device.h"
#include "sim/pty_transport.h"
#include "testing/fakes/fake_platform.h"

#include <QByteArrayList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

// The real program core and the real QSerialPort talking to the simulated
// switcher over a pseudo-terminal, in a fresh working directory. Only the
// dialogs are fakes, so no test ever blocks on a modal box.
struct SimHarness {
    explicit SimHarness(bool paced = false);
    ~SimHarness();

    // Runs the event loop until cond holds or ms pass; whether it held.
    static bool waitFor(const std::function<bool()>& cond, int ms = 5000);
    platform::FakeDialogs& dialogs() { return platform.fakeDialogs(); }

    QTemporaryDir dir;
    QString previousDir;
    sim::Device device;
    sim::PtyTransport line;
    platform::FakePlatform platform{{true, true}};
    std::unique_ptr<MainWindow> form;
    QByteArrayList received; // every command line the device received
    bool ok = false;         // the pseudo-terminal came up and the port opened
};

#pragma once

#include "frontends/windows/main_window/main_window.h"
#include "testing/fakes/fake_platform.h"

#include <QTemporaryDir>
#include <memory>

// A main window on the fake platform, started in a fresh working directory:
// a fake port that records every byte, recording dialogs, a hand-driven clock.
struct FormFixture {
    explicit FormFixture(bool load = true,
                         const protocol::Model& model = protocol::Model::standard());
    ~FormFixture();

    platform::FakeSerialPort& port() { return *platform.port(); }
    platform::FakeDialogs& dialogs() { return platform.fakeDialogs(); }
    // Bytes written since the last call.
    QByteArray takeWritten();
    // Delivers bytes from the device and lets the receive timer run over them.
    void receive(const QByteArray& bytes, int ms = 10);
    void advance(int ms) { platform.clock().advance(ms); }

    QTemporaryDir dir;
    QString previousDir;
    platform::FakePlatform platform;
    std::unique_ptr<MainWindow> form;
};

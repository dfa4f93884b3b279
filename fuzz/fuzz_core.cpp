// Arbitrary bytes from the line, in arbitrary chunks and time steps, into the
// device core without any window: the connection's receive pump, the reply
// router and every feature's exchange, each started in each of its states,
// with operator actions in between. The line's other end is the simulated
// switcher in the same process: the input chooses when its answers come and
// which are lost, and puts noise between them, so that the exchanges go on
// for real and leave their course at any point.
//
// Each input gets a core built afresh, so a finding replays alone: nothing
// an earlier input left can reach it.

#include "core/device/mode_session.h"
#include "core/device/switcher.h"
#include "core/protocol/commands.h"
#include "sim/device.h"
#include "sim/inprocess_port.h"
#include "testing/fakes/fake_platform.h"

#include <QCoreApplication>
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

using Mode = device::DeviceModes::Mode;

enum State {
    Idle,
    SettingsIdle,
    SettingsPendingOne,
    SettingsPendingAll,
    EdidIdle,
    EdidReading,
    EdidDownloading,
    EdidVerifying,
    IrIdle,
    IrReading,
    IrWriting,
    IrChecking,
    StateCount
};

// The stay in a device mode the input starts in, as a window's.
std::unique_ptr<device::ModeSession> stay;

void enterMode(device::Switcher& s, Mode m) {
    stay = std::make_unique<device::ModeSession>(s, m);
    stay->enter();
}

void enter(device::Switcher& s, std::uint8_t state) {
    switch (state % StateCount) {
    case Idle:
        break;
    case SettingsIdle:
    case SettingsPendingOne:
    case SettingsPendingAll:
        enterMode(s, Mode::Setup);
        s.settings().statusQuery();
        if (state % StateCount == SettingsPendingOne)
            s.settings().factoryReset();
        else if (state % StateCount == SettingsPendingAll)
            s.settings().copyEdid(0, 8);
        break;
    case EdidIdle:
        enterMode(s, Mode::Edid);
        break;
    case EdidReading:
        enterMode(s, Mode::Edid);
        s.edid().startRead();
        break;
    case EdidDownloading:
        enterMode(s, Mode::Edid);
        s.edid().startDownload(edid::Image{});
        break;
    case EdidVerifying:
        // Where a download leaves the transfer once byte 255 was accepted.
        enterMode(s, Mode::Edid);
        s.edid().startDownload(edid::Image{});
        for (int i = 0; i < 257; ++i)
            s.router().readLine(QString::fromLatin1(i == 0 ? "rdy\r" : "ok\r"));
        break;
    case IrIdle:
        enterMode(s, Mode::Ir);
        break;
    case IrReading:
        enterMode(s, Mode::Ir);
        s.irCodes().readCode();
        break;
    case IrWriting:
    case IrChecking:
        enterMode(s, Mode::Ir);
        s.irCodes().writeCode();
        if (state % StateCount == IrChecking) {
            for (int k = 0; k <= ir::kLastEntry; ++k)
                s.router().readLine(QStringLiteral("wok\r"));
        }
        break;
    }
}

// An operator action in the middle of the traffic.
void poke(device::Switcher& s, std::uint8_t op) {
    switch (op % 10) {
    case 0:
        s.requests().submit(
            new device::WriteRequest(seriallink::wireBytes(protocol::routeCommand(op % 8, op % 10)),
                                     device::WriteRequest::Check::Reported));
        break;
    case 1:
        s.requests().submit(device::RoutingRequest::status(1000));
        break;
    case 2:
        s.edid().startRead();
        break;
    case 3:
        s.edid().startDownload(edid::Image{});
        break;
    case 4:
        s.irCodes().readCode();
        break;
    case 5:
        s.irCodes().writeCode();
        break;
    case 6:
        s.settings().copyEdid(op % 9 - 1, op % 10);
        break;
    case 7:
        s.irCodes().learnInto(op % 81);
        break;
    case 8:
        // The window closes: the feature ends and the device leaves its mode.
        s.edid().end();
        s.irCodes().end();
        s.settings().forgetPending();
        if (stay)
            stay->leave();
        break;
    case 9:
        s.link().close();
        break;
    }
}

// The last progress each transfer reported.
struct {
    int edid = 0;
    int ir = 0;
} progressSeen;

// What no input may break. The lamps are looked at once the input is over.
void check(device::Switcher& s, bool whole) {
    seriallink::Connection& link = s.link();
    const edid::EdidTransfer& e = s.edid();
    const ir::IrCodeRun& r = s.irCodes();
    bool ok = link.rx().size() <= 511 && link.lines().partialLength() <= 13;
    ok = ok && e.nextByte() >= 0 && e.nextByte() <= 257 && e.bytesShown() >= 0 &&
         e.bytesShown() <= 256;
    ok = ok && progressSeen.edid >= 0 && progressSeen.edid <= 256;
    ok = ok && r.currentEntry() >= 0 && r.currentEntry() <= ir::kLastEntry + 1;
    ok = ok && r.learnTarget() >= 1 && r.learnTarget() <= ir::kLastEntry;
    ok = ok && progressSeen.ir >= 0 && progressSeen.ir <= ir::kLastEntry;
    for (int o = 1; whole && o <= 8; ++o)
        ok = ok && s.routing().litLamp(o) >= -1 && s.routing().litLamp(o) <= 7;
    for (int o = 0; whole && o < 8; ++o)
        ok = ok && s.irRouting().input(o) >= -1 && s.irRouting().input(o) <= 7;
    if (!ok)
        std::abort();
}

struct World {
    World() {
        platform.portFactory = sim::InProcessPort::factory(device, port, false);
        for (int k = 0; k <= ir::kLastEntry; ++k)
            table << QString::number(k, 16);
    }

    sim::Device device;
    platform::FakePlatform platform;
    sim::InProcessPort* port = nullptr;
    std::unique_ptr<device::Switcher> core;
    QStringList table;

    // A core as after start-up, on an open port: nothing received, no mode,
    // nothing running or pending, and a valid table of distinct IR codes.
    void reset() {
        stay.reset();
        core.reset();
        core = std::make_unique<device::Switcher>(platform);
        core->link().open(1);
        ir::IrCodeRun& r = core->irCodes();
        for (int k = 0; k <= ir::kLastEntry; ++k)
            r.setCode(k, table.at(k));
        QObject::connect(&r, &ir::IrCodeRun::progress, [](int done) { progressSeen.ir = done; });
        QObject::connect(&core->edid(), &edid::EdidTransfer::progress,
                         [](int done) { progressSeen.edid = done; });
        port->dropPending();
        port->written.clear();
        // The device forgets the mode and any transfer it had open.
        device.mode.clear();
        device.edid.port = -1;
    }
};

World* world = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    new QCoreApplication(*argc, *argv);
    world = new World;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    world->reset();
    platform::FakePlatform& platform = world->platform;
    device::Switcher& s = *world->core;
    sim::InProcessPort& port = *world->port;
    enter(s, in.ConsumeIntegral<std::uint8_t>());
    // A few operator actions an input: each costs what a hundred chunks of
    // traffic do, and the traffic is what is being tried.
    int actions = 0;
    int answers = 12;
    while (in.remaining_bytes() > 0) {
        const std::uint8_t op = in.ConsumeIntegral<std::uint8_t>();
        if (op < 64) {
            platform.clock().advance(1 + op % 50 + (op / 50) * 1000);
        } else if (op < 192) {
            const auto n = in.ConsumeIntegralInRange<std::size_t>(1, 40);
            port.deliverNow(QByteArray::fromStdString(in.ConsumeBytesAsString(n)));
        } else if (op < 240) {
            // The device's next answers, and what they make the core send;
            // a few dozen an input, so that inputs stay cheap.
            const int rounds = std::min(1 + op % 4, answers);
            answers -= rounds;
            port.pump(rounds);
        } else if (op < 246) {
            port.dropPending();
        } else if (op < 250) {
            if (!port.isOpen())
                s.link().open(1);
        } else if (actions++ < 3) {
            poke(s, in.ConsumeIntegral<std::uint8_t>());
        }
        check(s, false);
    }
    platform.clock().advance(3000);
    check(s, true);
    return 0;
}

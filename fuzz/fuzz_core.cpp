// Arbitrary bytes from the line, in arbitrary chunks and time steps, into the
// device core without any window: the connection's receive pump, the reply
// router and every feature's exchange, each started in each of its states,
// with operator actions in between. The line's other end is the simulated
// switcher in the same process: the input chooses when its answers come and
// which are lost, and puts noise between them, so that the exchanges go on
// for real and leave their course at any point.
//
// One core serves every input and is put back to its starting state before
// each: what the state includes is all a reply can depend on, so a finding
// replays alone. (Building the core afresh would cost more than most inputs
// take to run.)

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
    case EdidVerifying: {
        // Where a download leaves the transfer once byte 255 was accepted.
        edid::EdidTransfer& e = s.edid();
        enterMode(s, Mode::Edid);
        e.startDownload(edid::Image{});
        e.start_Load = 0;
        e.slave = 0;
        e.start_Read = 1;
        e.Verify = 1;
        e.edid_Len = 0;
        break;
    }
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
            s.irCodes().codeInt = ir::kLastEntry;
            s.router().FindCmdProcess(QStringLiteral("wok\r"));
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
    bool ok = link.rx().RxCount() <= 511 && link.rx().LineLen <= 13;
    ok = ok && e.slave >= 0 && e.slave <= 257 && e.edid_Len >= 0 && e.edid_Len <= 256;
    ok = ok && progressSeen.edid >= 0 && progressSeen.edid <= 256;
    ok = ok && r.codeInt >= 0 && r.codeInt <= ir::kLastEntry + 1;
    ok = ok && r.codefocus >= 1 && r.codefocus <= ir::kLastEntry;
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
        core = std::make_unique<device::Switcher>(platform);
        for (int k = 0; k <= ir::kLastEntry; ++k)
            table << QString::number(k, 16);
        ir::IrCodeRun& r = core->irCodes();
        QObject::connect(&r, &ir::IrCodeRun::markChanged, [this] { marksTouched = true; });
        QObject::connect(&r, &ir::IrCodeRun::progress, [](int done) { progressSeen.ir = done; });
        QObject::connect(&core->edid(), &edid::EdidTransfer::progress,
                         [](int done) { progressSeen.edid = done; });
    }

    sim::Device device;
    platform::FakePlatform platform;
    sim::InProcessPort* port = nullptr;
    std::unique_ptr<device::Switcher> core;
    QStringList table;
    bool marksTouched = true; // an IR entry's mark may not be Normal

    // Back to how the core stands after start-up: nothing received, no mode,
    // nothing running or pending, empty tables.
    void reset() {
        stay.reset();
        core->requests().drop(0);
        seriallink::Connection& link = core->link();
        if (!link.isOpen())
            link.open(1);
        link.rx().RxInit();
        link.rx().LineLen = 0;
        link.lines().IdleTicks = 0;
        link.Timer1->stop();
        device::DeviceModes& m = core->modes();
        m.SetupMode = m.EdidMode = m.IrMode = 0;
        m.Timer2->stop();
        edid::EdidTransfer& e = core->edid();
        e.end();
        e.prepare();
        e.Verify = 0;
        e.temp_slave = 0;
        e.temp_errs = 0;
        // A valid table of distinct codes, set again only where an input
        // changed it: setting all 81 entries costs more than a short input.
        ir::IrCodeRun& r = core->irCodes();
        r.end();
        // (Comparing the lists costs little: their strings' code is not
        // instrumented.)
        if (r.codes() != table)
            for (int k = 0; k <= ir::kLastEntry; ++k)
                if (r.code(k) != table.at(k))
                    r.setCode(k, table.at(k));
        for (int k = 0; marksTouched && k <= ir::kLastEntry; ++k)
            if (r.mark(k) != ir::IrCodeRun::Mark::Normal)
                r.setMark(k, ir::IrCodeRun::Mark::Normal);
        marksTouched = false;
        r.method = 0;
        r.codeInt = 0;
        r.codefocus = 1;
        settings::SettingsSession& st = core->settings();
        st.forgetPending();
        st.Clicked = -1;
        st.LCmode = 0;
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

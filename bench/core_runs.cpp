#include "bench/core_runs.h"

#include "core/device/mode_session.h"
#include "core/device/switcher.h"
#include "core/edid/edid_image.h"
#include "sim/device.h"
#include "sim/inprocess_port.h"
#include "testing/fakes/fake_platform.h"

#include <QElapsedTimer>

namespace bench {

namespace {

using Mode = device::DeviceModes::Mode;

// Runs one transfer to its result; false with the reason when it failed.
bool runOnce(Transfer t, int& exchanges, double& us, QString& failure) {
    sim::Device device;
    platform::FakePlatform platform;
    sim::InProcessPort* port = nullptr;
    platform.portFactory = sim::InProcessPort::factory(device, port, false);
    device::Switcher core(platform);
    core.link().open(1);
    device::ModeSession session(core, t == Transfer::IrWrite ? Mode::Ir : Mode::Edid);
    session.enter();
    port->pump();
    edid::Image m{};
    if (t == Transfer::EdidDownload) {
        std::copy(device.edid.images[1].begin(), device.edid.images[1].end(), m.begin());
        m[10] ^= 0x5A;
        edid::setChecksums(m);
    }
    std::optional<transfer::Outcome> outcome;
    const auto keep = [&](const transfer::Outcome& o) { outcome = o; };
    QObject::connect(&core.edid(), &edid::EdidTransfer::finished, keep);
    QObject::connect(&core.irCodes(), &ir::IrCodeRun::finished, keep);
    if (t == Transfer::IrWrite)
        for (int k = 0; k <= ir::kLastEntry; ++k)
            core.irCodes().setCode(k, QString::number(0x20 + k, 16));
    const qsizetype before = port->written.count('\n');
    QElapsedTimer clock;
    clock.start();
    switch (t) {
    case Transfer::EdidRead:
        core.edid().startRead();
        break;
    case Transfer::EdidDownload:
        core.edid().startDownload(m);
        break;
    case Transfer::IrWrite:
        core.irCodes().writeCode();
        break;
    }
    port->pump();
    const qint64 ns = clock.nsecsElapsed();
    // The quiet after a plain read's last answer, on the fake clock.
    platform.clock().advance(edid::EdidTransfer::kSettleMs);
    port->pump();
    if (!outcome || !outcome->ok()) {
        failure = outcome ? QStringLiteral("ended with error %1 at %2")
                                .arg(int(outcome->error))
                                .arg(outcome->index)
                          : QStringLiteral("did not end");
        return false;
    }
    exchanges = int(port->written.count('\n') - before);
    us = double(ns) / 1e3 / exchanges;
    return true;
}

} // namespace

CoreRunResult coreRuns(Transfer t, int reps) {
    CoreRunResult r;
    for (int i = 0; i < reps; ++i) {
        double us = 0;
        if (!runOnce(t, r.exchanges, us, r.failure))
            return r;
        r.usPerExchange << us;
    }
    r.ok = true;
    return r;
}

} // namespace bench

// Arbitrary bytes from the line, in arbitrary chunks and tick timings,
// through the receive queue, the line assembly and the reply interpreter,
// with each feature window open in each of its states.

#include "frontends/windows/main_window/form1.h"
#include "fuzz/states.h"
#include "testing/fakes/fake_platform.h"

#include <QApplication>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>

namespace {

struct World {
    platform::FakePlatform platform;
    Form1 form{platform, platform.fakeDialogs()};
    World() { form.Form_Load(); }
};

World* world = nullptr;

void checkInvariants(Form1& f) {
    for (const auto& row : f.lamps) {
        int lit = 0;
        for (auto* lamp : row)
            lit += lamp->isLit();
        if (lit > 1)
            std::abort();
    }
    if (f.link().rx().size() > 511 || f.link().lines().partialLength() > 13)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*=false");
    new QApplication(*argc, *argv);
    world = new World;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    Form1& f = world->form;
    auto& port = *world->platform.port();
    auto& clock = world->platform.clock();
    if (!port.isOpen())
        f.Command7_Click(); // the line may have been "pulled" by an earlier input
    world->platform.fakeDialogs().messages.clear();
    port.written.clear();

    fuzzstates::enter(f, in.ConsumeIntegral<std::uint8_t>());
    while (in.remaining_bytes() > 0) {
        const std::uint8_t op = in.ConsumeIntegral<std::uint8_t>();
        if (op < 64) {
            clock.advance(1 + op % 40);
        } else if (op < 250) {
            port.deliver(QByteArray::fromStdString(
                in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(1, 40))));
        } else if (op == 250) {
            port.deliver(QByteArray::fromStdString(in.ConsumeBytesAsString(1500)));
        } else {
            fuzzstates::poke(f, op);
        }
        checkInvariants(f);
    }
    clock.advance(100);
    checkInvariants(f);
    fuzzstates::leave(f);
    return 0;
}

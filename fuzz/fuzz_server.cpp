// Arbitrary bytes from a client, in arbitrary chunks, through the Videohub
// session (block reader, requests, shared state) and the line port's line
// reader. Nothing but a valid route may reach the switcher, and the limits
// hold.

#include "core/device/switcher.h"
#include "frontends/server/line_reader.h"
#include "frontends/server/videohub_session.h"
#include "sim/device.h"
#include "sim/inprocess_port.h"
#include "testing/fakes/fake_platform.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    // The simulated switcher in this process, answering when pumped.
    sim::Device device;
    platform::FakePlatform platform;
    sim::InProcessPort* port = nullptr;
    platform.portFactory = sim::InProcessPort::factory(device, port, false);
    device::Switcher core(platform);
    core.link().open(1);
    server::RouterState state;
    state.attach(&core.requests());
    state.setPresent(in.ConsumeBool());
    if (in.ConsumeBool())
        state.ask(
            {QStringLiteral("10.0.0.9"), QStringLiteral("videohub"), QStringLiteral("10.0.0.9")},
            server::RouterState::Change::toLocks(
                {{in.ConsumeIntegralInRange(1, 8), server::RouterState::LockAction::Own}}));
    server::VideohubSession session(state, {}, QStringLiteral("10.0.0.1"));
    QByteArray out;
    QObject::connect(&session, &server::VideohubSession::send,
                     [&out](const QByteArray& b) { out += b; });
    server::LineReader lines;
    while (in.remaining_bytes() > 0) {
        const std::string chunk = in.ConsumeRandomLengthString(8192);
        const QByteArrayView bytes(chunk.data(), qsizetype(chunk.size()));
        session.receive(bytes);
        QByteArrayList got;
        const bool fine = lines.feed(bytes, got);
        // Whole lines only: one line end, at the end (LF, CR LF or CR).
        for (const QByteArray& l : got) {
            const qsizetype end = l.size() - (l.endsWith("\r\n") ? 2 : 1);
            check(l.size() <= server::LineReader::kMaxLine && end >= 0 &&
                  (l[end] == '\r' || l[end] == '\n') && !l.first(end).contains('\r') &&
                  !l.first(end).contains('\n'));
        }
        if (in.ConsumeBool())
            port->pump();
        if (!fine)
            break;
    }
    static const QRegularExpression valid(
        QStringLiteral("^(cir [0-7][0-7]|msw [0-2]|msa [0-2]|asw [0-7]|bc )$"));
    for (const QByteArray& c : port->written.split('\n'))
        check(c.isEmpty() ||
              (c.endsWith('\r') && valid.match(QString::fromLatin1(c.chopped(1))).hasMatch()));
    // Every answer is a whole block; the labels stay within their rules.
    check(out.isEmpty() || out.endsWith("\n\n"));
    for (int p = 1; p <= 8; ++p) {
        check(server::RouterState::labelAllowed(state.inputLabel(p)));
        check(server::RouterState::labelAllowed(state.outputLabel(p)));
    }
    return 0;
}

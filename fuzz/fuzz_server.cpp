// Arbitrary bytes from a client, in arbitrary chunks, through the Videohub
// session (block reader, requests, shared state) and the line port's line
// reader. Nothing but a valid route may reach the switcher, and the limits
// hold.

#include "frontends/server/line_reader.h"
#include "frontends/server/videohub_session.h"

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
    server::RouterState state;
    state.setPresent(in.ConsumeBool());
    if (in.ConsumeBool())
        state.changeLocks(QStringLiteral("10.0.0.9"), {{in.ConsumeIntegralInRange(0, 7),
                                                        server::RouterState::LockAction::Own}});
    static const QRegularExpression valid(
        QStringLiteral("^(cir [0-7][0-7]|msw [0-2]|msa [0-2]|asw [0-7])$"));
    QObject::connect(&state, &server::RouterState::commandRequested,
                     [](const QString& c) { check(valid.match(c).hasMatch()); });
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
        for (const QByteArray& l : got)
            check(l.size() <= server::LineReader::kMaxLine && l.endsWith('\n'));
        if (!fine)
            break;
    }
    // Every answer is a whole block; the labels stay within their rules.
    check(out.isEmpty() || out.endsWith("\n\n"));
    for (int p = 0; p < 8; ++p) {
        check(server::RouterState::labelAllowed(state.inputLabel(p)));
        check(server::RouterState::labelAllowed(state.outputLabel(p)));
    }
    return 0;
}

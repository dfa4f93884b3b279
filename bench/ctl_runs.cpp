#include "bench/ctl_runs.h"

#include "bench/bench_util.h"
#include "sim/device.h"
#include "sim/pty_transport.h"

#include <QProcess>
#include <QTemporaryDir>

namespace bench {

namespace {

struct OneRun {
    bool ok = false;
    QString failure;
    double toWireMs = 0;
    double toExitMs = 0;
    qint64 wireBytes = 0;
};

OneRun runOnce(const QString& ctlPath, const QStringList& args, const QByteArray& command,
               bool paced, int runMs) {
    OneRun r;
    QTemporaryDir dir;
    sim::Device device;
    sim::PtyTransport line;
    line.setPaced(paced);
    if (!line.start(dir.path(), 1, &r.failure))
        return r;
    QByteArray got;
    qint64 wireNs = -1;
    qint64 exitNs = -1;
    // Paced, the bytes come here once they have crossed the wire.
    line.onReceive = [&](const QByteArray& bytes) {
        got += bytes;
        if (wireNs < 0 && got.contains(command))
            wireNs = nowNs();
        const QByteArray answer = device.receive(bytes);
        r.wireBytes += bytes.size() + answer.size();
        line.send(answer);
        Poker::poke();
    };
    QProcess p;
    QObject::connect(&p, &QProcess::finished, &p, [&] {
        exitNs = nowNs();
        Poker::poke();
    });
    p.setWorkingDirectory(dir.path());
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    const qint64 startNs = nowNs();
    p.start(ctlPath, args);
    waitFor([&] { return exitNs >= 0; }, runMs);
    if (exitNs < 0 || wireNs < 0 || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        r.failure = QStringLiteral("%1 %2: exit %3, %4")
                        .arg(ctlPath, args.join(' '))
                        .arg(p.exitCode())
                        .arg(wireNs < 0 ? QStringLiteral("command never arrived")
                                        : QStringLiteral("did not end well"));
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.toWireMs = double(wireNs - startNs) / 1e6;
    r.toExitMs = double(exitNs - startNs) / 1e6;
    r.ok = true;
    return r;
}

} // namespace

CtlRuns runCtl(const QString& ctlPath, const QStringList& args, const QByteArray& command,
               bool paced, int reps, int runMs) {
    CtlRuns runs;
    // Warm caches, as the start-up rows do.
    runOnce(ctlPath, args, command, paced, runMs);
    for (int i = 0; i < reps; ++i) {
        const OneRun r = runOnce(ctlPath, args, command, paced, runMs);
        if (!r.ok) {
            runs.failure = r.failure;
            return runs;
        }
        runs.toWireMs << r.toWireMs;
        runs.toExitMs << r.toExitMs;
        runs.wireBytes = r.wireBytes;
    }
    runs.ok = true;
    return runs;
}

} // namespace bench

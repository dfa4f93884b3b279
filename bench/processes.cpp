#include "bench/processes.h"

#include "bench/bench_util.h"
#include "sim/device.h"
#include "sim/pty_transport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace bench {

namespace {

constexpr int kUpMs = 15000;
constexpr int kSettleMs = 1000;

QProcessEnvironment offscreenEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.qpa.*=false"));
    return env;
}

void stop(QProcess& p) {
    if (p.state() == QProcess::NotRunning)
        return;
    p.kill();
    waitFor([&] { return p.state() == QProcess::NotRunning; }, kUpMs);
}

// The real program wired to an unpaced in-process switcher that answers its
// greeting and otherwise stays silent.
class ProgramRun {
public:
    explicit ProgramRun(const QString& programPath) {
        if (!line_.start(dir_.path(), 1, &failure_))
            return;
        QFile comport(QDir(dir_.path()).filePath(QStringLiteral("COMPORT")));
        if (!comport.open(QIODevice::WriteOnly) || comport.write(" 0 \r\n") != 5) {
            failure_ = QStringLiteral("cannot write COMPORT");
            return;
        }
        comport.close();
        line_.onReceive = [this](const QByteArray& bytes) {
            got_ += bytes;
            if (greetedNs_ < 0 && got_.contains("bc "))
                greetedNs_ = nowNs();
            line_.send(device_.receive(bytes));
            Poker::poke();
        };
        QObject::connect(&process_, &QProcess::stateChanged, &Poker::instance(), &Poker::poke);
        process_.setProcessEnvironment(offscreenEnvironment());
        process_.setWorkingDirectory(dir_.path());
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.setProgram(programPath);
        startNs_ = nowNs();
        process_.start();
        waitFor([&] { return greetedNs_ >= 0 || process_.state() == QProcess::NotRunning; }, kUpMs);
        if (greetedNs_ < 0) {
            failure_ =
                QStringLiteral("no greeting from %1 (%2)").arg(programPath, process_.errorString());
            return;
        }
        ok_ = true;
    }
    ~ProgramRun() { stop(process_); }

    bool ok() const { return ok_; }
    QString failure() const { return failure_; }
    double startupMs() const { return double(greetedNs_ - startNs_) / 1e6; }
    qint64 pid() const { return process_.processId(); }

private:
    QTemporaryDir dir_;
    sim::Device device_;
    sim::PtyTransport line_;
    QProcess process_;
    QByteArray got_;
    qint64 startNs_ = 0;
    qint64 greetedNs_ = -1;
    bool ok_ = false;
    QString failure_;
};

void takeMemory(qint64 pid, StartResult& r) {
    const std::optional<Memory> m = memoryOf(pid);
    if (!m)
        return;
    r.peakKiB = m->peakKiB;
    r.anonKiB = m->anonKiB;
    r.fileKiB = m->fileKiB;
    r.ok = true;
}

} // namespace

StartResult startProgram(const QString& programPath) {
    StartResult r;
    ProgramRun run(programPath);
    if (!run.ok()) {
        r.failure = run.failure();
        return r;
    }
    r.startupMs = run.startupMs();
    idleFor(kSettleMs);
    takeMemory(run.pid(), r);
    if (!r.ok)
        r.failure = QStringLiteral("no VmHWM");
    return r;
}

StartResult startEmptyWindow(const QString& emptyWindowPath, bool withLabel) {
    StartResult r;
    QProcess p;
    qint64 aliveNs = -1;
    QObject::connect(&p, &QProcess::readyReadStandardOutput, &p, [&] {
        if (aliveNs < 0)
            aliveNs = nowNs();
        Poker::poke();
    });
    QObject::connect(&p, &QProcess::stateChanged, &Poker::instance(), &Poker::poke);
    p.setProcessEnvironment(offscreenEnvironment());
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 startNs = nowNs();
    p.start(emptyWindowPath, withLabel ? QStringList{"--label"} : QStringList{});
    waitFor([&] { return aliveNs >= 0 || p.state() == QProcess::NotRunning; }, kUpMs);
    if (aliveNs < 0) {
        r.failure =
            QStringLiteral("no sign of life from %1 (%2)").arg(emptyWindowPath, p.errorString());
        stop(p);
        return r;
    }
    r.startupMs = double(aliveNs - startNs) / 1e6;
    idleFor(kSettleMs);
    takeMemory(p.processId(), r);
    stop(p);
    if (!r.ok)
        r.failure = QStringLiteral("no VmHWM");
    return r;
}

IdleResult idleProgram(const QString& programPath, int seconds) {
    IdleResult r;
    ProgramRun run(programPath);
    if (!run.ok()) {
        r.failure = run.failure();
        return r;
    }
    idleFor(kSettleMs);
    const std::optional<ProcSample> a = sampleProcess(run.pid());
    const qint64 t0 = nowNs();
    idleFor(seconds * 1000);
    const std::optional<ProcSample> b = sampleProcess(run.pid());
    const qint64 t1 = nowNs();
    if (!a || !b) {
        r.failure = QStringLiteral("cannot read /proc for %1").arg(run.pid());
        return r;
    }
    r.seconds = double(t1 - t0) / 1e9;
    r.cpuPercentTicks =
        100.0 * double(b->cpuTicks - a->cpuTicks) / double(clockTicksPerSecond()) / r.seconds;
    r.cpuPercentSchedNs = 100.0 * double(b->cpuNs - a->cpuNs) / 1e9 / r.seconds;
    r.wakeupsPerSecond = double(b->voluntarySwitches - a->voluntarySwitches) / r.seconds;
    QStringList parts;
    for (auto it = b->perThread.begin(); it != b->perThread.end(); ++it)
        parts << QStringLiteral("%1: %2").arg(it.key()).arg(it.value() -
                                                            a->perThread.value(it.key()));
    r.perThread = parts.join(QStringLiteral(", "));
    r.ok = true;
    return r;
}

} // namespace bench

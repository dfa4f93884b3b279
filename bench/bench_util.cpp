#include "bench/bench_util.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <numeric>
#include <unistd.h>

namespace bench {

qint64 nowNs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer c;
        c.start();
        return c;
    }();
    return clock.nsecsElapsed();
}

Poker& Poker::instance() {
    static Poker p;
    return p;
}

bool waitFor(const std::function<bool()>& cond, int ms) {
    if (cond())
        return true;
    QEventLoop loop;
    auto check = [&] {
        if (cond())
            loop.quit();
    };
    QObject::connect(&Poker::instance(), &Poker::poked, &loop, check);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, check);
    poll.start(50);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return cond();
}

QString startTcpSimulator(QProcess& sim, const QString& simPath) {
    sim.start(simPath, {"--tcp", "0", "--quiet"});
    QByteArray banner;
    waitFor([&] { return (banner += sim.readAll()).contains('\n'); }, 5000);
    const qsizetype at = banner.indexOf("tcp://");
    return at < 0 ? QString() : QString::fromLatin1(banner.mid(at)).trimmed();
}

void idleFor(int ms) {
    QEventLoop loop;
    // A coarse timer may end a 10 s wait half a second early.
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

double median(QList<double> v) {
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    const qsizetype n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double mean(const QList<double>& v) {
    if (v.isEmpty())
        return 0;
    return std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
}

namespace {

QByteArray readProc(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// The number after "key:" in a /proc status file.
std::optional<qint64> statusField(const QByteArray& status, const QByteArray& key) {
    for (const QByteArray& line : status.split('\n')) {
        if (!line.startsWith(key + ':'))
            continue;
        bool ok = false;
        const qint64 v = line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong(&ok);
        if (ok)
            return v;
    }
    return std::nullopt;
}

} // namespace

long clockTicksPerSecond() {
    return sysconf(_SC_CLK_TCK);
}

std::optional<ProcSample> sampleProcess(qint64 pid) {
    const QString base = QStringLiteral("/proc/%1").arg(pid);
    const QByteArray stat = readProc(base + "/stat");
    // The command name may hold blanks; the fields start after its ')'.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> f = stat.mid(close + 2).split(' ');
    if (f.size() < 13)
        return std::nullopt;
    ProcSample s;
    s.cpuTicks = f[11].toLongLong() + f[12].toLongLong();
    s.voluntarySwitches = 0;
    const QStringList tasks = QDir(base + "/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& tid : tasks) {
        const QString t = base + "/task/" + tid;
        const QByteArray status = readProc(t + "/status");
        const qint64 switches = statusField(status, "voluntary_ctxt_switches").value_or(0);
        s.voluntarySwitches += switches;
        const QString name = QString::fromLatin1(status.split('\n').value(0).mid(5).trimmed());
        s.perThread.insert(QStringLiteral("%1 (%2)").arg(name, tid), switches);
        s.cpuNs += readProc(t + "/schedstat").split(' ').value(0).toLongLong();
        ++s.threads;
    }
    return s;
}

std::optional<Memory> memoryOf(qint64 pid) {
    const QByteArray status = readProc(QStringLiteral("/proc/%1/status").arg(pid));
    const std::optional<qint64> peak = statusField(status, "VmHWM");
    if (!peak)
        return std::nullopt;
    return Memory{*peak, statusField(status, "RssAnon").value_or(0),
                  statusField(status, "RssFile").value_or(0)};
}

void Table::add(const Row& row) {
    rows_ << row;
    QTextStream out(stdout);
    // Rows show up as they are measured; the table comes at the end.
    out << "  measured " << row.name << ": " << row.measured << Qt::endl;
}

void Table::print() const {
    int w0 = 4, w1 = 8, w2 = 6;
    for (const Row& r : rows_) {
        w0 = std::max(w0, int(r.name.size()));
        w1 = std::max(w1, int(r.measured.size()));
        w2 = std::max(w2, int(r.target.size()));
    }
    QTextStream out(stdout);
    auto line = [&](const QString& a, const QString& b, const QString& c, const QString& d) {
        out << a.leftJustified(w0) << "  " << b.leftJustified(w1) << "  " << c.leftJustified(w2)
            << "  " << d << "\n";
    };
    out << "\n";
    line("Row", "Measured", "Target", "Result");
    line(QString(w0, '-'), QString(w1, '-'), QString(w2, '-'), "------");
    for (const Row& r : rows_)
        line(r.name, r.measured, r.target, !r.valid ? "FAILED" : r.pass ? "PASS" : "MISS");
    for (const QString& n : notes_)
        out << "  " << n << "\n";
    out.flush();
}

bool Table::allPass() const {
    return std::all_of(rows_.begin(), rows_.end(), [](const Row& r) { return r.valid && r.pass; });
}

} // namespace bench

#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QObject>
#include <QProcess>
#include <QString>
#include <functional>
#include <optional>

namespace bench {

// Nanoseconds on one monotonic clock shared by everything the benchmark
// timestamps, so marks taken in callbacks and around calls compare.
qint64 nowNs();

// Whatever may make a waited-for condition true calls poke(); waitFor()
// re-checks its condition then, so a wait ends with the event that ended
// it instead of on a polling tick.
class Poker : public QObject {
    Q_OBJECT
public:
    static Poker& instance();
    static void poke() { emit instance().poked(); }
signals:
    void poked();
};

// Runs the event loop until cond holds or ms pass; whether it held. The
// condition is checked on every poke and, as a fallback, every 50 ms.
bool waitFor(const std::function<bool()>& cond, int ms);
// Runs the event loop for ms.
void idleFor(int ms);
// Starts `hdmi-matrix-sim --tcp 0 --quiet` in sim and waits for its banner;
// the switcher's address for --port ("tcp://127.0.0.1:N"), empty when it
// did not come up.
QString startTcpSimulator(QProcess& sim, const QString& simPath);

double median(QList<double> v);
double mean(const QList<double>& v);

// What /proc tells about a running process.
struct ProcSample {
    qint64 cpuTicks = 0;          // utime + stime, in clock ticks
    qint64 cpuNs = 0;             // run time summed over all threads (schedstat)
    qint64 voluntarySwitches = 0; // summed over all threads
    int threads = 0;
    // Voluntary switches of each thread, keyed "name (tid)".
    QMap<QString, qint64> perThread;
};
std::optional<ProcSample> sampleProcess(qint64 pid);
// The peak resident set (VmHWM) and what is resident now, anonymous and
// file-backed (library pages, shared with other programs), in KiB.
struct Memory {
    qint64 peakKiB = 0;
    qint64 anonKiB = 0;
    qint64 fileKiB = 0;
};
std::optional<Memory> memoryOf(qint64 pid);
long clockTicksPerSecond();

// One line of the results table.
struct Row {
    QString name;
    QString measured;
    QString target;
    bool pass = false;
    bool valid = true; // false: the run itself failed, no figure
};

class Table {
public:
    void add(const Row& row);
    void note(const QString& text) { notes_ << text; }
    void print() const;
    bool allPass() const;

private:
    QList<Row> rows_;
    QStringList notes_;
};

} // namespace bench

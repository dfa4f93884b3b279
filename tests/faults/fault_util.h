#pragma once

// Helpers shared by the fault tests: reading the lamps and the receive log,
// the process's resident memory, a nested event loop that stands in for a
// modal message box, and a bridge that puts the simulated switcher behind
// the fake port so that the shape of its answers (split, doubled) and the
// clock are under the test's control.

#include "frontends/windows/main_window/main_window.h"
#include "sim/device.h"
#include "tests/support/form_fixture.h"

#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QTimer>
#include <functional>
#include <utility>

namespace faults {

// The input whose lamp is lit in the row of output 1..8; 0 when none is.
inline int litInput(MainWindow& f, int output) {
    int lit = 0;
    for (int i = 0; i < 8; ++i) {
        if (f.lamps[output - 1][i]->isLit()) {
            if (lit != 0)
                return -1; // two lamps in one row: never allowed
            lit = i + 1;
        }
    }
    return lit;
}

// The lamps of all eight rows, output 1 first.
inline QList<int> litRow(MainWindow& f) {
    QList<int> r;
    for (int o = 1; o <= 8; ++o)
        r << litInput(f, o);
    return r;
}

// Every routing report the receive log shows, in order, as (output, input).
inline QList<std::pair<int, int>> loggedRoutes(const QString& log) {
    static const QRegularExpression re(QStringLiteral("HDMI Out(\\d) -> HDMI In(\\d)"));
    QList<std::pair<int, int>> out;
    for (auto it = re.globalMatch(log); it.hasNext();) {
        const auto m = it.next();
        out.append({m.captured(1).toInt(), m.captured(2).toInt()});
    }
    return out;
}

// The input each output 1..8 was last reported on (0: never), as the lamps
// must show it after the reports.
inline QList<int> lastRoutes(const QList<std::pair<int, int>>& reports, QList<int> start = {}) {
    QList<int> r = start.isEmpty() ? QList<int>(8, 0) : start;
    for (const auto& [o, in] : reports)
        r[o - 1] = in;
    return r;
}

// A routing report as the device sends it: "s", output, input, CR LF.
inline QByteArray report(int output, int input) {
    return "s" + QByteArray::number(output) + QByteArray::number(input) + "\r\n";
}

// Every line the interpreter is handed, recorded as the call begins, so a
// line handled inside another line's message box comes after it.
struct LineRecorder {
    explicit LineRecorder(MainWindow& f) {
        auto& slot = f.link().lines().onLine;
        slot = [this, inner = slot](QString& line) {
            lines << line;
            inner(line);
        };
    }
    QStringList lines;
};

// The lines the interpreter must see for a byte stream of whole lines: the
// text up to and with each CR, and each LF on its own.
inline QStringList linesOf(const QByteArray& stream) {
    QStringList out;
    QString cur;
    for (char c : stream) {
        cur += QLatin1Char(c);
        if (c == '\r' || c == '\n') {
            out << cur;
            cur.clear();
        }
    }
    return out;
}

// The process's resident memory in kB (VmRSS of /proc/self/status).
inline qint64 residentKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Runs a nested event loop for ms milliseconds, as a modal message box does
// while the operator reads it: timers and port notifications keep coming.
inline void holdBoxOpen(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The main window on the fake port and clock, with the simulated switcher
// answering every command written. Each answer goes through shape() on its
// way back, which cuts it into the chunks the port delivers one by one.
struct Bridge {
    using Shape = std::function<QByteArrayList(const QByteArray&)>;

    Bridge() {
        device.onLine = [this](const QByteArray& l) { received << l; };
    }

    // Answers whatever the program wrote, and the commands those answers
    // make it write, until it writes nothing more or rounds run out. The
    // clock stands still, so no quiet-tick flush cuts a split line.
    void pump(int rounds = 100000) {
        for (int i = 0; i < rounds; ++i) {
            const QByteArray out = f.takeWritten();
            if (out.isEmpty())
                return;
            const QByteArray answer = device.receive(out);
            if (answer.isEmpty())
                continue;
            for (const QByteArray& chunk : shape ? shape(answer) : QByteArrayList{answer})
                f.port().deliver(chunk);
        }
    }

    FormFixture f;
    sim::Device device;
    Shape shape;
    QByteArrayList received;
};

// Each byte on its own, as a slow line hands them over.
inline QByteArrayList byteByByte(const QByteArray& answer) {
    QByteArrayList out;
    for (char c : answer)
        out << QByteArray(1, c);
    return out;
}

// Every line (CR LF included) sent twice.
inline QByteArrayList doubled(const QByteArray& answer) {
    QByteArray twice;
    for (const QByteArray& line : answer.split('\n')) {
        if (line.isEmpty())
            continue;
        twice += line + '\n' + line + '\n';
    }
    return {twice};
}

} // namespace faults

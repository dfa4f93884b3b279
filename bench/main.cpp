// hdmi-bench: how far the program is from the speed of the serial line, how
// much it costs per exchange, to start, to sit idle and to log.
//
//   hdmi-bench [--quick]
//   [--only paced|unpaced|core|startup|idle|log|decode|edit|ctl|server|web|accounts|backup]...
//   [--trace]

#include "bench/account_runs.h"
#include "bench/bench_util.h"
#include "bench/core_runs.h"
#include "bench/ctl_runs.h"
#include "bench/decode_bench.h"
#include "bench/edit_bench.h"
#include "bench/log_append.h"
#include "bench/processes.h"
#include "bench/server_runs.h"
#include "bench/transfers.h"
#include "bench/web_runs.h"
#include "sim/pty_transport.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <algorithm>

using namespace bench;

namespace {

const QStringList kSections = {"paced", "unpaced",  "core",  "startup", "idle",
                               "log",   "decode",   "edit",  "ctl",     "server",
                               "web",   "accounts", "backup"};
const QList<Transfer> kTransfers = {Transfer::EdidRead, Transfer::EdidDownload, Transfer::IrWrite};

QString num(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

void say(const QString& text) {
    QTextStream(stdout) << text << Qt::endl;
}

Row failedRow(const QString& name, const QString& target, const QString& why) {
    return {name, QStringLiteral("failed: ") + why, target, false, false};
}

// 1. Against the paced simulator: measured time over what the wire allows;
// over a pseudo-terminal, and the EDID transfers also over TCP, the
// simulator standing in for a serial device server.
void pacedRuns(Table& table) {
    const QString target = QStringLiteral("ratio <= 1.03");
    QList<std::pair<Transfer, bool>> runs;
    for (Transfer t : kTransfers)
        runs.append({t, false});
    runs.append({Transfer::EdidRead, true});
    runs.append({Transfer::EdidDownload, true});
    for (const auto& [t, overTcp] : runs) {
        const QString name =
            QStringLiteral("paced %1%2").arg(transferName(t), overTcp ? " over TCP" : "");
        const QString halfDuplex = name + QStringLiteral(" (half-duplex)");
        const QString crToCr = name + QStringLiteral(" (CR to CR)");
        say(QStringLiteral("running %1 ...").arg(name));
        // A fresh simulator per run, so every run starts from the same device.
        Rig rig(true, QStringLiteral(HDMI_SIM_PATH), overTcp);
        const TransferResult r = rig.run(t);
        if (!r.ok) {
            table.add(failedRow(halfDuplex, target, r.failure));
            table.add(failedRow(crToCr, target, r.failure));
            continue;
        }
        const double ratio = r.seconds / r.wireSeconds();
        table.add({halfDuplex,
                   QStringLiteral("%1 s / wire %2 s (%3 B) = %4")
                       .arg(num(r.seconds, 3), num(r.wireSeconds(), 3))
                       .arg(r.sent + r.received)
                       .arg(num(ratio, 4)),
                   target, ratio <= 1.03});
        const double critical = r.seconds / r.criticalSeconds;
        table.add({crToCr,
                   QStringLiteral("%1 s / wire %2 s (%3 exchanges) = %4")
                       .arg(num(r.seconds, 3), num(r.criticalSeconds, 3))
                       .arg(r.commands)
                       .arg(num(critical, 4)),
                   target, critical <= 1.03});
        table.note(QStringLiteral("%1: per exchange over the wire: median %2 ms, mean %3 ms; of "
                                  "which the program, answer's CR read to next write: median "
                                  "%4 ms, mean %5 ms")
                       .arg(name, num(median(r.excessMs), 3), num(mean(r.excessMs), 3),
                            num(median(r.reactionMs), 3), num(mean(r.reactionMs), 3)));
    }
}

// 2. Against the unpaced simulator: what the program adds per exchange.
void unpacedRuns(Table& table, int reps) {
    const QString target = QStringLiteral("median < 1 ms");
    for (Transfer t : kTransfers) {
        const QString name = QStringLiteral("unpaced %1").arg(transferName(t));
        say(QStringLiteral("running %1 x%2 ...").arg(name).arg(reps));
        QList<double> all;
        QList<double> seconds;
        QList<double> reaction;
        int commands = 0;
        QString failure;
        for (int i = 0; i < reps && failure.isEmpty(); ++i) {
            Rig rig(false, {});
            const TransferResult r = rig.run(t);
            if (!r.ok) {
                failure = r.failure;
                break;
            }
            all << r.exchangeMs;
            reaction << r.reactionMs;
            seconds << r.seconds;
            commands = r.commands;
        }
        if (!failure.isEmpty()) {
            table.add(failedRow(name, target, failure));
            continue;
        }
        const double med = median(all);
        table.add({name,
                   QStringLiteral("median %1 ms, mean %2 ms (%3 exchanges, run %4 s)")
                       .arg(num(med, 3), num(mean(all), 3))
                       .arg(commands)
                       .arg(num(median(seconds), 3)),
                   target, med < 1.0});
        table.note(QStringLiteral("%1: program reaction, answer's CR read to next write: median "
                                  "%2 ms, mean %3 ms")
                       .arg(name, num(median(reaction), 3), num(mean(reaction), 3)));
    }
}

// 3. The device core alone against the in-process switcher: its own cost per
// exchange.
void coreRunsRow(Table& table, int reps) {
    const QString target = QStringLiteral("median < 0.1 ms");
    for (Transfer t : kTransfers) {
        const QString name = QStringLiteral("core %1").arg(transferName(t));
        say(QStringLiteral("running %1 x%2 ...").arg(name).arg(reps));
        const CoreRunResult r = coreRuns(t, reps);
        if (!r.ok) {
            table.add(failedRow(name, target, r.failure));
            continue;
        }
        const double med = median(r.usPerExchange);
        table.add({name,
                   QStringLiteral("median %1 us, mean %2 us a exchange (%3 exchanges, %4 runs)")
                       .arg(num(med, 2), num(mean(r.usPerExchange), 2))
                       .arg(r.exchanges)
                       .arg(reps),
                   target, med < 100});
    }
}

// 4. Start-up time and peak memory against an empty Qt Widgets window.
void startupRuns(Table& table, int reps) {
    say(QStringLiteral("starting the program and the empty window %1 times each ...").arg(reps));
    QList<double> appMs, emptyMs, appKiB, emptyKiB, labelMs, labelKiB;
    QList<double> appAnon, appFile, emptyAnon, emptyFile;
    QString failure;
    // One start of each that is not counted, so both find warm caches.
    startProgram(QStringLiteral(HDMI_APP_PATH));
    startEmptyWindow(QStringLiteral(HDMI_EMPTY_PATH));
    for (int i = 0; i < reps && failure.isEmpty(); ++i) {
        const StartResult a = startProgram(QStringLiteral(HDMI_APP_PATH));
        const StartResult e = startEmptyWindow(QStringLiteral(HDMI_EMPTY_PATH));
        const StartResult l = startEmptyWindow(QStringLiteral(HDMI_EMPTY_PATH), true);
        if (!a.ok || !e.ok || !l.ok) {
            failure = !a.ok ? a.failure : !e.ok ? e.failure : l.failure;
            break;
        }
        labelMs << l.startupMs;
        labelKiB << double(l.peakKiB);
        appMs << a.startupMs;
        emptyMs << e.startupMs;
        appKiB << double(a.peakKiB);
        emptyKiB << double(e.peakKiB);
        appAnon << double(a.anonKiB);
        appFile << double(a.fileKiB);
        emptyAnon << double(e.anonKiB);
        emptyFile << double(e.fileKiB);
    }
    const QString timeTarget = QStringLiteral("<= 1.5 x floor");
    const QString memTarget = QStringLiteral("<= 1.3 x floor");
    if (!failure.isEmpty()) {
        table.add(failedRow(QStringLiteral("start-up to first \"bc \""), timeTarget, failure));
        table.add(failedRow(QStringLiteral("peak memory (VmHWM)"), memTarget, failure));
        return;
    }
    const double ta = median(appMs), te = median(emptyMs);
    const double ma = median(appKiB), me = median(emptyKiB);
    table.add({QStringLiteral("start-up to first \"bc \""),
               QStringLiteral("%1 ms / empty window %2 ms = %3 x (median of %4)")
                   .arg(num(ta, 1), num(te, 1), num(ta / te, 2))
                   .arg(reps),
               timeTarget, ta <= 1.5 * te});
    table.add({QStringLiteral("peak memory (VmHWM)"),
               QStringLiteral("%1 MiB / empty window %2 MiB = %3 x")
                   .arg(num(ma / 1024, 1), num(me / 1024, 1), num(ma / me, 2)),
               memTarget, ma <= 1.3 * me});
    table.note(QStringLiteral("resident after 1 s, anonymous + file-backed: program %1 + %2 MiB, "
                              "empty window %3 + %4 MiB")
                   .arg(num(median(appAnon) / 1024, 1), num(median(appFile) / 1024, 1),
                        num(median(emptyAnon) / 1024, 1), num(median(emptyFile) / 1024, 1)));
    // Not a target: the floor of a window that shows any text at all.
    table.note(QStringLiteral("a window with one label (fonts loaded): %1 ms, %2 MiB; the "
                              "program is %3 x and %4 x that")
                   .arg(num(median(labelMs), 1), num(median(labelKiB) / 1024, 1),
                        num(ta / median(labelMs), 2), num(ma / median(labelKiB), 2)));
}

// 5. The program idle with the port open and the device silent.
void idleRun(Table& table, int seconds) {
    say(QStringLiteral("watching the idle program for %1 s ...").arg(seconds));
    const IdleResult r = idleProgram(QStringLiteral(HDMI_APP_PATH), seconds);
    if (!r.ok) {
        table.add(failedRow(QStringLiteral("idle wake-ups"), "< 2 /s", r.failure));
        table.add(failedRow(QStringLiteral("idle CPU"), "< 0.1 % of a core", r.failure));
        return;
    }
    table.add({QStringLiteral("idle wake-ups"),
               QStringLiteral("%1 /s over %2 s").arg(num(r.wakeupsPerSecond, 2), num(r.seconds, 1)),
               QStringLiteral("< 2 /s"), r.wakeupsPerSecond < 2});
    table.add({QStringLiteral("idle CPU"),
               QStringLiteral("%1 % (stat ticks), %2 % (schedstat)")
                   .arg(num(r.cpuPercentTicks, 3), num(r.cpuPercentSchedNs, 4)),
               QStringLiteral("< 0.1 % of a core"),
               r.cpuPercentTicks < 0.1 && r.cpuPercentSchedNs < 0.1});
    table.note(QStringLiteral("idle switches per thread: ") + r.perThread);
}

// 6. Appending to the receive log, empty and long.
void logRun(Table& table, int reps) {
    constexpr int kFilled = 200000;
    constexpr int kAppends = 2000;
    say(QStringLiteral("appending to the receive log ..."));
    const LogAppendResult r = measureLogAppend(kFilled, kAppends, reps);
    table.add({QStringLiteral("receive log append"),
               QStringLiteral("%1 us at %2 lines / %3 us empty = %4 x")
                   .arg(num(r.fullUs, 1))
                   .arg(r.fullLines)
                   .arg(num(r.emptyUs, 1), num(r.fullUs / r.emptyUs, 2)),
               QStringLiteral("<= 2 x empty"), r.fullUs <= 2 * r.emptyUs});
    table.note(QStringLiteral("filling the log with %1 lines took %2 s")
                   .arg(kFilled)
                   .arg(num(r.fillSeconds, 2)));
    table.note(QStringLiteral("at the log's own limit (%1 lines, the oldest tenth dropped once "
                              "passed): %2 us a line over %3 appends = %4 x empty")
                   .arg(r.atLimitLines)
                   .arg(num(r.atLimitUs, 1))
                   .arg(kAppends)
                   .arg(num(r.atLimitUs / r.emptyUs, 2)));
    // "Save log as..." runs on the GUI thread: the window is blocked while it
    // writes, so it must stay under a pause an operator would notice.
    const QString saveName = QStringLiteral("save of the full log");
    const QString saveTarget = QStringLiteral("< 100 ms");
    if (!r.saveFailure.isEmpty()) {
        table.add(failedRow(saveName, saveTarget, r.saveFailure));
        return;
    }
    table.add({saveName,
               QStringLiteral("%1 ms for %2 characters").arg(num(r.saveMs, 1)).arg(r.savedChars),
               saveTarget, r.saveMs < 100});
}

// 6. Decoding the real images of the test data.
void decodeRun(Table& table, int reps) {
    say(QStringLiteral("decoding the sample images %1 times each ...").arg(reps));
    const QString target = QStringLiteral("slowest < 1 ms");
    const DecodeResult r = measureDecode(QStringLiteral(HDMI_SAMPLES_DIR), reps);
    if (!r.ok) {
        table.add(failedRow(QStringLiteral("EDID decode per image"), target, r.failure));
        return;
    }
    table.add({QStringLiteral("EDID decode per image"),
               QStringLiteral("median %1 us, mean %2 us, slowest %3 us (%4 images x %5)")
                   .arg(num(r.medianUs, 1), num(r.meanUs, 1), num(r.slowestUs, 1))
                   .arg(r.images)
                   .arg(r.reps),
               target, r.slowestUs < 1000});
    table.note(QStringLiteral("EDID decode with its text and JSON: median %1 us per image; "
                              "slowest decode: %2")
                   .arg(num(r.medianFullUs, 1), r.slowestName));
}

// 6b. The EDID editor: each edit on every sample image, each template.
void editRun(Table& table, int reps) {
    say(QStringLiteral("editing the sample images %1 times each ...").arg(reps));
    const QString target = QStringLiteral("slowest < 1 ms");
    const QList<EditTiming> rows = measureEdits(QStringLiteral(HDMI_SAMPLES_DIR), reps);
    if (rows.isEmpty())
        table.add(failedRow(QStringLiteral("EDID edit"), target, QStringLiteral("no images")));
    for (const EditTiming& r : rows)
        table.add({QStringLiteral("EDID ") + r.name,
                   r.images ? QStringLiteral("median %1 us, slowest %2 us (%3 images x %4)")
                                  .arg(num(r.medianUs, 1), num(r.slowestUs, 1))
                                  .arg(r.images)
                                  .arg(reps)
                            : QStringLiteral("median %1 us, slowest %2 us (10 batches, %3 in all)")
                                  .arg(num(r.medianUs, 1), num(r.slowestUs, 1))
                                  .arg(reps),
                   target, r.slowestUs < 1000});
}

// 7. The command-line tool as scripts start it.
void ctlRuns(Table& table, int reps) {
    const QString ctl = QStringLiteral(HDMI_CTL_PATH);
    say(QStringLiteral("starting hdmi-matrix-ctl route %1 times ...").arg(reps));
    const QString routeName = QStringLiteral("ctl route: start to command on the wire");
    const QString routeTarget = QStringLiteral("< 30 ms");
    const CtlRuns route = runCtl(ctl, {"route", "2", "3"}, "cir 12\r\n", false, reps);
    if (!route.ok) {
        table.add(failedRow(routeName, routeTarget, route.failure));
    } else {
        const double ms = median(route.toWireMs);
        table.add({routeName,
                   QStringLiteral("median %1 ms, slowest %2 ms (%3 runs)")
                       .arg(num(ms, 1),
                            num(*std::max_element(route.toWireMs.begin(), route.toWireMs.end()), 1))
                       .arg(reps),
                   routeTarget, ms < 30});
        table.note(QStringLiteral("ctl route: start to exit, the report read: median %1 ms")
                       .arg(num(median(route.toExitMs), 1)));
    }

    say(QStringLiteral("starting hdmi-matrix-ctl status against the paced switcher %1 times ...")
            .arg(reps));
    const QString statusName = QStringLiteral("ctl status end to end (paced)");
    const QString statusTarget = QStringLiteral("<= wire + 30 ms");
    // "bc " CR LF out, eight reports of five bytes back, one after the other.
    const double wireMs = (5 + 8 * 5) * sim::PtyTransport::kByteMs;
    const CtlRuns status = runCtl(ctl, {"status"}, "bc \r\n", true, reps);
    if (!status.ok) {
        table.add(failedRow(statusName, statusTarget, status.failure));
        return;
    }
    const double ms = median(status.toExitMs);
    table.add({statusName,
               QStringLiteral("median %1 ms / wire %2 ms (45 B) = +%3 ms (%4 runs)")
                   .arg(num(ms, 1), num(wireMs, 1), num(ms - wireMs, 1))
                   .arg(reps),
               statusTarget, ms <= wireMs + 30});
    table.note(QStringLiteral("ctl status: start to \"bc \" across the paced wire: median %1 ms")
                   .arg(num(median(status.toWireMs), 1)));
}

// A backup of the whole switcher (eight EDIDs, the IR table, the routing,
// IR routing and settings) and a restore of it onto a switcher that
// already matches, which writes nothing, both across the paced wire: each
// should take the time of its bytes on the wire.
void backupRuns(Table& table) {
    const QString ctl = QStringLiteral(HDMI_CTL_PATH);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("unit.json"));
    const int runMs = 120000;
    auto row = [&](const QString& name, const QStringList& args, const QByteArray& command) {
        say(QStringLiteral("starting hdmi-matrix-ctl %1 against the paced switcher ...")
                .arg(args.first()));
        const QString target = QStringLiteral("<= wire + 5 %");
        const CtlRuns runs = runCtl(ctl, args, command, true, 1, runMs);
        if (!runs.ok) {
            table.add(failedRow(name, target, runs.failure));
            return;
        }
        const double s = runs.toExitMs.first() / 1000;
        const double wire = double(runs.wireBytes) * sim::PtyTransport::kByteMs / 1000;
        table.add(
            {name,
             QStringLiteral("%1 s / wire %2 s (%3 B) = %4%5 %")
                 .arg(num(s, 2), num(wire, 2))
                 .arg(runs.wireBytes)
                 .arg(s >= wire ? QStringLiteral("+") : QString(), num(100 * (s - wire) / wire, 1)),
             target, s <= wire * 1.05});
    };
    row(QStringLiteral("ctl backup, 8 EDIDs + IR table (paced)"), {"backup", "-o", file},
        "edm\r\n");
    // The switcher of each run is fresh, so the backup of one matches the next.
    row(QStringLiteral("ctl restore, nothing differs (paced)"), {"restore", file}, "edm\r\n");
}

// The offscreen platform warns about every window shown; that says nothing
// about the figures.
QtMessageHandler previousHandler = nullptr;

void quietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.contains(QLatin1String("does not support propagateSizeHints")))
        return;
    if (previousHandler)
        previousHandler(type, context, text);
}

} // namespace

int main(int argc, char** argv) {
    previousHandler = qInstallMessageHandler(quietOffscreen);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "qt.qpa.*=false");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Measures the program against the simulated switcher and prints a table of figures, "
        "targets and PASS/MISS.");
    parser.addHelpOption();
    parser.addOption({"quick", "Fewer repetitions."});
    parser.addOption(
        {"only", "Run only this part (repeatable): " + kSections.join(", ") + ".", "name"});
    parser.addOption({"trace", "Print the first port events of each transfer run."});
    parser.process(app);
    traceRuns = parser.isSet("trace");
    const bool quick = parser.isSet("quick");
    QStringList only = parser.values("only");
    for (const QString& o : only)
        if (!kSections.contains(o)) {
            QTextStream(stderr) << "unknown part " << o << "; parts: " << kSections.join(", ")
                                << "\n";
            return 2;
        }
    if (only.isEmpty())
        only = kSections;

    say(QStringLiteral("hdmi-bench %1, %2, %3 cores, %4, Qt %5, %6 build%7")
            .arg(QDateTime::currentDateTime().toString(Qt::ISODate), QSysInfo::machineHostName())
            .arg(QThread::idealThreadCount())
            .arg(QSysInfo::prettyProductName(), QString::fromLatin1(qVersion()),
                 QStringLiteral(HDMI_BUILD_TYPE), quick ? ", quick" : ""));

    Table table;
    if (only.contains("paced"))
        pacedRuns(table);
    if (only.contains("unpaced"))
        unpacedRuns(table, quick ? 1 : 3);
    if (only.contains("core"))
        coreRunsRow(table, quick ? 20 : 200);
    if (only.contains("startup"))
        startupRuns(table, quick ? 3 : 7);
    if (only.contains("idle"))
        idleRun(table, 10);
    if (only.contains("log"))
        logRun(table, quick ? 1 : 3);
    if (only.contains("decode"))
        decodeRun(table, quick ? 20 : 200);
    if (only.contains("edit"))
        editRun(table, quick ? 20 : 200);
    if (only.contains("ctl"))
        ctlRuns(table, quick ? 5 : 21);
    if (only.contains("server"))
        serverRuns(table, quick);
    if (only.contains("web"))
        webRuns(table, quick);
    if (only.contains("accounts"))
        accountRuns(table, quick);
    if (only.contains("backup"))
        backupRuns(table);
    table.print();
    return table.allPass() ? 0 : 1;
}

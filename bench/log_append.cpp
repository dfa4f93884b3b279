#include "bench/log_append.h"

#include "bench/bench_util.h"
#include "core/files/write_file.h"
#include "frontends/windows/main_window/receive_log.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTextDocument>

namespace bench {

namespace {

const QString kLine = QStringLiteral("\r\nHDMI Out3 -> HDMI In5");

// Average time per append, in microseconds. Events are processed after each
// append, so the layout and the repaint it causes are counted, as they are
// when every reply comes in its own pass of the event loop.
double appendCostUs(main_window::ReceiveLog& log, int appends) {
    const qint64 t0 = nowNs();
    for (int i = 0; i < appends; ++i) {
        log.appendText(kLine);
        log.scrollToEnd();
        QCoreApplication::processEvents();
    }
    return double(nowNs() - t0) / 1e3 / appends;
}

std::unique_ptr<main_window::ReceiveLog> shownLog() {
    auto log = std::make_unique<main_window::ReceiveLog>();
    log->resize(480, 320);
    log->show();
    QCoreApplication::processEvents();
    return log;
}

} // namespace

LogAppendResult measureLogAppend(int filledLines, int appends, int reps) {
    LogAppendResult r;
    QList<double> empty, full;
    for (int rep = 0; rep < reps; ++rep) {
        auto log = shownLog();
        empty << appendCostUs(*log, appends);
    }
    QString bulk;
    bulk.reserve(kLine.size() * filledLines);
    for (int i = 0; i < filledLines; ++i)
        bulk += kLine;
    QList<double> atLimit, save;
    QTemporaryDir dir;
    for (int rep = 0; rep < reps; ++rep) {
        // The log's own limit would drop a tenth of its lines on the way
        // to filledLines; lifted here, it holds them all.
        auto log = shownLog();
        log->setLimits(filledLines * 2, qsizetype(kLine.size()) * filledLines * 4);
        const qint64 t0 = nowNs();
        log->appendText(bulk);
        log->scrollToEnd();
        QCoreApplication::processEvents();
        r.fillSeconds = double(nowNs() - t0) / 1e9;
        r.fullLines = log->document()->blockCount();
        full << appendCostUs(*log, appends);

        // With its own limits, filled to the limit; the appends measured
        // pass it, so one trim of a tenth of the lines is in the average.
        auto capped = shownLog();
        capped->appendText(bulk.left(kLine.size() * (main_window::ReceiveLog::kMaxLines - 1)));
        capped->scrollToEnd();
        QCoreApplication::processEvents();
        r.atLimitLines = capped->document()->blockCount();
        atLimit << appendCostUs(*capped, appends);

        const qint64 s0 = nowNs();
        if (files::saveFile(dir.filePath(QStringLiteral("log.txt")), capped->text().toUtf8(),
                            &r.saveFailure))
            save << double(nowNs() - s0) / 1e6;
        r.savedChars = capped->text().size();
    }
    r.emptyUs = median(empty);
    r.fullUs = median(full);
    r.atLimitUs = median(atLimit);
    r.saveMs = save.isEmpty() ? 0 : median(save);
    return r;
}

} // namespace bench

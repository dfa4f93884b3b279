#include "bench/log_append.h"

#include "bench/bench_util.h"
#include "main_window/receive_log.h"

#include <QCoreApplication>

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
    for (int rep = 0; rep < reps; ++rep) {
        auto log = shownLog();
        const qint64 t0 = nowNs();
        log->appendText(bulk);
        log->scrollToEnd();
        QCoreApplication::processEvents();
        r.fillSeconds = double(nowNs() - t0) / 1e9;
        full << appendCostUs(*log, appends);
    }
    r.emptyUs = median(empty);
    r.fullUs = median(full);
    return r;
}

} // namespace bench

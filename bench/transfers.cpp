#include "bench/transfers.h"

#include "bench/bench_util.h"
#include "core/edid/edid_image.h"
#include "frontends/windows/edid/edid_window.h"
#include "frontends/windows/edid/hex_view.h"
#include "frontends/windows/ir/ir_codes_window.h"
#include "frontends/windows/main_window/main_window.h"
#include "sim/device.h"
#include "sim/pty_transport.h"

#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QTextStream>

namespace bench {

bool traceRuns = false;

namespace {

constexpr int kRunMs = 60000;
constexpr int kStepMs = 5000;
constexpr int kEdidInput = 7; // the download goes to input 7, the read from input 3
constexpr int kReadInput = 3;

// The simulator's default image with another product code, so the download
// changes what the device holds.
edid::Image downloadImage() {
    const sim::EdidState::Image s = sim::EdidState::defaultImage();
    edid::Image m;
    std::copy(s.begin(), s.end(), m.begin());
    m[10] = 0x5A;
    m[11] = 0xC3;
    edid::setChecksums(m);
    return m;
}

// 81 valid codes, no two alike.
QString irCode(int entry) {
    return QString::number(0x20 + entry, 16).toUpper();
}

bool allLampsLit(MainWindow& f) {
    for (const auto& row : f.lamps)
        if (std::none_of(row.begin(), row.end(), [](auto* l) { return l->isLit(); }))
            return false;
    return true;
}

// Bytes of a command up to the first line end, which the device acts on.
qsizetype commandCritical(const QByteArray& c) {
    for (qsizetype i = 0; i < c.size(); ++i)
        if (c[i] == '\r' || c[i] == '\n')
            return i + 1;
    return c.size();
}

// Bytes of an answer up to the line end the program last acted on. The LF
// after that CR, and an LF left over from the previous answer, cross while
// the other side is already busy.
qsizetype answerCritical(const QByteArray& a, bool afterCr) {
    const qsizetype from = afterCr && a.startsWith('\n') ? 1 : 0;
    for (qsizetype i = a.size() - 1; i >= from; --i) {
        const bool end = a[i] == '\r' || a[i] == '\n';
        if (end && !(a[i] == '\n' && i > from && a[i - 1] == '\r'))
            return i + 1 - from;
    }
    return a.size() - from;
}

// Splits the port's traffic into exchanges, each a write and what was read
// until the next write.
void analyse(const QList<PortEvent>& events, qint64 endNs, TransferResult& r) {
    double criticalBytes = 0;
    bool afterCr = false;
    for (qsizetype i = 0; i < events.size(); ++i) {
        if (!events[i].written)
            continue;
        ++r.commands;
        QByteArray answer;
        QList<std::pair<qsizetype, qint64>> reads; // answer size after each read, its time
        qsizetype next = i + 1;
        for (; next < events.size() && !events[next].written; ++next) {
            answer += events[next].bytes;
            reads << std::pair{answer.size(), events[next].ns};
        }
        const qsizetype skipped = afterCr && answer.startsWith('\n') ? 1 : 0;
        const qsizetype critical = answerCritical(answer, afterCr);
        if (!answer.isEmpty())
            afterCr = answer.endsWith('\r');
        const double bytes = double(commandCritical(events[i].bytes) + critical);
        criticalBytes += bytes;
        // The exchange ends with the next write, or the run's end.
        const qint64 reactionEnd = next < events.size() ? events[next].ns : endNs;
        r.excessMs << double(reactionEnd - events[i].ns) / 1e6 - bytes * 10.0 * 1000.0 / 9600.0;
        // The program's part: from the read that brought the critical byte.
        for (const auto& [size, ns] : reads)
            if (size >= skipped + critical && critical > 0) {
                r.reactionMs << double(reactionEnd - ns) / 1e6;
                break;
            }
    }
    r.criticalSeconds = criticalBytes * 10.0 / 9600.0;
}

} // namespace

QString transferName(Transfer t) {
    switch (t) {
    case Transfer::EdidRead:
        return QStringLiteral("EDID read");
    case Transfer::EdidDownload:
        return QStringLiteral("EDID download+verify");
    case Transfer::IrWrite:
        return QStringLiteral("IR write+read-back");
    }
    return {};
}

Rig::Rig(bool paced, const QString& simulatorPath, bool overTcp, const QString& serverPath)
    : paced_(paced) {
    previousDir_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    QString link = QDir(dir_.path()).absoluteFilePath(QStringLiteral("COM1"));
    if (paced_) {
        // Its own process, so its byte deadlines are kept by an event loop
        // the program under test does not share.
        QObject::connect(&simulator_, &QProcess::readyReadStandardOutput, &Poker::instance(),
                         &Poker::poke);
        QObject::connect(&simulator_, &QProcess::stateChanged, &Poker::instance(), &Poker::poke);
        simulator_.setProcessChannelMode(QProcess::MergedChannels);
        const QStringList where =
            overTcp ? QStringList{"--tcp", "0"} : QStringList{"--dir", dir_.path(), "--port", "1"};
        simulator_.start(simulatorPath, QStringList{"--paced", "--quiet"} + where);
        // "... linked as FOLDER/COM1", or "... on tcp://127.0.0.1:PORT".
        const QByteArray ready = overTcp ? "tcp://" : "linked as";
        QByteArray banner;
        const bool up = waitFor(
            [&] {
                banner += simulator_.readAllStandardOutput();
                return banner.contains('\n') || simulator_.state() == QProcess::NotRunning;
            },
            kStepMs);
        if (!up || !banner.contains(ready)) {
            error_ = QStringLiteral("the simulator did not come up: %1 %2")
                         .arg(simulator_.errorString(), QString::fromLocal8Bit(banner));
            return;
        }
        if (overTcp) {
            const qsizetype at = banner.indexOf("tcp://");
            link = QString::fromLatin1(banner.mid(at, banner.indexOf('\n', at) - at)).trimmed();
        }
        if (!serverPath.isEmpty() && !startServer(serverPath, link))
            return;
    } else {
        device_ = std::make_unique<sim::Device>();
        line_ = std::make_unique<sim::PtyTransport>();
        if (!line_->start(dir_.path(), 1, &error_))
            return;
        device_->onLine = [this](const QByteArray&) { commandNs_ << nowNs(); };
        line_->onReceive = [this](const QByteArray& bytes) {
            line_->send(device_->receive(bytes));
        };
    }
    platform_.devices = {link};
    form_ = std::make_unique<MainWindow>(platform_, platform_.fakeDialogs());
    QObject::connect(&form_->link(), &seriallink::Connection::bytesQueued, &Poker::instance(),
                     &Poker::poke);
    form_->startUp();
    form_->show();
    // A server answers the connection in its own time.
    waitFor([&] { return !form_->link().isOpening(); }, kStepMs);
    if (!form_->link().isOpen()) {
        error_ = QStringLiteral("the program could not open %1").arg(link);
        return;
    }
    // The greeting's answer, the routing of all eight outputs.
    if (!waitFor([&] { return allLampsLit(*form_); }, kStepMs)) {
        error_ = QStringLiteral("no answer to the greeting");
        return;
    }
    ok_ = true;
}

// The server on the simulator's line, its line port on a free port of
// 127.0.0.1, which link then names. Not polling, so the line carries only
// the program's traffic.
bool Rig::startServer(const QString& serverPath, QString& link) {
    QObject::connect(&server_, &QProcess::readyReadStandardError, &Poker::instance(), &Poker::poke);
    server_.start(serverPath, {"--port", link, "--line", "127.0.0.1:0", "--no-videohub", "--no-web",
                               "--poll", "0", "--state-dir", dir_.filePath("state")});
    // "line port on 127.0.0.1:PORT", then the switcher found at "bc ".
    QByteArray log;
    const bool up = waitFor(
        [&] {
            log += server_.readAllStandardError();
            return log.contains("switcher found") || server_.state() == QProcess::NotRunning;
        },
        kStepMs);
    const qsizetype at = log.indexOf("line port on 127.0.0.1:");
    if (!up || at < 0 || !log.contains("switcher found")) {
        error_ = QStringLiteral("the server did not come up: %1").arg(QString::fromLocal8Bit(log));
        return false;
    }
    const qsizetype from = at + qstrlen("line port on ");
    link = QStringLiteral("tcp://") +
           QString::fromLatin1(log.mid(from, log.indexOf('\n', from) - from)).trimmed();
    return true;
}

Rig::~Rig() {
    form_.reset();
    for (QProcess* p : {&server_, &simulator_}) {
        if (p->state() == QProcess::NotRunning)
            continue;
        p->terminate();
        waitFor([&] { return p->state() == QProcess::NotRunning; }, kStepMs);
        if (p->state() != QProcess::NotRunning)
            p->kill();
    }
    QDir::setCurrent(previousDir_);
}

bool Rig::openWindow(Transfer t) {
    if (t == Transfer::IrWrite) {
        form_->onIrCodesClicked();
        return waitFor(
            [&] {
                return form_->modes().isOn(protocol::Mode::Ir) && !form_->modes().awaitingEcho();
            },
            kStepMs);
    }
    form_->onEdidClicked();
    return waitFor(
        [&] { return form_->modes().isOn(protocol::Mode::Edid) && !form_->modes().awaitingEcho(); },
        kStepMs);
}

bool Rig::closeWindow() {
    const quint64 before = form_->link().bytesReceived();
    if (form_->modes().isOn(protocol::Mode::Ir))
        form_->irCodesWindow().close();
    if (form_->modes().isOn(protocol::Mode::Edid))
        form_->edidWindow().close();
    // The echo of the exit word ("edo" or "iro", CR LF).
    return waitFor([&] { return form_->link().bytesReceived() >= before + 5; }, kStepMs);
}

void Rig::start(Transfer t) {
    switch (t) {
    case Transfer::EdidRead: {
        EdidWindow& w = form_->edidWindow();
        w.portChoices[kReadInput - 1]->click();
        w.readButton->click();
        break;
    }
    case Transfer::EdidDownload: {
        EdidWindow& w = form_->edidWindow();
        w.portChoices[kEdidInput - 1]->click();
        w.downloadButton->click();
        break;
    }
    case Transfer::IrWrite:
        form_->irCodesWindow().writeButton->click();
        break;
    }
}

// Whether the run is over, judged when an answer has just been handled.
bool Rig::finished(Transfer t) {
    switch (t) {
    case Transfer::EdidRead:
        return form_->edidWindow().statusText() == QLatin1String("Read EDID OK!");
    case Transfer::EdidDownload:
        return form_->edidWindow().statusText() == QLatin1String("Download OK!");
    case Transfer::IrWrite:
        // "Write OK!" sends "sav"; the run ends with the CR of its answer.
        if (form_->irCodesWindow().statusText() != QLatin1String("Write OK!"))
            return false;
        bool saved = false;
        for (qsizetype i = runStart_; i < platform_.log.size(); ++i) {
            const PortEvent& e = platform_.log[i];
            if (e.written)
                saved = e.bytes == "sav\r\n";
            else if (saved && e.bytes.contains('\r'))
                return true;
        }
        return false;
    }
    return false;
}

// What the device holds after the run, where the benchmark can see it.
bool Rig::check(Transfer t, TransferResult& r) {
    if (!platform_.fakeDialogs().messages.isEmpty()) {
        r.failure =
            QStringLiteral("message box: %1").arg(platform_.fakeDialogs().messages.last().text);
        return false;
    }
    if (!device_)
        return true;
    if (t == Transfer::EdidDownload) {
        const edid::Image m = downloadImage();
        if (!std::equal(m.begin(), m.end(), device_->edid.images[kEdidInput - 1].begin())) {
            r.failure = QStringLiteral("the device does not hold the downloaded image");
            return false;
        }
    }
    if (t == Transfer::IrWrite) {
        for (int e = 0; e < ir::kEntries; ++e)
            if (device_->ir.codes[e] != irCode(e).toInt(nullptr, 16)) {
                r.failure = QStringLiteral("IR entry %1 not stored").arg(e);
                return false;
            }
        if (!device_->ir.saved) {
            r.failure = QStringLiteral("the table was not saved");
            return false;
        }
    }
    return true;
}

TransferResult Rig::run(Transfer t) {
    TransferResult r;
    if (!ok_) {
        r.failure = error_;
        return r;
    }
    if (!openWindow(t)) {
        r.failure = QStringLiteral("the device did not confirm the mode");
        return r;
    }
    if (t == Transfer::EdidDownload)
        form_->edidWindow().hexView->setText(edid::writtenForm(downloadImage()));
    if (t == Transfer::IrWrite)
        for (int e = 0; e < ir::kEntries; ++e)
            form_->irCodesWindow().codeBoxes[e]->setText(irCode(e));
    const QMetaObject::Connection statusWatch = QObject::connect(
        &form_->edidWindow(), &EdidWindow::statusChanged, &Poker::instance(), &Poker::poke);

    seriallink::Connection& link = form_->link();
    const quint64 sent0 = link.bytesSent();
    const quint64 received0 = link.bytesReceived();
    const qsizetype firstCommand = commandNs_.size();
    runStart_ = platform_.log.size();
    qint64 endNs = -1;
    const qint64 startNs = nowNs();
    start(t);
    const bool done = waitFor(
        [&] {
            if (endNs < 0 && finished(t))
                endNs = nowNs();
            return endNs >= 0;
        },
        kRunMs);
    // The run is timed to the arrival of its last answer. A plain read's
    // result comes a fixed quiet time later (so that a doubled answer can
    // show), which is no part of the transfer's pace.
    if (done)
        for (qsizetype i = platform_.log.size() - 1; i >= runStart_; --i)
            if (!platform_.log[i].written) {
                endNs = platform_.log[i].ns;
                break;
            }
    r.sent = link.bytesSent() - sent0;
    r.received = link.bytesReceived() - received0;
    r.seconds = double(endNs - startNs) / 1e9;
    qint64 previous = startNs;
    for (qsizetype i = firstCommand; i < commandNs_.size(); ++i) {
        r.exchangeMs << double(commandNs_[i] - previous) / 1e6;
        previous = commandNs_[i];
    }
    analyse(platform_.log.mid(runStart_), endNs, r);
    if (traceRuns)
        for (const PortEvent& e : platform_.log.mid(runStart_, 40))
            QTextStream(stdout)
                << QString::number(double(e.ns - startNs) / 1e6, 'f', 3).rightJustified(10)
                << (e.written ? " ms > " : " ms < ") << e.bytes.toPercentEncoding(" ") << Qt::endl;
    QObject::disconnect(statusWatch);
    if (!done) {
        const QString status = t == Transfer::IrWrite ? form_->irCodesWindow().statusText()
                                                      : form_->edidWindow().statusText();
        r.failure = QStringLiteral("did not finish; status \"%1\"").arg(status);
        closeWindow();
        return r;
    }
    r.ok = check(t, r);
    if (!closeWindow() && r.ok) {
        r.ok = false;
        r.failure = QStringLiteral("no echo of the exit word");
    }
    return r;
}

} // namespace bench

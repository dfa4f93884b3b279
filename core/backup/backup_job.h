#pragma once

#include "core/backup/backup_file.h"
#include "core/device/device_modes.h"
#include "core/transfer/outcome.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <deque>
#include <functional>
#include <optional>

namespace platform {
class Timer;
}
namespace device {
class ModeSession;
class Request;
class Switcher;
} // namespace device

namespace backup {

// How a job ended, and what it did.
struct Result {
    enum class Status { Done, Failed, Cancelled };
    Status status = Status::Done;
    // What the switcher held, of the parts read.
    Backup read;
    // A restore: what differed, what was written, and what differed but was
    // not written (the job failed or was cancelled first).
    QList<Difference> differences;
    QList<Item> written;
    QList<Item> notWritten;
    // Failed: the item it stood at and how the exchange ended (TimedOut for
    // a mode the device did not enter or a reply that did not come).
    Item failedItem;
    transfer::Outcome failure;
    bool ok() const { return status == Status::Done; }
};

// A backup or a restore of one switcher, composed of the exchanges the
// windows and the tool use one by one: the routing status, one stay in
// EDID mode per input, one in IR mode for the code table, the IR status,
// one stay in setting mode. Each item is a request of its own on the
// switcher's queue, so other clients wait at most one item for their turn.
//
// A restore reads the parts it may write first and writes only what
// differs: the EDIDs (each download verified), the IR code table then its
// save, the IR routing, the settings, and last the routing as one salvo.
// At the first failure nothing more is written.
//
// cancel() stops the item in progress (a device mode is left first) and
// ends the job Cancelled; nothing waits in a loop: the switcher's answers
// and the answer timers carry it on.
class Job : public QObject {
    Q_OBJECT
public:
    static constexpr int kAnswerMs = 1000;
    static constexpr int kExitEchoMs = 1000;
    struct Options {
        int client = 0;                              // whose turn on the queue
        int timeoutMs = protocol::kRoutingTimeoutMs; // routing and IR status answers
        Parts parts;                                 // a restore's parts
        bool presets = false;                        // a backup recalls every preset
        QString program;                             // the backup's "program"
    };

    Job(device::Switcher& sw, Options options, QObject* parent = nullptr);
    ~Job() override;

    void startBackup();
    // dryRun: read and compare, write nothing.
    void startRestore(const Backup& wanted, bool dryRun);
    void cancel();

    bool running() const { return running_; }
    int done() const { return done_; }
    int total() const { return total_; }
    const Item& current() const { return current_; }
    const Result& result() const { return result_; }

signals:
    // The item the job works on now (for a progress line).
    void itemStarted(const backup::Item& item);
    // done of total units: an EDID byte, an IR code entry, one report.
    void progress(int done, int total);
    // Whether a restore's writes start: after the read, before the first
    // write, with the differences in result().
    void compared();
    void finished(const backup::Result& result);

private:
    using Step = std::function<void()>;
    void plan(bool write);
    void next();
    void stepDone(int units);
    void fail(const Item& item, const transfer::Outcome& outcome);
    void fail(transfer::Error error, int index = -1);
    void stop(Result::Status status);
    void end(Result::Status status);
    void report(int done);
    void hook(const QMetaObject::Connection& c) { hooks_ << c; }
    void unhook();
    void answerTimer(int ms, const Item& item);

    // The stay in a device mode an item works in; work runs once the device
    // confirmed entering it.
    void inMode(device::DeviceModes::Mode mode, const Step& work);
    template <typename R> void submit(R* request, const std::function<void(R*)>& done);

    void readRouting();
    void readPresets();
    void recallPreset(int preset);
    void readEdid(int input);
    void readIrCodes();
    void readIrRouting();
    void readSettings();
    void compare();
    void writeEdid(int input);
    void writeIrCodes();
    void writeIrRoute(int output);
    void writeSettings();
    void writeRouting();

    device::Switcher& sw_;
    Options options_;
    std::optional<Backup> wanted_;
    QList<QList<int>> presetsRead_;
    bool dryRun_ = false;
    Result result_;
    std::deque<std::pair<Item, Step>> steps_;
    Item current_;
    QList<QMetaObject::Connection> hooks_;
    QPointer<device::ModeSession> session_;
    QList<QPointer<device::Request>> requests_;
    platform::Timer* answer_ = nullptr;
    int done_ = 0;
    int base_ = 0; // units done before the item in progress
    int total_ = 0;
    bool running_ = false;
    bool stopping_ = false;
    bool cancelled_ = false;
};

} // namespace backup

Q_DECLARE_METATYPE(backup::Result)
Q_DECLARE_METATYPE(backup::Item)

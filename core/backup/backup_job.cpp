#include "core/backup/backup_job.h"

#include "core/device/mode_session.h"
#include "core/device/switcher.h"
#include "core/platform/platform.h"
#include "core/platform/timer.h"
#include "core/protocol/reply_line.h"

namespace backup {

namespace {

using Mode = device::DeviceModes::Mode;
using K = Item::Kind;

transfer::Error requestError(device::RequestError e) {
    switch (e) {
    case device::RequestError::TimedOut:
        return transfer::Error::TimedOut;
    case device::RequestError::DeviceError:
        return transfer::Error::DeviceError;
    case device::RequestError::NotWritten:
        return transfer::Error::WriteFailed;
    case device::RequestError::Mismatch:
        return transfer::Error::VerifyMismatch;
    case device::RequestError::Cancelled:
        return transfer::Error::Stopped;
    case device::RequestError::None:
        break;
    }
    return transfer::Error::None;
}

transfer::Outcome outcomeOf(transfer::Error error, transfer::Phase phase = transfer::Phase::Read) {
    transfer::Outcome o;
    o.error = error;
    o.phase = phase;
    return o;
}

bool contains(const QList<Difference>& list, K kind) {
    return std::any_of(list.begin(), list.end(),
                       [kind](const Difference& d) { return d.item.kind == kind; });
}

} // namespace

Job::Job(device::Switcher& sw, Options options, QObject* parent)
    : QObject(parent), sw_(sw), options_(std::move(options)) {
    answer_ = sw_.platform().createTimer(this);
    answer_->setSingleShot(true);
}

Job::~Job() {
    for (const auto& r : requests_)
        if (r && !r->isDone())
            sw_.requests().cancel(r);
}

void Job::startBackup() {
    wanted_.reset();
    options_.parts = Parts{};
    plan(false);
}

void Job::startRestore(const Backup& wanted, bool dryRun) {
    wanted_ = wanted;
    dryRun_ = dryRun;
    plan(true);
}

void Job::plan(bool write) {
    const protocol::Model& m = sw_.model();
    const Parts& p = options_.parts;
    result_ = Result{};
    Backup& b = result_.read;
    b.model = m.name;
    b.program = options_.program;
    b.made = QDateTime::currentDateTimeUtc();
    b.routing = QList<int>(m.outputs, 0);
    b.edids = QList<std::optional<edid::Image>>(m.inputs, std::nullopt);
    b.irRouting = QList<int>(m.irPorts, 0);
    b.notRead << QStringLiteral("network address");
    steps_.clear();
    total_ = 0;
    if (p.routing) {
        steps_.push_back({{K::Routing, 0}, [this] { readRouting(); }});
        total_ += 1;
    }
    if (options_.presets && !write) {
        steps_.push_back({{K::Presets, 0}, [this] { readPresets(); }});
        total_ += m.presets + 1;
    } else {
        b.notRead << QStringLiteral("presets");
    }
    if (p.edid)
        for (int i = 1; i <= m.inputs; ++i) {
            steps_.push_back({{K::Edid, i}, [this, i] { readEdid(i); }});
            total_ += edid::kImageSize;
        }
    if (p.ir) {
        steps_.push_back({{K::IrCodes, 0}, [this] { readIrCodes(); }});
        steps_.push_back({{K::IrRouting, 0}, [this] { readIrRouting(); }});
        total_ += m.irCodeEntries + 1;
    }
    if (p.settings) {
        steps_.push_back({{K::Settings, 0}, [this] { readSettings(); }});
        total_ += 1;
    }
    if (write)
        steps_.push_back({{K::Routing, 0}, [this] { compare(); }});
    running_ = true;
    stopping_ = cancelled_ = false;
    done_ = base_ = 0;
    emit progress(0, total_);
    next();
}

void Job::next() {
    unhook();
    answer_->stop();
    if (cancelled_)
        return end(Result::Status::Cancelled);
    if (steps_.empty())
        return end(Result::Status::Done);
    auto [item, step] = steps_.front();
    steps_.pop_front();
    current_ = item;
    emit itemStarted(item);
    step();
}

void Job::stepDone(int units) {
    base_ += units;
    report(base_);
    unhook();
    answer_->stop();
    if (session_)
        session_->leave(); // closed() carries on
    else
        next();
}

void Job::report(int done) {
    done_ = qMin(done, total_);
    emit progress(done_, total_);
}

void Job::unhook() {
    for (const auto& c : std::as_const(hooks_))
        disconnect(c);
    hooks_.clear();
}

void Job::cancel() {
    if (!running_ || stopping_)
        return;
    cancelled_ = true;
    result_.failedItem = current_;
    stop(Result::Status::Cancelled);
}

void Job::fail(transfer::Error error, int index) {
    transfer::Outcome o = outcomeOf(error);
    o.index = index;
    fail(current_, o);
}

void Job::fail(const Item& item, const transfer::Outcome& outcome) {
    if (stopping_ || !running_)
        return;
    result_.failedItem = item;
    result_.failure = outcome;
    stop(Result::Status::Failed);
}

// Nothing more goes out: the transfers end, the requests still waiting are
// withdrawn, and a mode stay is left first (its close ends the job).
void Job::stop(Result::Status status) {
    stopping_ = true;
    unhook();
    answer_->stop();
    sw_.edid().end();
    sw_.irCodes().end();
    for (const auto& r : std::as_const(requests_))
        if (r && !r->isDone())
            sw_.requests().cancel(r);
    if (session_)
        session_->leave();
    else
        end(status);
}

void Job::end(Result::Status status) {
    if (!running_)
        return;
    running_ = false;
    steps_.clear();
    requests_.clear();
    result_.status = cancelled_ ? Result::Status::Cancelled : status;
    if (stopping_ && !cancelled_)
        result_.status = Result::Status::Failed;
    for (const Difference& d : std::as_const(result_.differences))
        if (!result_.written.contains(d.item) && !result_.notWritten.contains(d.item))
            result_.notWritten << d.item;
    if (dryRun_)
        result_.notWritten.clear();
    emit finished(result_);
}

void Job::answerTimer(int ms, const Item& item) {
    hook(connect(answer_, &platform::Timer::timeout, this,
                 [this, item] { fail(item, outcomeOf(transfer::Error::TimedOut)); }));
    answer_->setInterval(ms);
    answer_->start();
}

void Job::inMode(Mode mode, const Step& work) {
    auto* s = new device::ModeSession(sw_, mode, {true, kExitEchoMs, options_.client});
    s->setParent(this);
    session_ = s;
    hook(connect(s, &device::ModeSession::started, this, work));
    hook(connect(s, &device::ModeSession::notConfirmed, this,
                 [this] { fail(transfer::Error::TimedOut); }));
    hook(connect(s, &device::ModeSession::leftByDevice, this,
                 [this] { fail(transfer::Error::ModeLeft); }));
    connect(s, &device::ModeSession::closed, this, [this, s] {
        s->deleteLater();
        if (session_ == s)
            session_ = nullptr;
        if (stopping_)
            end(Result::Status::Failed);
        else
            next();
    });
    if (!s->enter() && !stopping_) {
        session_ = nullptr;
        s->deleteLater();
        fail(transfer::Error::WriteFailed);
    }
}

template <typename R> void Job::submit(R* request, const std::function<void(R*)>& done) {
    const Item item = current_;
    sw_.requests().submit(request, options_.client);
    requests_ << QPointer<device::Request>(request);
    auto handle = [this, request, item, done](const device::RequestResult& r) {
        if (stopping_)
            return;
        if (!r.ok())
            return fail(item, outcomeOf(requestError(r.error)));
        done(request);
    };
    if (request->isDone())
        return handle(request->result());
    connect(request, &device::Request::finished, this, handle);
}

// --- reading ---------------------------------------------------------------

void Job::readRouting() {
    submit<device::RoutingRequest>(device::RoutingRequest::status(options_.timeoutMs),
                                   [this](device::RoutingRequest* r) {
                                       result_.read.routing = r->result().inputs;
                                       stepDone(1);
                                   });
}

// A recall changes what every output shows: each preset's routing is read
// by recalling it, and the routing read before is put back after the last.
void Job::readPresets() {
    presetsRead_.clear();
    recallPreset(1);
}

void Job::recallPreset(int preset) {
    if (preset > sw_.model().presets) {
        result_.read.presets = presetsRead_;
        return writeRouting();
    }
    submit<device::RoutingRequest>(device::RoutingRequest::presetRecall(preset, options_.timeoutMs),
                                   [this, preset](device::RoutingRequest* r) {
                                       presetsRead_ << r->result().inputs;
                                       report(++base_);
                                       recallPreset(preset + 1);
                                   });
}

void Job::readEdid(int input) {
    inMode(Mode::Edid, [this, input] {
        edid::EdidTransfer& t = sw_.edid();
        hook(connect(&t, &edid::EdidTransfer::progress, this,
                     [this](int done, int) { report(base_ + done + 1); }));
        hook(connect(&t, &edid::EdidTransfer::finished, this,
                     [this, input](const transfer::Outcome& o) {
                         using E = transfer::Error;
                         if (o.error == E::Stopped)
                             return;
                         if (o.ok())
                             result_.read.edids[input - 1] = sw_.edid().image();
                         else if (o.error == E::NotEdid || o.error == E::BadChecksum)
                             // A damaged image is not worth restoring; the
                             // file says it was not read.
                             result_.read.notRead << itemName({K::Edid, input});
                         else
                             return fail({K::Edid, input}, o);
                         stepDone(edid::kImageSize);
                     }));
        t.prepare();
        t.choosePort(input - 1);
        t.startRead();
    });
}

void Job::readIrCodes() {
    inMode(Mode::Ir, [this] {
        ir::IrCodeRun& run = sw_.irCodes();
        hook(connect(&run, &ir::IrCodeRun::progress, this,
                     [this](int done, int) { report(base_ + done + 1); }));
        hook(connect(&run, &ir::IrCodeRun::finished, this, [this](const transfer::Outcome& o) {
            if (o.error == transfer::Error::Stopped)
                return;
            if (!o.ok())
                return fail({K::IrCodes, 0}, o);
            result_.read.irCodes = sw_.irCodes().codes();
            stepDone(sw_.model().irCodeEntries);
        }));
        run.prepare();
        run.readCode();
    });
}

void Job::readIrRouting() {
    submit<device::IrStatusRequest>(new device::IrStatusRequest(options_.timeoutMs),
                                    [this](device::IrStatusRequest* r) {
                                        result_.read.irRouting = r->result().inputs;
                                        stepDone(1);
                                    });
}

void Job::readSettings() {
    inMode(Mode::Setup, [this] {
        settings::SettingsSession& s = sw_.settings();
        auto seen = std::make_shared<int>(0);
        auto take = [this, seen](int bit) {
            *seen |= bit;
            if (*seen == 3)
                stepDone(1);
        };
        hook(connect(&s, &settings::SettingsSession::longCableReported, this,
                     [this, take](int option) {
                         result_.read.longCable = option == 1;
                         take(1);
                     }));
        hook(
            connect(&s, &settings::SettingsSession::edidModeReported, this, [this, take](int mode) {
                result_.read.edidMode = mode;
                take(2);
            }));
        answerTimer(kAnswerMs, {K::Settings, 0});
        s.statusQuery();
    });
}

// --- writing ---------------------------------------------------------------

void Job::compare() {
    const protocol::Model& m = sw_.model();
    result_.differences = differences(*wanted_, result_.read, options_.parts);
    emit compared();
    if (dryRun_)
        return next();
    const QList<Difference>& d = result_.differences;
    for (const Difference& x : d)
        if (x.item.kind == K::Edid) {
            const int input = x.item.index;
            steps_.push_back({x.item, [this, input] { writeEdid(input); }});
            total_ += 2 * edid::kImageSize;
        }
    if (contains(d, K::IrCodes)) {
        steps_.push_back({{K::IrCodes, 0}, [this] { writeIrCodes(); }});
        total_ += 2 * m.irCodeEntries;
    }
    for (const Difference& x : d)
        if (x.item.kind == K::IrRouting) {
            const int output = x.item.index;
            steps_.push_back({x.item, [this, output] { writeIrRoute(output); }});
            total_ += 1;
        }
    if (contains(d, K::Settings)) {
        steps_.push_back({{K::Settings, 0}, [this] { writeSettings(); }});
        total_ += 1;
    }
    if (contains(d, K::Routing)) {
        steps_.push_back({{K::Routing, 0}, [this] { writeRouting(); }});
        total_ += int(std::count_if(d.begin(), d.end(),
                                    [](const Difference& x) { return x.item.kind == K::Routing; }));
    }
    report(done_);
    next();
}

void Job::writeEdid(int input) {
    inMode(Mode::Edid, [this, input] {
        edid::EdidTransfer& t = sw_.edid();
        auto verifying = std::make_shared<bool>(false);
        hook(connect(&t, &edid::EdidTransfer::started, this, [verifying](transfer::Phase p) {
            *verifying = p == transfer::Phase::Verify;
        }));
        hook(connect(&t, &edid::EdidTransfer::progress, this, [this, verifying](int done, int) {
            report(base_ + done + 1 + (*verifying ? edid::kImageSize : 0));
        }));
        hook(connect(&t, &edid::EdidTransfer::finished, this,
                     [this, input](const transfer::Outcome& o) {
                         if (o.error == transfer::Error::Stopped)
                             return;
                         if (!o.ok())
                             return fail({K::Edid, input}, o);
                         result_.written << Item{K::Edid, input};
                         stepDone(2 * edid::kImageSize);
                     }));
        t.prepare();
        t.choosePort(input - 1);
        t.startDownload(*wanted_->edids.at(input - 1));
    });
}

// The table is written whole, checked by reading it back, then saved: the
// run has no write of single entries.
void Job::writeIrCodes() {
    inMode(Mode::Ir, [this] {
        ir::IrCodeRun& run = sw_.irCodes();
        const int entries = sw_.model().irCodeEntries;
        hook(connect(&run, &ir::IrCodeRun::progress, this, [this, entries](int done, int) {
            const bool checking = sw_.irCodes().phase() == transfer::Phase::Check;
            report(base_ + done + 1 + (checking ? entries : 0));
        }));
        hook(connect(&run, &ir::IrCodeRun::finished, this,
                     [this, entries](const transfer::Outcome& o) {
                         if (o.error == transfer::Error::Stopped)
                             return;
                         if (!o.ok())
                             return fail({K::IrCodes, 0}, o);
                         // Checked; the save goes out after this and the device
                         // acknowledges it.
                         hook(connect(&sw_.link(), &seriallink::Connection::lineReceived, this,
                                      [this, entries](const QString& line) {
                                          if (!protocol::keyword(line, "Ack"))
                                              return;
                                          result_.written << Item{K::IrCodes, 0};
                                          stepDone(2 * entries);
                                      }));
                         answerTimer(kAnswerMs, {K::IrCodes, 0});
                     }));
        run.prepare();
        for (int k = 0; k < entries; ++k)
            run.setCode(k, wanted_->irCodes.at(k));
        if (run.writeCode() != ir::IrCodeRun::Check::Passed)
            fail({K::IrCodes, 0}, outcomeOf(transfer::Error::DeviceError, transfer::Phase::Write));
    });
}

void Job::writeIrRoute(int output) {
    const int input = wanted_->irRouting.at(output - 1);
    submit<device::IrRouteRequest>(new device::IrRouteRequest(output, input, options_.timeoutMs),
                                   [this, output](device::IrRouteRequest*) {
                                       result_.written << Item{K::IrRouting, output};
                                       stepDone(1);
                                   });
}

void Job::writeSettings() {
    inMode(Mode::Setup, [this] {
        settings::SettingsSession& s = sw_.settings();
        const bool cable = wanted_->longCable != result_.read.longCable;
        const bool mode = wanted_->edidMode != result_.read.edidMode;
        const int wantedMode = wanted_->edidMode;
        auto written = [this] {
            result_.written << Item{K::Settings, 0};
            stepDone(1);
        };
        hook(connect(&s, &settings::SettingsSession::edidModeReported, this,
                     [written, wantedMode](int m) {
                         if (m == wantedMode)
                             written();
                     }));
        hook(connect(&s, &settings::SettingsSession::longCableReported, this,
                     [this, written, mode](int option) {
                         if ((option == 1) != wanted_->longCable)
                             return;
                         if (!mode)
                             return written();
                         answerTimer(kAnswerMs, {K::Settings, 0});
                         sw_.settings().setEdidMode(wanted_->edidMode);
                     }));
        answerTimer(kAnswerMs, {K::Settings, 0});
        if (cable)
            s.setLongCable(wanted_->longCable ? 1 : 0);
        else
            s.setEdidMode(wanted_->edidMode);
    });
}

// Every output that differs, submitted together as one salvo: they go out
// one after the other in this client's turns, and the first failure
// cancels the rest. After reading the presets, every output is put back.
void Job::writeRouting() {
    const QList<int>& wanted = wanted_ ? wanted_->routing : result_.read.routing;
    auto left = std::make_shared<int>(0);
    for (int o = 1; o <= sw_.model().outputs; ++o) {
        const int input = wanted.at(o - 1);
        if (input <= 0 || (wanted_ && input == result_.read.routing.at(o - 1)))
            continue;
        ++*left;
        current_ = {K::Routing, o};
        submit<device::RoutingRequest>(device::RoutingRequest::route(o, input, options_.timeoutMs),
                                       [this, o, left](device::RoutingRequest*) {
                                           if (wanted_) {
                                               result_.written << Item{K::Routing, o};
                                               report(++base_);
                                           }
                                           if (--*left == 0)
                                               stepDone(wanted_ ? 0 : 1);
                                       });
    }
    if (*left == 0)
        stepDone(wanted_ ? 0 : 1);
}

} // namespace backup

// backup and restore: the core's job (core/backup/backup_job.h) with the
// tool's file, progress bar, messages and exit statuses around it.

#include "core/backup/backup_job.h"
#include "core/files/read_file.h"
#include "core/files/write_file.h"
#include "frontends/cli/operation.h"
#include "frontends/cli/output.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <csignal>

namespace cli {

namespace {

QJsonArray names(const QList<backup::Item>& items) {
    QJsonArray a;
    for (const backup::Item& i : items)
        a.append(backup::itemName(i));
    return a;
}

QString list(const QList<backup::Item>& items) {
    QStringList s;
    for (const backup::Item& i : items)
        s << backup::itemName(i);
    return s.isEmpty() ? QStringLiteral("nothing") : s.join(QStringLiteral(", "));
}

class BackupOperation : public Operation {
public:
    explicit BackupOperation(const Context& context) : Operation(context) {
        backup::Job::Options o;
        o.timeoutMs = c_.command.timeoutMs;
        o.parts = c_.command.parts;
        o.presets = c_.command.presets;
        o.program = QStringLiteral("hdmi-matrix-ctl %1").arg(QLatin1String(HDMI_MATRIX_VERSION));
        job_ = new backup::Job(c_.device, o, this);
        connect(job_, &backup::Job::progress, this, [this](int done, int total) {
            if (!over())
                c_.console.progress(label(done, total), done, total);
        });
        connect(job_, &backup::Job::compared, this, [this] {
            if (c_.command.dryRun && !c_.command.json)
                for (const backup::Difference& d : job_->result().differences)
                    c_.console.data(backup::differenceLine(d) + QLatin1Char('\n'));
        });
        connect(job_, &backup::Job::finished, this, &BackupOperation::ended);
    }

    bool prepare() override {
        if (!restoring()) {
            file_ = std::make_unique<files::OutputFile>(c_.command.file);
            return openOutput(*file_);
        }
        const QString& path = c_.command.file;
        const files::ReadResult r = files::readFile(path, backup::kMaxFileSize);
        if (!r.ok()) {
            fail(files::readProblemText(path, r));
            return false;
        }
        const backup::Parsed parsed = backup::parse(r.bytes, c_.command.model);
        if (!parsed.backup) {
            fail(QStringLiteral("%1: %2; nothing written").arg(path, parsed.error));
            return false;
        }
        wanted_ = *parsed.backup;
        return true;
    }

    void start() override {
        clock_.start();
        if (restoring())
            return job_->startRestore(*wanted_, c_.command.dryRun);
        if (c_.command.presets)
            c_.console.warning(QStringLiteral("backup --presets: every output switches to each "
                                              "preset's routing in turn, then back"));
        job_->startBackup();
    }

    // The job leaves its device mode first; the status follows once it has.
    void interrupt(int signalNumber) override {
        if (!job_->running())
            return Operation::interrupt(signalNumber);
        signal_ = signalNumber;
        job_->cancel();
    }

private:
    bool restoring() const { return c_.command.verb == Verb::Restore; }

    // "restore input 3 EDID, 41 s left"
    QString label(int done, int total) const {
        QString t =
            verbName(c_.command.verb) + QLatin1Char(' ') + backup::itemName(job_->current());
        const qint64 ms = clock_.elapsed();
        if (done > 0 && ms > 1000)
            t += QStringLiteral(", %1 s left").arg((ms * (total - done) / done + 999) / 1000);
        return t;
    }

    QString problem(const backup::Result& r) const {
        using E = transfer::Error;
        QString why;
        switch (r.failure.error) {
        case E::TimedOut:
            why = QStringLiteral("no answer from %1 in time").arg(c_.port);
            break;
        case E::DeviceError:
            why = QStringLiteral("the device answered \"%1\"").arg(r.failure.lastLine);
            break;
        case E::VerifyMismatch:
            why = QStringLiteral("what was read back differs from what was written");
            break;
        case E::OutOfStep:
            why = QStringLiteral("an answer came twice");
            break;
        case E::WriteFailed:
            why = QStringLiteral("cannot write to %1").arg(c_.port);
            break;
        case E::ModeLeft:
            why = QStringLiteral("the device left its mode by itself");
            break;
        default:
            why = QStringLiteral("the exchange stopped");
            break;
        }
        if (r.failure.index >= 0)
            why += QStringLiteral(" (at %1 %2)")
                       .arg(r.failedItem.kind == backup::Item::Kind::Edid ? QStringLiteral("byte")
                                                                          : QStringLiteral("entry"))
                       .arg(r.failure.index);
        return backup::itemName(r.failedItem) + QStringLiteral(": ") + why;
    }

    QString account(const backup::Result& r) const {
        if (!restoring())
            return QStringLiteral("; nothing saved");
        return QStringLiteral("; written: %1; not written: %2")
            .arg(list(r.written), list(r.notWritten));
    }

    void ended(const backup::Result& r) {
        if (r.status == backup::Result::Status::Cancelled)
            return fail(QStringLiteral("stopped by %1 at %2, after leaving the device's mode%3")
                            .arg(signal_ == SIGTERM  ? QStringLiteral("SIGTERM")
                                 : signal_ == SIGINT ? QStringLiteral("SIGINT")
                                                     : QStringLiteral("signal %1").arg(signal_),
                                 backup::itemName(job_->current()), account(r)),
                        interruptedStatus(signal_));
        if (!r.ok())
            return fail(problem(r) + account(r));
        if (!restoring()) {
            QString reason;
            if (!file_->commit(backup::print(r.read), &reason))
                return fail(QStringLiteral("cannot write %1: %2").arg(file_->name(), reason));
        }
        if (c_.command.json) {
            QJsonObject o{{"file", c_.command.file}};
            if (restoring()) {
                QJsonArray lines;
                for (const backup::Difference& d : r.differences)
                    lines.append(backup::differenceLine(d));
                o.insert("differences", lines);
                o.insert("written", names(r.written));
            } else {
                o.insert("not_read", QJsonArray::fromStringList(r.read.notRead));
            }
            c_.console.json(o);
        }
        finish(kDone);
    }

    backup::Job* job_ = nullptr;
    std::unique_ptr<files::OutputFile> file_;
    std::optional<backup::Backup> wanted_;
    QElapsedTimer clock_;
    int signal_ = SIGINT;
};

} // namespace

std::unique_ptr<Operation> makeBackupOperation(const Context& context) {
    return std::make_unique<BackupOperation>(context);
}

} // namespace cli

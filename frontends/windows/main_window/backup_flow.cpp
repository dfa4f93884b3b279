#include "frontends/windows/main_window/backup_flow.h"

#include "core/backup/backup_job.h"
#include "core/device/switcher.h"
#include "core/files/read_file.h"
#include "core/files/write_file.h"
#include "frontends/windows/platform/dialogs.h"
#include "frontends/windows/titles.h"

#include <QProgressDialog>

namespace main_window {

namespace {

QString items(const QList<backup::Item>& list) {
    QStringList names;
    for (const backup::Item& i : list)
        names << QStringLiteral("  ") + backup::itemName(i);
    return names.isEmpty() ? QStringLiteral("  nothing") : names.join(QLatin1Char('\n'));
}

QString why(const transfer::Outcome& o) {
    switch (o.error) {
    case transfer::Error::TimedOut:
        return QStringLiteral("the switcher did not answer in time");
    case transfer::Error::DeviceError:
        return QStringLiteral("the switcher answered \"%1\"").arg(o.lastLine);
    case transfer::Error::VerifyMismatch:
        return QStringLiteral("what was read back differs from what was written");
    case transfer::Error::WriteFailed:
        return QStringLiteral("the port could not be written");
    case transfer::Error::ModeLeft:
        return QStringLiteral("the switcher left its mode by itself");
    default:
        break;
    }
    return QStringLiteral("the exchange went wrong");
}

} // namespace

BackupFlow::BackupFlow(QWidget* window, device::Switcher& sw, platform::Dialogs& dialogs)
    : window_(window), sw_(sw), dialogs_(dialogs) {}

BackupFlow::~BackupFlow() {
    delete progress_;
}

void BackupFlow::backUp() {
    if (job_)
        return;
    const std::optional<QString> path = dialogs_.saveFileName(window_, kFilter, true);
    if (!path || path->isEmpty())
        return;
    path_ = *path;
    wanted_.reset();
    start(QStringLiteral("Backing up the switcher..."), false, false);
}

void BackupFlow::restore() {
    if (job_)
        return;
    const std::optional<QString> path = dialogs_.openFileName(window_, kFilter);
    if (!path || path->isEmpty())
        return;
    const files::ReadResult file = files::readFile(*path, backup::kMaxFileSize);
    if (!file.ok())
        return report(files::readProblemText(*path, file));
    const backup::Parsed parsed = backup::parse(file.bytes, sw_.model());
    if (!parsed.backup)
        return report(
            QStringLiteral("The file was refused and nothing was written:\n%1").arg(parsed.error));
    wanted_ = parsed.backup;
    start(QStringLiteral("Reading the switcher to compare it with the file..."), true, true);
}

void BackupFlow::start(const QString& label, bool restore, bool dryRun) {
    dryRun_ = dryRun;
    backup::Job::Options o;
    o.program = QStringLiteral("hdmi-matrix");
    job_ = new backup::Job(sw_, o, this);
    delete progress_;
    progress_ = new QProgressDialog(label, QStringLiteral("Cancel"), 0, 1, window_);
    progress_->setWindowTitle(kAppTitle);
    progress_->setAccessibleName(label);
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setMinimumDuration(0);
    connect(progress_, &QProgressDialog::canceled, job_, &backup::Job::cancel);
    connect(job_, &backup::Job::itemStarted, progress_, [this, label](const backup::Item& item) {
        progress_->setLabelText(label + QLatin1Char('\n') + backup::itemName(item));
    });
    connect(job_, &backup::Job::progress, progress_, [this](int done, int total) {
        progress_->setMaximum(total);
        progress_->setValue(done);
    });
    connect(job_, &backup::Job::finished, this, &BackupFlow::ended);
    progress_->show();
    if (restore)
        job_->startRestore(*wanted_, dryRun);
    else
        job_->startBackup();
}

void BackupFlow::ended(const backup::Result& r) {
    job_->deleteLater();
    job_ = nullptr;
    if (progress_)
        progress_->hide();
    const bool writing = wanted_ && !dryRun_;
    const QString account = writing ? QStringLiteral("\n\nWritten:\n%1\n\nNot written:\n%2")
                                          .arg(items(r.written), items(r.notWritten))
                                    : QString();
    if (r.status == backup::Result::Status::Cancelled)
        return report(QStringLiteral("Stopped at %1; the switcher has left its mode.")
                          .arg(backup::itemName(r.failedItem)) +
                      account);
    if (!r.ok())
        return report(
            QStringLiteral("%1: %2.").arg(backup::itemName(r.failedItem), why(r.failure)) +
            account);
    if (wanted_ && dryRun_)
        return confirmWrites(r);
    if (writing)
        return report(QStringLiteral("The switcher was restored.") + account);
    QString reason;
    if (!files::saveFile(path_, backup::print(r.read), &reason,
                         files::OutputFile::NonRegular::Replace))
        return report(QStringLiteral("Cannot save %1: %2").arg(path_, reason));
    report(QStringLiteral("The switcher was backed up to %1.\nNot in the file: %2.")
               .arg(path_, r.read.notRead.join(QStringLiteral(", "))));
}

void BackupFlow::confirmWrites(const backup::Result& r) {
    if (r.differences.isEmpty())
        return report(QStringLiteral("The switcher already matches the file; nothing was "
                                     "written."));
    QStringList lines;
    for (const backup::Difference& d : r.differences)
        lines << backup::differenceLine(d);
    if (!dialogs_.confirm(window_,
                          QStringLiteral("%1 differences between the switcher and the file. "
                                         "Write them to the switcher?")
                              .arg(lines.size()),
                          lines.join(QLatin1Char('\n')), kAppTitle))
        return report(QStringLiteral("Nothing was written."));
    start(QStringLiteral("Restoring the switcher..."), true, false);
}

void BackupFlow::report(const QString& text) {
    dialogs_.message(window_, text, kAppTitle);
    emit over();
}

} // namespace main_window

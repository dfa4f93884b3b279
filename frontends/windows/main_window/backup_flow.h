#pragma once

#include "core/backup/backup_file.h"

#include <QObject>
#include <QPointer>
#include <optional>

class QProgressDialog;
class QWidget;

namespace backup {
class Job;
struct Result;
} // namespace backup
namespace device {
class Switcher;
}
namespace platform {
class Dialogs;
}

namespace main_window {

// "Back up switcher..." and "Restore switcher...": the file dialogs, a
// progress dialog whose Cancel stops the job (the device leaves its mode),
// the differences to confirm before a restore writes anything, and the
// outcome item by item. The work is the core's job; this only shows it.
class BackupFlow : public QObject {
    Q_OBJECT
public:
    static inline const QString kFilter = QStringLiteral("Backup(*.json)|*.json");

    BackupFlow(QWidget* window, device::Switcher& sw, platform::Dialogs& dialogs);
    ~BackupFlow() override;

    void backUp();
    void restore();
    bool running() const { return job_ != nullptr; }

signals:
    // The flow is over: the file written, the restore done, refused or
    // cancelled.
    void over();

private:
    void start(const QString& label, bool restore, bool dryRun);
    void ended(const backup::Result& r);
    void confirmWrites(const backup::Result& r);
    void report(const QString& text);

    QWidget* window_;
    device::Switcher& sw_;
    platform::Dialogs& dialogs_;
    backup::Job* job_ = nullptr;
    QPointer<QProgressDialog> progress_;
    QString path_;
    std::optional<backup::Backup> wanted_;
    bool dryRun_ = false;
};

} // namespace main_window

#pragma once

#include "core/backup/backup_file.h"
#include "state/router_state.h"

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <deque>
#include <optional>

namespace device {
class Switcher;
}
namespace backup {
class Job;
struct Result;
} // namespace backup

namespace server {

class SceneService;

// The server's backups and restores, one at a time: each is the core's job
// (core/backup/backup_job.h) on the switcher's queue under a client of its
// own, so other clients' routes wait at most one item and are never
// refused for it. A backup made here holds the labels and the scenes too,
// and a restore puts them back into the server's stores once the switcher's
// part is done. Every job gets one entry in the audit trail when it ends.
//
// A job is a JSON object, the same for the API and the events: {"id",
// "kind", "state", "done", "total"}, and once over its "result" (a
// backup's document; a restore's {"differences", "written"}) or "error".
class JobRunner : public QObject {
    Q_OBJECT
public:
    // Jobs kept for GET after they end; the oldest go first.
    static constexpr int kKept = 16;
    // The job's turns on the switcher's queue.
    static constexpr int kClient = -1;

    enum class Started { Started, Busy, Absent };

    JobRunner(RouterState& state, SceneService* scenes, QObject* parent = nullptr);
    ~JobRunner() override;
    // The switcher the jobs work on; none: every job is refused Absent.
    void setSwitcher(device::Switcher* sw) { switcher_ = sw; }

    // A backup, or a restore of that document (already checked against the
    // model). *job: the new job's object.
    Started start(const RouterState::Asker& asker, const std::optional<backup::Backup>& restore,
                  bool dryRun, QJsonObject* job);
    // The job's object; empty when there is no such job (any more).
    QJsonObject find(int id) const;
    // Cancels a running job; false when it is not running.
    bool cancel(int id);
    bool running() const { return job_ != nullptr; }

signals:
    // A job started, went on or ended: its object.
    void changed(const QJsonObject& job);

private:
    struct Entry {
        int id = 0;
        bool restore = false;
        QString state;
        int done = 0;
        int total = 0;
        QJsonValue result;
        QString error;
    };
    QJsonObject object(const Entry& e) const;
    Entry* entry(int id);
    void ended(const backup::Result& r);
    QJsonObject shared() const;
    // The labels and scenes of the backup into the stores; the lines of what
    // differs, and whether everything was kept.
    QStringList restoreShared(const QJsonValue& labels, const QJsonValue& scenes, bool write,
                              bool* kept);

    RouterState& state_;
    SceneService* scenes_;
    device::Switcher* switcher_ = nullptr; // the line owner's, which outlives the jobs
    backup::Job* job_ = nullptr;
    std::optional<backup::Backup> wanted_;
    bool dryRun_ = false;
    RouterState::Asker asker_;
    std::deque<Entry> entries_;
    int nextId_ = 1;
};

} // namespace server

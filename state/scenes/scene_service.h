#pragma once

#include "state/outcome.h"
#include "state/router_state.h"
#include "state/scenes/scene_scheduler.h"
#include "state/scenes/scene_store.h"

#include <QObject>
#include <QStringList>
#include <array>
#include <memory>

namespace server {

// The scenes as every front end uses them, on the shared state: a recall is
// one salvo through the request queue, under the same locks; a scene is
// active while the switcher's routing matches all its routes; schedules
// recall by themselves (unless the server runs without them), and a
// scheduled recall the switcher cannot take now is tried again.
class SceneService : public QObject {
    Q_OBJECT
public:
    // schedule: whether the scenes' schedules recall them; clock: the
    // scheduler's (tests give a fake one).
    SceneService(RouterState& state, const QString& folder, bool schedule,
                 SceneScheduler::Clock clock = SceneScheduler::systemClock(),
                 const QTimeZone& zone = QTimeZone::systemTimeZone(), QObject* parent = nullptr);
    ~SceneService() override;

    // Reads the scenes, then arms their schedules; a warning for the log
    // when the file was set aside or is a newer version's. Due times that
    // passed while schedules were not running are logged, not replayed.
    void load(QString* warning);

    SceneStore& store() { return *store_; }
    // The active scenes' names, in the store's order.
    QStringList active() const { return active_; }
    bool isActive(const Scene& scene) const;

    // Recalls the scene for the one asking. Unknown scene: Invalid. Refused
    // whole when an output is locked by another or the switcher is absent;
    // else Queued, and finished() once the switcher reported every route.
    Outcome recall(const QString& name, const RouterState::Asker& asker,
                   RouterState::Finished finished = {});
    // Makes or replaces a scene from the routing the switcher reports now:
    // the outputs named, or all (outputs whose input is not known yet are
    // left out).
    // Recalls by the front end that asked (the schedule's own) and how
    // they ended, unknown scenes too.
    quint64 recalls(Frontend trigger, Outcome outcome) const {
        return recalls_[int(trigger)][int(outcome)];
    }
    // Due times of the schedules that passed without a recall: while
    // schedules were not running, or given up after the retries.
    quint64 missed() const { return missed_; }
    SceneStore::Result capture(const QString& name, const QList<int>& outputs, QString* reason);

signals:
    // The list of scenes, or which are active, changed.
    void changed();
    // One line for the log.
    void log(const QString& line);

private:
    void updateActive();
    void scheduled(const QString& name, const QDateTime& when);
    // Keeps when schedules were last seen running (scenes-schedule-seen):
    // every due time after it until the next start was missed.
    void seen(const QDateTime& when);
    void logMissed();

    RouterState& state_;
    std::unique_ptr<SceneStore> store_;
    std::unique_ptr<SceneScheduler> scheduler_;
    bool schedule_;
    SceneScheduler::Clock clock_;
    QTimeZone zone_;
    QString seenPath_;
    QStringList active_;
    std::array<std::array<quint64, kOutcomes>, kFrontends> recalls_{};
    quint64 missed_ = 0;
};

} // namespace server

#include "state/scenes/scene_scheduler.h"

#include "core/platform/qt_timer.h"
#include "state/scenes/scene_store.h"
#include "state/scenes/schedule.h"

#include <QElapsedTimer>

#include <algorithm>
#include <climits>
#include <memory>

namespace server {

SceneScheduler::Clock SceneScheduler::systemClock() {
    auto elapsed = std::make_shared<QElapsedTimer>();
    elapsed->start();
    return {[] { return QDateTime::currentDateTimeUtc(); },
            [elapsed] { return elapsed->elapsed(); },
            [](QObject* parent) -> platform::Timer* { return new platform::QtTimer(parent); }};
}

SceneScheduler::SceneScheduler(SceneStore& store, const QTimeZone& zone, Clock clock,
                               QObject* parent)
    : QObject(parent), store_(store), zone_(zone), clock_(std::move(clock)),
      timer_(clock_.timer(this)), watchdog_(clock_.timer(this)) {
    timer_->setSingleShot(true);
    watchdog_->setSingleShot(true);
    watchdog_->setInterval(kWatchdogMs);
    connect(timer_, &platform::Timer::timeout, this, &SceneScheduler::fire);
    connect(watchdog_, &platform::Timer::timeout, this, &SceneScheduler::watch);
    connect(&store_, &SceneStore::changed, this, &SceneScheduler::storeChanged);
    arm();
}

void SceneScheduler::arm() {
    armedWall_ = clock_.wall();
    armedElapsed_ = clock_.elapsedMs();
    const QDateTime after = fired_.isValid() && fired_ > armedWall_ ? fired_ : armedWall_;
    due_ = QDateTime();
    dueScenes_.clear();
    for (const Scene& scene : store_.scenes()) {
        const std::optional<Schedule> schedule = Schedule::parse(scene.schedule);
        const QDateTime next = schedule ? schedule->nextDue(after, zone_) : QDateTime();
        if (next.isValid() && (!due_.isValid() || next < due_)) {
            due_ = next;
            dueScenes_ = {scene.name};
        } else if (next.isValid() && next == due_) {
            dueScenes_.append(scene.name);
        }
    }
    if (!due_.isValid()) {
        timer_->stop();
        watchdog_->stop();
        return;
    }
    timer_->setInterval(int(std::clamp<qint64>(armedWall_.msecsTo(due_), 0, INT_MAX)));
    timer_->start();
    watchdog_->start();
}

bool SceneScheduler::jumped() const {
    const qint64 wall = armedWall_.msecsTo(clock_.wall());
    return qAbs(wall - (clock_.elapsedMs() - armedElapsed_)) > kJumpMs;
}

void SceneScheduler::fire() {
    if (jumped()) {
        arm();
        return;
    }
    const QDateTime when = due_;
    const QStringList scenes = dueScenes_;
    fired_ = when;
    arm();
    for (const QString& scene : scenes) {
        cancelRetry(scene);
        emit due(scene, when);
    }
}

void SceneScheduler::watch() {
    if (jumped())
        arm();
    else
        watchdog_->start();
}

void SceneScheduler::storeChanged() {
    for (const QString& scene : retries_.keys()) {
        const std::optional<Scene> kept = store_.find(scene);
        if (!kept || kept->name != scene)
            cancelRetry(scene);
    }
    arm();
}

bool SceneScheduler::retry(const QString& scene, const QDateTime& when) {
    Retry& r = retries_[scene];
    if (r.tries >= kRetries) {
        cancelRetry(scene);
        return false;
    }
    if (!r.timer) {
        r.timer = clock_.timer(this);
        r.timer->setSingleShot(true);
        r.timer->setInterval(kRetryMs);
        connect(r.timer, &platform::Timer::timeout, this,
                [this, scene] { emit due(scene, retries_.value(scene).when); });
    }
    ++r.tries;
    r.when = when;
    r.timer->start();
    return true;
}

void SceneScheduler::cancelRetry(const QString& scene) {
    const Retry r = retries_.take(scene);
    if (r.timer) {
        r.timer->stop();
        r.timer->deleteLater(); // this may be its own timeout
    }
}

} // namespace server

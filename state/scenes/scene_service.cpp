#include "state/scenes/scene_service.h"

#include "core/files/write_file.h"
#include "state/scenes/schedule.h"

#include <QDir>
#include <QFile>
#include <QPointer>

namespace server {

namespace {

const QString kSchedule = QStringLiteral("schedule");

QString recallText(const QString& name) {
    return QStringLiteral("recall scene \"%1\"").arg(name);
}

} // namespace

SceneService::SceneService(RouterState& state, const QString& folder, bool schedule,
                           SceneScheduler::Clock clock, const QTimeZone& zone, QObject* parent)
    : QObject(parent), state_(state), store_(std::make_unique<SceneStore>(folder, state.model())),
      schedule_(schedule), clock_(std::move(clock)), zone_(zone),
      seenPath_(QDir(folder).filePath(QStringLiteral("scenes-schedule-seen"))) {
    connect(store_.get(), &SceneStore::saveFailed, this, [this](const QString& why) {
        emit log(QStringLiteral("scene change refused, it could not be kept: %1").arg(why));
    });
    connect(store_.get(), &SceneStore::setAside, this, &SceneService::log);
    connect(store_.get(), &SceneStore::changed, this, [this] {
        updateActive();
        emit changed();
    });
    connect(&state_, &RouterState::routingChanged, this, [this] {
        const QStringList before = active_;
        updateActive();
        if (active_ != before)
            emit changed();
    });
}

SceneService::~SceneService() = default;

void SceneService::load(QString* warning) {
    store_->load(warning);
    updateActive();
    // Armed for the scenes read, not before: the scheduler arms itself on
    // the store's changes, and reading the file is none.
    if (schedule_ && !scheduler_) {
        logMissed();
        scheduler_ = std::make_unique<SceneScheduler>(*store_, zone_, clock_);
        connect(scheduler_.get(), &SceneScheduler::due, this, &SceneService::scheduled);
    }
}

void SceneService::seen(const QDateTime& when) {
    QString why;
    if (!files::saveFile(seenPath_, when.toUTC().toString(Qt::ISODate).toLatin1() + '\n', &why))
        emit log(QStringLiteral("scene schedules: %1").arg(why));
}

void SceneService::logMissed() {
    // Nothing is due between one recall by schedule (or a start) and the
    // next, so every due time between the last of them and now passed
    // while schedules were not running.
    const QDateTime now = clock_.wall();
    QFile file(seenPath_);
    const QDateTime last =
        file.open(QIODevice::ReadOnly)
            ? QDateTime::fromString(QString::fromLatin1(file.readLine(64)).trimmed(), Qt::ISODate)
            : QDateTime();
    seen(now);
    if (!last.isValid() || last >= now)
        return;
    constexpr int kShown = 3; // a long stop would fill the log
    for (const Scene& scene : store_->scenes()) {
        const std::optional<Schedule> schedule = Schedule::parse(scene.schedule);
        if (!schedule || schedule->isEmpty())
            continue;
        QStringList times;
        int missed = 0;
        for (QDateTime t = schedule->nextDue(last, zone_); t.isValid() && t < now;
             t = schedule->nextDue(t, zone_))
            if (++missed <= kShown)
                times << t.toString(QStringLiteral("ddd yyyy-MM-dd HH:mm"));
        missed_ += quint64(missed);
        if (missed)
            emit log(QStringLiteral("scene \"%1\" was due at %2%3 while schedules were not "
                                    "running; not recalled now")
                         .arg(scene.name, times.join(QStringLiteral(", ")),
                              missed > kShown ? QStringLiteral(" and %1 more").arg(missed - kShown)
                                              : QString()));
    }
}

bool SceneService::isActive(const Scene& scene) const {
    if (scene.routes.isEmpty())
        return false;
    for (const RouterState::Route& r : scene.routes)
        if (state_.input(r.output) != r.input)
            return false;
    return true;
}

void SceneService::updateActive() {
    QStringList now;
    for (const Scene& s : store_->scenes())
        if (isActive(s))
            now.append(s.name);
    active_ = now;
}

Outcome SceneService::recall(const QString& name, const RouterState::Asker& asker,
                             RouterState::Finished finished) {
    const std::optional<Scene> scene = store_->find(name);
    const Frontend trigger = asker.frontend;
    if (!scene) {
        ++recalls_[int(trigger)][int(Outcome::Invalid)];
        return Outcome::Invalid;
    }
    RouterState::Change change =
        RouterState::Change::toRoutes(scene->routes, recallText(scene->name));
    change.scene = true;
    QPointer<SceneService> self(this);
    const Outcome now = state_.ask(asker, change, [self, trigger, finished](Outcome o) {
        if (self)
            ++self->recalls_[int(trigger)][int(o)];
        if (finished)
            finished(o);
    });
    if (now != Outcome::Queued)
        ++recalls_[int(trigger)][int(now)];
    return now;
}

SceneStore::Result SceneService::capture(const QString& name, const QList<int>& outputs,
                                         QString* reason) {
    QList<int> routing;
    for (int o = 1; o <= state_.model().outputs; ++o)
        routing.append(state_.input(o));
    const QList<RouterState::Route> routes = SceneStore::capture(routing, outputs);
    const std::optional<Scene> old = store_->find(name);
    return store_->put(name, routes, old ? old->schedule : QStringList(), reason);
}

void SceneService::scheduled(const QString& name, const QDateTime& when) {
    seen(when);
    QPointer<SceneService> self(this);
    const Outcome now = recall(
        name, {kSchedule, kSchedule, QStringLiteral("the server"), Role::Admin, Frontend::Schedule},
        [self, name](Outcome outcome) {
            if (self && outcome == Outcome::Done && self->scheduler_)
                self->scheduler_->cancelRetry(name);
        });
    if (now == Outcome::Queued || now == Outcome::Invalid)
        return;
    // Locked or absent: the venue still expects the scene, so it is tried
    // again a while.
    if (scheduler_->retry(name, when)) {
        emit log(
            QStringLiteral("scheduled scene \"%1\" not recalled (%2); trying again in a minute")
                .arg(name, AuditTrail::refusal(now)));
    } else {
        ++missed_;
        emit log(QStringLiteral("scheduled scene \"%1\" not recalled (%2); given up")
                     .arg(name, AuditTrail::refusal(now)));
    }
}

} // namespace server

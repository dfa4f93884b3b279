#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <functional>

namespace platform {
class Timer;
}

namespace server {

class SceneStore;

// Says when the store's scenes are due by their schedules. One single-shot
// timer is armed for the next due time over all scenes, again after every
// firing and every change of the store; nothing is armed while no scene has
// a schedule. A due time that passed while the server was not running is
// not replayed: only times after the start count.
//
// The timer runs on the monotonic clock while due times are wall times, so
// a wall clock set right, or a machine waking from suspend, would leave the
// timer aiming at the wrong moment. Daylight saving is no such jump (due
// times follow it), but these are: a second single-shot timer, the watchdog,
// compares the wall clock with the monotonic one when the due timer fires
// and at most every 15 minutes, and arms both again from the wall clock
// when they disagree by more than 5 seconds. A due time the wall clock
// jumped over is not replayed, as one missed while the server was down.
//
// A scheduled recall the switcher refuses is the caller's to retry:
// retry() emits due() again a minute on, up to ten times.
class SceneScheduler : public QObject {
    Q_OBJECT
public:
    static constexpr int kWatchdogMs = 15 * 60 * 1000;
    static constexpr qint64 kJumpMs = 5000;
    static constexpr int kRetries = 10;
    static constexpr int kRetryMs = 60 * 1000;

    // Where time comes from: the machine's clocks and timers, or a test's.
    struct Clock {
        std::function<QDateTime()> wall;
        std::function<qint64()> elapsedMs; // monotonic, never set
        std::function<platform::Timer*(QObject* parent)> timer;
    };
    static Clock systemClock();

    SceneScheduler(SceneStore& store, const QTimeZone& zone, Clock clock,
                   QObject* parent = nullptr);

    // The next due time, invalid when none, and the scenes due then.
    QDateTime nextDue() const { return due_; }
    QStringList nextScenes() const { return dueScenes_; }

    // Emits due(scene, when) again in kRetryMs; false, forgetting the
    // scene's retries, once kRetries have been made since the last due
    // time or cancelRetry().
    bool retry(const QString& scene, const QDateTime& when);
    // The scene was recalled: no more retries. Retries also end when the
    // scene is removed or is due again.
    void cancelRetry(const QString& scene);

signals:
    void due(const QString& scene, const QDateTime& when);

private:
    struct Retry {
        platform::Timer* timer = nullptr;
        int tries = 0;
        QDateTime when;
    };
    void arm();
    bool jumped() const;
    void fire();
    void watch();
    void storeChanged();

    SceneStore& store_;
    QTimeZone zone_;
    Clock clock_;
    platform::Timer* timer_;
    platform::Timer* watchdog_;
    QDateTime armedWall_; // the clocks when the timers were armed
    qint64 armedElapsed_ = 0;
    QDateTime due_;
    QStringList dueScenes_;
    QDateTime fired_; // never due at or before this again
    QHash<QString, Retry> retries_;
};

} // namespace server

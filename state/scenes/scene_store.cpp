#include "state/scenes/scene_store.h"

#include "state/scenes/schedule.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace server {

namespace {

using Route = RouterState::Route;

// The largest file the limits allow (a hundred scenes of the longest names,
// every output and every schedule entry) is some 190 kB.
constexpr qint64 kMaxFileSize = 1024 * 1024;

SceneStore::Result refuse(SceneStore::Result result, const QString& why, QString* reason) {
    if (reason)
        *reason = why;
    return result;
}

bool before(const Scene& a, const Scene& b) {
    return a.name.toCaseFolded() < b.name.toCaseFolded();
}

QJsonObject toJson(const Scene& scene) {
    QJsonArray routes;
    for (const Route& r : scene.routes)
        routes.append(QJsonObject{{"output", r.output}, {"input", r.input}});
    return {{"name", scene.name},
            {"routes", routes},
            {"schedule", QJsonArray::fromStringList(scene.schedule)}};
}

} // namespace

SceneStore::SceneStore(const QString& folder, const protocol::Model& model, QObject* parent)
    : QObject(parent), model_(model),
      file_(QDir(folder).filePath(QStringLiteral("scenes.json")), kVersion, kMaxFileSize) {}

bool SceneStore::nameAllowed(const QString& name) {
    const qsizetype points = RouterState::textLength(name);
    return points >= 1 && points <= kMaxNameLength && !name.front().isSpace() &&
           !name.back().isSpace();
}

QList<Route> SceneStore::capture(const QList<int>& routing, const QList<int>& outputs) {
    QList<Route> routes;
    for (int o = 1; o <= routing.size(); ++o)
        if ((outputs.isEmpty() || outputs.contains(o)) && routing[o - 1] >= 1)
            routes.append({o, routing[o - 1]});
    return routes;
}

std::optional<Scene> SceneStore::checked(const QString& name, QList<Route> routes,
                                         const QStringList& schedule, QString* reason) const {
    QString why;
    if (!nameAllowed(name))
        why = QStringLiteral("a name is 1-%1 characters, without control characters or blanks "
                             "at either end")
                  .arg(kMaxNameLength);
    else if (routes.isEmpty())
        why = QStringLiteral("a scene routes at least one output");
    else if (schedule.size() > kMaxScheduleEntries)
        why = QStringLiteral("a schedule has at most %1 entries").arg(kMaxScheduleEntries);
    std::sort(routes.begin(), routes.end(),
              [](const Route& a, const Route& b) { return a.output < b.output; });
    for (qsizetype i = 0; i < routes.size() && why.isEmpty(); ++i) {
        if (!model_.isOutput(routes[i].output) || !model_.isInput(routes[i].input))
            why = QStringLiteral("routes are from outputs 1-%1 to inputs 1-%2")
                      .arg(model_.outputs)
                      .arg(model_.inputs);
        else if (i > 0 && routes[i].output == routes[i - 1].output)
            why = QStringLiteral("output %1 is routed twice").arg(routes[i].output);
    }
    const std::optional<Schedule> parsed =
        why.isEmpty() ? Schedule::parse(schedule, &why) : std::nullopt;
    if (!parsed) {
        if (reason)
            *reason = why;
        return std::nullopt;
    }
    return Scene{name, routes, parsed->texts()};
}

qsizetype SceneStore::indexOf(const QString& name) const {
    const QString folded = name.toCaseFolded();
    for (qsizetype i = 0; i < scenes_.size(); ++i)
        if (scenes_[i].name.toCaseFolded() == folded)
            return i;
    return -1;
}

std::optional<Scene> SceneStore::find(const QString& name) const {
    const qsizetype at = indexOf(name);
    return at < 0 ? std::nullopt : std::optional<Scene>(scenes_[at]);
}

bool SceneStore::load(QString* warning) {
    scenes_.clear();
    using State = files::VersionedJson::State;
    const State state = file_.read();
    if (state == State::Missing)
        return true;
    const bool newer = state == State::Newer;
    const QJsonValue list = file_.root().value(QLatin1String("scenes"));
    if (state == State::Fine && !list.isArray())
        file_.markDamaged(QStringLiteral("not a scene file"));
    QList<Scene> read;
    const QJsonArray entries = list.toArray();
    for (qsizetype i = 0; file_.state() != State::Damaged && i < entries.size(); ++i) {
        QString bad;
        std::optional<Scene> scene = fromJson(entries.at(i).toObject(), read, &bad);
        if (scene)
            read.append(*scene);
        else if (!newer) // a newer version's scene may be one this one cannot read
            file_.markDamaged(QStringLiteral("scene %1: %2").arg(i + 1).arg(bad));
    }
    *warning = file_.readNote(QStringLiteral("starting without scenes"), QStringLiteral("scene"));
    if (file_.state() == State::Damaged)
        return true;
    std::sort(read.begin(), read.end(), before);
    scenes_ = read;
    return true;
}

std::optional<Scene> SceneStore::fromJson(const QJsonObject& o, const QList<Scene>& read,
                                          QString* bad) const {
    QList<Route> routes;
    for (const QJsonValue& r : o.value(QLatin1String("routes")).toArray())
        routes.append({r[QLatin1String("output")].toInt(), r[QLatin1String("input")].toInt()});
    QStringList schedule;
    for (const QJsonValue& s : o.value(QLatin1String("schedule")).toArray())
        schedule.append(s.isString() ? s.toString() : QStringLiteral("?"));
    const QJsonValue name = o.value(QLatin1String("name"));
    if (!name.isString()) {
        *bad = QStringLiteral("no name");
        return std::nullopt;
    }
    std::optional<Scene> scene = checked(name.toString(), routes, schedule, bad);
    if (scene && std::any_of(read.cbegin(), read.cend(), [&](const Scene& s) {
            return s.name.toCaseFolded() == scene->name.toCaseFolded();
        })) {
        *bad = QStringLiteral("its name is another's");
        return std::nullopt;
    }
    if (scene && read.size() >= kMaxScenes) {
        *bad = QStringLiteral("more than %1 scenes").arg(kMaxScenes);
        return std::nullopt;
    }
    if (!scene && bad->isEmpty())
        *bad = QStringLiteral("no name");
    return scene;
}

bool SceneStore::keep(const QList<Scene>& next, QString* reason) {
    QJsonArray list;
    for (const Scene& s : next)
        list.append(toJson(s));
    QString line;
    if (file_.write(QJsonObject{{"scenes", list}}, &line)) {
        if (!file_.aside().isEmpty())
            emit setAside(QStringLiteral("scenes: %1 was damaged, and the unreadable file is "
                                         "kept as %2")
                              .arg(file_.path(), file_.aside()));
        return true;
    }
    if (reason)
        *reason = line;
    emit saveFailed(line);
    return false;
}

SceneStore::Result SceneStore::put(const QString& name, QList<Route> routes,
                                   const QStringList& schedule, QString* reason) {
    const std::optional<Scene> scene = checked(name, routes, schedule, reason);
    if (!scene)
        return Result::Invalid;
    const qsizetype at = indexOf(name);
    if (at >= 0 && scenes_[at].name != name)
        return refuse(Result::Clash,
                      QStringLiteral("a scene is already named \"%1\"").arg(scenes_[at].name),
                      reason);
    if (at < 0 && scenes_.size() >= kMaxScenes)
        return refuse(Result::Full, QStringLiteral("at most %1 scenes are kept").arg(kMaxScenes),
                      reason);
    QList<Scene> next = scenes_;
    if (at >= 0) {
        next[at] = *scene;
    } else {
        next.append(*scene);
        std::sort(next.begin(), next.end(), before);
    }
    if (!keep(next, reason))
        return Result::NotKept;
    scenes_ = next;
    emit changed();
    return Result::Done;
}

SceneStore::Result SceneStore::remove(const QString& name, QString* reason) {
    const qsizetype at = indexOf(name);
    if (at < 0)
        return refuse(Result::Unknown, QStringLiteral("no scene is named \"%1\"").arg(name),
                      reason);
    QList<Scene> next = scenes_;
    next.removeAt(at);
    if (!keep(next, reason))
        return Result::NotKept;
    scenes_ = next;
    emit changed();
    return Result::Done;
}

} // namespace server

#include "state/scenes/scene_store.h"

#include "core/files/write_file.h"
#include "state/scenes/schedule.h"

#include <QDateTime>
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
    : QObject(parent), model_(model), folder_(folder),
      path_(QDir(folder).filePath(QStringLiteral("scenes.json"))) {}

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
    damaged_ = false;
    newer_ = 0;
    QFile file(path_);
    if (!file.exists())
        return true;
    QString why;
    QJsonDocument doc;
    if (!file.open(QIODevice::ReadOnly)) {
        why = file.errorString();
    } else {
        const QByteArray bytes = file.read(kMaxFileSize + 1);
        QJsonParseError error;
        doc = QJsonDocument::fromJson(bytes, &error);
        why = bytes.size() > kMaxFileSize ? QStringLiteral("larger than %1 bytes").arg(kMaxFileSize)
              : error.error != QJsonParseError::NoError ? error.errorString()
                                                        : QString();
    }
    const QJsonObject root = doc.object();
    const int version = root.value(QLatin1String("version")).toInt(0);
    const QJsonValue list = root.value(QLatin1String("scenes"));
    // A newer version's file is never set aside, whatever its shape.
    newer_ = why.isEmpty() && version > kVersion ? version : 0;
    if (why.isEmpty() && !newer_ && (version < 1 || !list.isArray()))
        why = QStringLiteral("not a scene file");
    const QJsonArray entries = list.toArray();
    QList<Scene> read;
    for (qsizetype i = 0; why.isEmpty() && i < entries.size(); ++i) {
        const QJsonObject o = entries.at(i).toObject();
        QList<Route> routes;
        for (const QJsonValue& r : o.value(QLatin1String("routes")).toArray())
            routes.append({r[QLatin1String("output")].toInt(), r[QLatin1String("input")].toInt()});
        QStringList schedule;
        for (const QJsonValue& s : o.value(QLatin1String("schedule")).toArray())
            schedule.append(s.isString() ? s.toString() : QStringLiteral("?"));
        QString bad;
        const QJsonValue name = o.value(QLatin1String("name"));
        std::optional<Scene> scene =
            name.isString() ? checked(name.toString(), routes, schedule, &bad) : std::nullopt;
        if (scene && std::any_of(read.cbegin(), read.cend(), [&](const Scene& s) {
                return s.name.toCaseFolded() == scene->name.toCaseFolded();
            })) {
            scene.reset();
            bad = QStringLiteral("its name is another's");
        } else if (scene && read.size() >= kMaxScenes) {
            scene.reset();
            bad = QStringLiteral("more than %1 scenes").arg(kMaxScenes);
        }
        if (scene)
            read.append(*scene);
        else if (!newer_) // a newer version's scene may be one this one cannot read
            why = QStringLiteral("scene %1: %2")
                      .arg(i + 1)
                      .arg(bad.isEmpty() ? QStringLiteral("no name") : bad);
    }
    if (newer_) {
        *warning = QStringLiteral("%1 is of a newer version (%2); read as far as understood, and "
                                  "scene changes are refused so that it is not overwritten")
                       .arg(path_)
                       .arg(newer_);
    } else if (!why.isEmpty()) {
        damaged_ = true;
        QString line;
        const bool aside = setDamagedAside(&line);
        *warning = QStringLiteral("%1: %2; starting without scenes, %3").arg(path_, why, line);
        return aside;
    }
    std::sort(read.begin(), read.end(), before);
    scenes_ = read;
    return true;
}

bool SceneStore::setDamagedAside(QString* line) {
    const QString aside =
        path_ + QDateTime::currentDateTime().toString(QStringLiteral(".'damaged'-yyyyMMdd-hhmmss"));
    if (!QFile::rename(path_, aside)) {
        *line = QStringLiteral("and scene changes are refused as it cannot be set aside as %1")
                    .arg(aside);
        return false;
    }
    damaged_ = false;
    *line = QStringLiteral("and the unreadable file is kept as %1").arg(aside);
    return true;
}

bool SceneStore::keep(const QList<Scene>& next, QString* reason) {
    QString line;
    if (newer_ > 0) {
        line =
            QStringLiteral("%1 is of a newer version (%2); not overwritten").arg(path_).arg(newer_);
    } else if (damaged_ && !setDamagedAside(&line)) {
        line = QStringLiteral("%1: damaged, %2").arg(path_, line);
    } else if (!QDir().mkpath(folder_)) {
        line = QStringLiteral("%1: cannot create the folder").arg(folder_);
    } else {
        if (!line.isEmpty())
            emit setAside(QStringLiteral("scenes: %1 was damaged, %2").arg(path_, line));
        QJsonArray list;
        for (const Scene& s : next)
            list.append(toJson(s));
        const QJsonObject root{{"version", kVersion}, {"scenes", list}};
        if (files::saveFile(path_, QJsonDocument(root).toJson(), &line))
            return true;
        line = QStringLiteral("%1: %2").arg(path_, line);
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

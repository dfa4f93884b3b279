#include "frontends/server/job_runner.h"

#include "core/backup/backup_job.h"
#include "core/device/switcher.h"
#include "state/scenes/scene_service.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace server {

namespace {

using Side = RouterState::Side;

QString stateName(backup::Result::Status s) {
    switch (s) {
    case backup::Result::Status::Done:
        return QStringLiteral("done");
    case backup::Result::Status::Failed:
        return QStringLiteral("failed");
    case backup::Result::Status::Cancelled:
        break;
    }
    return QStringLiteral("cancelled");
}

QJsonArray sceneRoutes(const QList<RouterState::Route>& routes) {
    QJsonArray a;
    for (const RouterState::Route& r : routes)
        a.append(
            QJsonObject{{QStringLiteral("output"), r.output}, {QStringLiteral("input"), r.input}});
    return a;
}

} // namespace

JobRunner::JobRunner(RouterState& state, SceneService* scenes, QObject* parent)
    : QObject(parent), state_(state), scenes_(scenes) {}

JobRunner::~JobRunner() = default;

JobRunner::Started JobRunner::start(const RouterState::Asker& asker,
                                    const std::optional<backup::Backup>& restore, bool dryRun,
                                    QJsonObject* job) {
    if (job_)
        return Started::Busy;
    if (!switcher_ || !state_.present())
        return Started::Absent;
    backup::Job::Options o;
    o.client = kClient;
    o.program = QStringLiteral("hdmi-matrix-server");
    job_ = new backup::Job(*switcher_, o, this);
    asker_ = asker;
    wanted_ = restore;
    dryRun_ = dryRun;
    entries_.push_back({nextId_++, restore.has_value(), QStringLiteral("running"), 0, 0, {}, {}});
    while (entries_.size() > kKept)
        entries_.pop_front();
    const int id = entries_.back().id;
    connect(job_, &backup::Job::progress, this, [this, id](int done, int total) {
        if (Entry* e = entry(id)) {
            e->done = done;
            e->total = total;
            emit changed(object(*e));
        }
    });
    connect(job_, &backup::Job::finished, this, &JobRunner::ended);
    if (restore)
        job_->startRestore(*restore, dryRun);
    else
        job_->startBackup();
    if (const Entry* e = entry(id))
        *job = object(*e);
    return Started::Started;
}

QJsonObject JobRunner::find(int id) const {
    for (const Entry& e : entries_)
        if (e.id == id)
            return object(e);
    return {};
}

bool JobRunner::cancel(int id) {
    const Entry* e = entry(id);
    if (!job_ || !e || e->id != entries_.back().id || e->state != QLatin1String("running"))
        return false;
    job_->cancel();
    return true;
}

JobRunner::Entry* JobRunner::entry(int id) {
    for (Entry& e : entries_)
        if (e.id == id)
            return &e;
    return nullptr;
}

QJsonObject JobRunner::object(const Entry& e) const {
    QJsonObject o{
        {QStringLiteral("id"), e.id},
        {QStringLiteral("kind"), e.restore ? QStringLiteral("restore") : QStringLiteral("backup")},
        {QStringLiteral("state"), e.state},
        {QStringLiteral("done"), e.done},
        {QStringLiteral("total"), e.total}};
    if (e.result.isObject())
        o.insert(QStringLiteral("result"), e.result);
    if (!e.error.isEmpty())
        o.insert(QStringLiteral("error"), e.error);
    return o;
}

void JobRunner::ended(const backup::Result& r) {
    job_->deleteLater();
    job_ = nullptr;
    Entry& e = entries_.back();
    e.state = stateName(r.status);
    QStringList lines, written;
    for (const backup::Difference& d : r.differences)
        lines << backup::differenceLine(d);
    for (const backup::Item& i : r.written)
        written << backup::itemName(i);
    if (!r.ok()) {
        e.error = r.status == backup::Result::Status::Cancelled
                      ? QStringLiteral("cancelled at %1").arg(backup::itemName(r.failedItem))
                      : QStringLiteral("%1: %2").arg(backup::itemName(r.failedItem),
                                                     r.failure.error == transfer::Error::TimedOut
                                                         ? QStringLiteral("no answer in time")
                                                         : QStringLiteral("the exchange failed"));
    } else if (wanted_) {
        bool kept = true;
        const QStringList shared = restoreShared(wanted_->labels, wanted_->scenes, !dryRun_, &kept);
        lines << shared;
        if (!dryRun_)
            written << shared;
        if (!kept)
            e.state = QStringLiteral("failed"), e.error = QStringLiteral("a label or scene was "
                                                                         "not kept");
    } else {
        backup::Backup b = r.read;
        const QJsonObject s = shared();
        b.labels = s.value(QStringLiteral("labels"));
        b.scenes = s.value(QStringLiteral("scenes"));
        e.result = QJsonDocument::fromJson(backup::print(b)).object();
    }
    if (wanted_)
        e.result = QJsonObject{{QStringLiteral("differences"), QJsonArray::fromStringList(lines)},
                               {QStringLiteral("written"), QJsonArray::fromStringList(written)}};
    const QString what =
        wanted_ ? (dryRun_ ? QStringLiteral("restore (dry run)") : QStringLiteral("restore"))
                : QStringLiteral("backup");
    state_.audit().record(asker_.who, asker_.from,
                          e.error.isEmpty() ? what : what + QStringLiteral(": ") + e.error,
                          e.state == QLatin1String("done") ? Outcome::Done : Outcome::Failed, true);
    emit changed(object(e));
}

QJsonObject JobRunner::shared() const {
    QJsonObject labels;
    for (Side side : {Side::Inputs, Side::Outputs}) {
        QJsonArray texts;
        for (int p : state_.allPorts(side))
            texts.append(state_.label(side, p));
        labels.insert(side == Side::Inputs ? QStringLiteral("inputs") : QStringLiteral("outputs"),
                      texts);
    }
    QJsonArray scenes;
    if (scenes_)
        for (const Scene& s : scenes_->store().scenes())
            scenes.append(
                QJsonObject{{QStringLiteral("name"), s.name},
                            {QStringLiteral("routes"), sceneRoutes(s.routes)},
                            {QStringLiteral("schedule"), QJsonArray::fromStringList(s.schedule)}});
    return {{QStringLiteral("labels"), labels}, {QStringLiteral("scenes"), scenes}};
}

QStringList JobRunner::restoreShared(const QJsonValue& labels, const QJsonValue& scenes, bool write,
                                     bool* kept) {
    QStringList lines;
    for (Side side : {Side::Inputs, Side::Outputs}) {
        const QString name =
            side == Side::Inputs ? QStringLiteral("input") : QStringLiteral("output");
        const QJsonArray texts = labels[name + QLatin1Char('s')].toArray();
        QList<RouterState::LabelChange> changes;
        for (int p : state_.allPorts(side)) {
            const QString text = texts.at(p - 1).toString();
            if (p > texts.size() || text == state_.label(side, p))
                continue;
            lines << QStringLiteral("%1 %2 label: \"%3\" \u2192 \"%4\"")
                         .arg(name)
                         .arg(p)
                         .arg(state_.label(side, p), text);
            changes << RouterState::LabelChange{p, text};
        }
        if (write && !changes.isEmpty())
            *kept &=
                state_.ask(asker_, RouterState::Change::toLabels(side, changes)) == Outcome::Done;
    }
    if (!scenes_)
        return lines;
    for (const QJsonValue& v : scenes.toArray()) {
        const QString name = v[QStringLiteral("name")].toString();
        QList<RouterState::Route> routes;
        for (const QJsonValue& r : v[QStringLiteral("routes")].toArray())
            routes << RouterState::Route{r[QStringLiteral("output")].toInt(),
                                         r[QStringLiteral("input")].toInt()};
        QStringList schedule;
        for (const QJsonValue& s : v[QStringLiteral("schedule")].toArray())
            schedule << s.toString();
        const std::optional<Scene> now = scenes_->store().find(name);
        if (now && sceneRoutes(now->routes) == sceneRoutes(routes) && now->schedule == schedule)
            continue;
        lines << QStringLiteral("scene \"%1\": %2")
                     .arg(name, now ? QStringLiteral("changed") : QStringLiteral("added"));
        if (write)
            *kept &= scenes_->store().put(name, routes, schedule) == SceneStore::Result::Done;
    }
    return lines;
}

} // namespace server

#pragma once

#include "core/files/versioned_json.h"
#include "state/router_state.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace server {

// A named set of routes recalled as one salvo, and when it recalls itself.
struct Scene {
    QString name;
    QList<RouterState::Route> routes; // one per output at most, by output
    QStringList schedule;             // Schedule's texts
};

// The server's scenes, kept in scenes.json in the state folder: {"version":
// 1, "scenes": [{"name": text, "routes": [{"output": n, "input": n}],
// "schedule": [texts]}]}. A change is written, atomically, before it
// applies, so that a change that cannot be kept is refused rather than lost
// at the next start.
//
// Names are compared as the operator reads them: two names that differ only
// in letter case are the same scene. A name is kept as typed, never trimmed;
// one with a blank at either end is refused, as it would look like another.
//
// A file it cannot read is set aside, renamed, at load and the server starts
// without scenes; a newer version's file is read as far as understood and
// never overwritten.
class SceneStore : public QObject {
    Q_OBJECT
public:
    static constexpr int kVersion = 1;
    static constexpr int kMaxScenes = 100;
    static constexpr int kMaxNameLength = 64; // Unicode code points
    static constexpr int kMaxScheduleEntries = 16;

    enum class Result {
        Done,
        Invalid, // a bad name, route or schedule entry
        Clash,   // another scene has the name, in another letter case
        Full,    // kMaxScenes are kept
        Unknown, // no scene of that name
        NotKept, // the file could not be written, or is a newer version's
    };
    Q_ENUM(Result)

    // model: the switcher's, which the scenes' routes must fit.
    explicit SceneStore(const QString& folder,
                        const protocol::Model& model = protocol::Model::standard(),
                        QObject* parent = nullptr);

    // Reads the file; a missing one holds no scenes. A damaged one (not
    // JSON, not scenes, an invalid scene) gives none and is set aside at the
    // first change; a newer version's is read as far as understood and
    // never overwritten: *warning says so, in words for the log.
    bool load(QString* warning);
    QString path() const { return file_.path(); }

    // Creates a scene, or replaces the one of exactly that name; routes in
    // any order, the schedule in any form Schedule reads. *reason says why
    // anything but Done, in words for the client.
    Result put(const QString& name, QList<RouterState::Route> routes, const QStringList& schedule,
               QString* reason = nullptr);
    // The name in any letter case; *reason as put().
    Result remove(const QString& name, QString* reason = nullptr);
    std::optional<Scene> find(const QString& name) const;
    // By name, ignoring letter case.
    QList<Scene> scenes() const { return scenes_; }

    // 1 to kMaxNameLength code points of UTF-8 text without control
    // characters or blanks at either end.
    static bool nameAllowed(const QString& name);
    // The routes a capture of the outputs' routing makes (all outputs when
    // none are named), leaving out outputs whose input is not known (0).
    // Capture is the caller's: it reads the routing and puts the scene.
    // routing: the input of each output (index output - 1).
    static QList<RouterState::Route> capture(const QList<int>& routing,
                                             const QList<int>& outputs = {});

signals:
    // After every change that applied.
    void changed();
    // A change was refused as it could not be written; one line for the log.
    void saveFailed(const QString& reason);
    void setAside(const QString& line);

private:
    protocol::Model model_;
    std::optional<Scene> checked(const QString& name, QList<RouterState::Route> routes,
                                 const QStringList& schedule, QString* reason) const;
    std::optional<Scene> fromJson(const QJsonObject& o, const QList<Scene>& read,
                                  QString* bad) const;
    bool keep(const QList<Scene>& next, QString* reason);
    qsizetype indexOf(const QString& name) const;

    files::VersionedJson file_;
    QList<Scene> scenes_;
};

} // namespace server

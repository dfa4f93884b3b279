#pragma once

#include "core/files/versioned_json.h"
#include "core/protocol/model.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace server {

// A named set of outputs: a hall, a foyer, a lecture room. An account may be
// kept to some rooms; a page may show one room alone.
struct Room {
    QString name;
    QList<int> outputs; // ascending, each once
    bool operator==(const Room&) const = default;
};

// The rooms an administrator named, kept in rooms.json in the state folder:
// {"version": 1, "rooms": [{"name": text, "outputs": [numbers]}]}, written
// whole and atomically before a change applies. Names are compared ignoring
// letter case and hold no comma (the account commands list rooms with
// commas). A file it cannot read is set aside, renamed, at the first
// change; a newer version's file is read as far as understood and never
// overwritten.
class RoomStore : public QObject {
    Q_OBJECT
public:
    static constexpr int kVersion = 1;
    static constexpr int kMaxRooms = 100;
    static constexpr int kMaxNameLength = 64; // Unicode code points

    enum class Result { Done, Invalid, Full, Unknown, NotKept };

    RoomStore(const QString& folder, const protocol::Model& model, QObject* parent = nullptr);

    // Reads the file; a missing one holds no rooms. False with the reason,
    // for the log, when it is there but damaged or a newer version's.
    bool load(QString* error);
    QString path() const { return file_.path(); }

    QList<Room> rooms() const { return rooms_; } // by name, ignoring case
    std::optional<Room> find(const QString& name) const;
    // The outputs of those rooms together, ascending; rooms not there add
    // none.
    QList<int> outputsOf(const QStringList& names) const;
    // Creates or replaces a room (its name's letter case as given now).
    Result put(const QString& name, QList<int> outputs, QString* reason);
    Result remove(const QString& name, QString* reason);

    static bool nameAllowed(const QString& name);
    // "Hall A, Foyer" as names; empty names dropped.
    static QStringList splitNames(const QString& list);

signals:
    void changed();
    // A damaged file set aside, or a change not kept: one line for the log.
    void logLine(const QString& line);

private:
    qsizetype indexOf(const QString& name) const;
    bool keep(const QList<Room>& next, QString* reason);

    files::VersionedJson file_;
    protocol::Model model_;
    QList<Room> rooms_;
};

} // namespace server

#include "state/room_store.h"

#include "state/router_state.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>

namespace server {

namespace {

constexpr qint64 kMaxFileSize = 256 * 1024;

bool byName(const Room& a, const Room& b) {
    return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
}

} // namespace

RoomStore::RoomStore(const QString& folder, const protocol::Model& model, QObject* parent)
    : QObject(parent),
      file_(QDir(folder).filePath(QStringLiteral("rooms.json")), kVersion, kMaxFileSize),
      model_(model) {}

bool RoomStore::nameAllowed(const QString& name) {
    const qsizetype points = RouterState::textLength(name);
    return points >= 1 && points <= kMaxNameLength && !name.front().isSpace() &&
           !name.back().isSpace() && !name.contains(QLatin1Char(','));
}

QStringList RoomStore::splitNames(const QString& list) {
    QStringList names;
    for (const QString& part : list.split(QLatin1Char(',')))
        if (!part.trimmed().isEmpty())
            names.append(part.trimmed());
    return names;
}

qsizetype RoomStore::indexOf(const QString& name) const {
    for (qsizetype i = 0; i < rooms_.size(); ++i)
        if (rooms_[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

std::optional<Room> RoomStore::find(const QString& name) const {
    const qsizetype i = indexOf(name);
    return i < 0 ? std::nullopt : std::optional<Room>(rooms_[i]);
}

QList<int> RoomStore::outputsOf(const QStringList& names) const {
    QList<int> outputs;
    for (const QString& name : names)
        if (const auto room = find(name))
            outputs += room->outputs;
    std::sort(outputs.begin(), outputs.end());
    outputs.erase(std::unique(outputs.begin(), outputs.end()), outputs.end());
    return outputs;
}

bool RoomStore::load(QString* error) {
    rooms_.clear();
    using State = files::VersionedJson::State;
    const State state = file_.read();
    if (state == State::Missing)
        return true;
    const QJsonValue list = file_.root().value(QLatin1String("rooms"));
    QList<Room> read;
    bool good = state != State::Damaged && list.isArray();
    for (const QJsonValue& v : list.toArray()) {
        Room room{v[QLatin1String("name")].toString(), {}};
        for (const QJsonValue& o : v[QLatin1String("outputs")].toArray())
            room.outputs.append(o.toInt());
        std::sort(room.outputs.begin(), room.outputs.end());
        good = good && nameAllowed(room.name) &&
               std::all_of(room.outputs.begin(), room.outputs.end(),
                           [this](int o) { return model_.isOutput(o); });
        read.append(room);
    }
    if (!good) {
        if (state != State::Damaged)
            file_.markDamaged(QStringLiteral("not a rooms file"));
        *error = file_.readNote(QStringLiteral("no rooms"), QStringLiteral("room"));
        return false;
    }
    std::sort(read.begin(), read.end(), byName);
    rooms_ = read;
    if (state == State::Newer) {
        *error = file_.readNote(QStringLiteral("no rooms"), QStringLiteral("room"));
        return false;
    }
    return true;
}

RoomStore::Result RoomStore::put(const QString& name, QList<int> outputs, QString* reason) {
    std::sort(outputs.begin(), outputs.end());
    outputs.erase(std::unique(outputs.begin(), outputs.end()), outputs.end());
    if (!nameAllowed(name)) {
        *reason = QStringLiteral("A room's name is 1 to %1 characters, without control "
                                 "characters, commas or blanks at either end.")
                      .arg(kMaxNameLength);
        return Result::Invalid;
    }
    if (outputs.isEmpty() || !std::all_of(outputs.begin(), outputs.end(),
                                          [this](int o) { return model_.isOutput(o); })) {
        *reason =
            QStringLiteral("A room holds 1 to %1 outputs, numbered 1 to %1.").arg(model_.outputs);
        return Result::Invalid;
    }
    QList<Room> next = rooms_;
    const qsizetype at = indexOf(name);
    if (at >= 0)
        next.removeAt(at);
    else if (rooms_.size() >= kMaxRooms) {
        *reason = QStringLiteral("There are %1 rooms already.").arg(kMaxRooms);
        return Result::Full;
    }
    next.append({name, outputs});
    std::sort(next.begin(), next.end(), byName);
    return keep(next, reason) ? Result::Done : Result::NotKept;
}

RoomStore::Result RoomStore::remove(const QString& name, QString* reason) {
    const qsizetype at = indexOf(name);
    if (at < 0) {
        *reason = QStringLiteral("There is no room \"%1\".").arg(name);
        return Result::Unknown;
    }
    QList<Room> next = rooms_;
    next.removeAt(at);
    return keep(next, reason) ? Result::Done : Result::NotKept;
}

bool RoomStore::keep(const QList<Room>& next, QString* reason) {
    const auto fail = [&](const QString& line) {
        emit logLine(line);
        *reason = QStringLiteral("The rooms could not be kept; the server's log says why.");
        return false;
    };
    QJsonArray list;
    for (const Room& room : next) {
        QJsonArray outputs;
        for (const int o : room.outputs)
            outputs.append(o);
        list.append(QJsonObject{{"name", room.name}, {"outputs", outputs}});
    }
    QString why;
    if (!file_.write(QJsonObject{{"rooms", list}}, &why))
        return fail(why);
    if (!file_.aside().isEmpty())
        emit logLine(QStringLiteral("rooms: the unreadable %1 is kept as %2")
                         .arg(file_.path(), file_.aside()));
    rooms_ = next;
    emit changed();
    return true;
}

} // namespace server

#include "state/label_store.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace server {

namespace {

constexpr qint64 kMaxFileSize = 64 * 1024;
constexpr RouterState::Side kSides[] = {RouterState::Side::Inputs, RouterState::Side::Outputs};

const char* key(RouterState::Side side) {
    return side == RouterState::Side::Inputs ? "inputs" : "outputs";
}

} // namespace

LabelStore::LabelStore(RouterState& state, const QString& folder, QObject* parent)
    : QObject(parent), state_(state),
      file_(QDir(folder).filePath(QStringLiteral("labels.json")), kVersion, kMaxFileSize) {
    state_.keepLabels = [this](RouterState::Side side, const QStringList& next) {
        return keep(side, next);
    };
}

bool LabelStore::read(Labels* labels, QString* error) {
    using State = files::VersionedJson::State;
    const State state = file_.read();
    if (state == State::Missing)
        return true;
    const QString note =
        file_.readNote(QStringLiteral("using the defaults"), QStringLiteral("label"));
    if (state == State::Damaged) {
        *error = note;
        return false;
    }
    for (const RouterState::Side side : kSides) {
        for (const QJsonValue& v : file_.root().value(QLatin1String(key(side))).toArray())
            (*labels)[int(side)].append(v.toString());
    }
    if (state == State::Newer) {
        *error = note;
        return false;
    }
    return true;
}

bool LabelStore::load(QString* error) {
    Labels labels;
    const bool fine = read(&labels, error);
    for (const RouterState::Side side : kSides)
        state_.loadLabels(side, labels[int(side)]);
    return fine;
}

bool LabelStore::reload(QString* error) {
    Labels labels;
    const bool fine = read(&labels, error);
    if (file_.state() == files::VersionedJson::State::Damaged)
        return false; // what clients see stays
    reloading_ = true;
    for (const RouterState::Side side : kSides) {
        QList<RouterState::LabelChange> changes;
        for (int p = 1; p <= state_.ports(side); ++p) {
            const QString text = labels[int(side)].value(p - 1);
            if (state_.label(side, p) !=
                (text.isEmpty() ? RouterState::defaultLabel(side, p) : text))
                changes.append({p, text});
        }
        if (!changes.isEmpty())
            state_.ask({QString(), QStringLiteral("local"), QStringLiteral("the labels file")},
                       RouterState::Change::toLabels(side, changes));
    }
    reloading_ = false;
    return fine;
}

bool LabelStore::keep(RouterState::Side side, const QStringList& next) {
    if (reloading_)
        return true; // what the file holds
    QJsonObject root;
    for (const RouterState::Side s : kSides) {
        QJsonArray list;
        for (int p = 1; p <= state_.ports(s); ++p) {
            const QString text = s == side ? next.value(p - 1) : state_.label(s, p);
            list.append(text == RouterState::defaultLabel(s, p) ? QString() : text);
        }
        root.insert(QLatin1String(key(s)), list);
    }
    QString why;
    if (!file_.write(root, &why)) {
        emit saveFailed(why);
        return false;
    }
    if (!file_.aside().isEmpty())
        emit setAside(QStringLiteral("labels: the unreadable %1 is kept as %2")
                          .arg(file_.path(), file_.aside()));
    return true;
}

} // namespace server

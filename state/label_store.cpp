#include "state/label_store.h"

#include "core/files/write_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
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
    : QObject(parent), state_(state), folder_(folder),
      path_(QDir(folder).filePath(QStringLiteral("labels.json"))) {
    state_.keepLabels = [this](RouterState::Side side, const QStringList& next) {
        return keep(side, next);
    };
}

bool LabelStore::read(Labels* labels, QString* error) {
    damaged_ = false;
    newer_ = 0;
    QFile file(path_);
    if (!file.exists())
        return true;
    QJsonDocument doc;
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.read(kMaxFileSize + 1);
        if (bytes.size() <= kMaxFileSize)
            doc = QJsonDocument::fromJson(bytes);
    }
    const QJsonObject root = doc.object();
    const int version = root.value(QLatin1String("version")).toInt(kVersion);
    if (!doc.isObject() || version < 1) {
        damaged_ = true;
        *error =
            QStringLiteral("%1: %2; using the defaults, and it is set aside at the first "
                           "change")
                .arg(path_, file.error() != QFile::NoError ? file.errorString()
                                                           : QStringLiteral("not a label file"));
        return false;
    }
    for (const RouterState::Side side : kSides) {
        for (const QJsonValue& v : root.value(QLatin1String(key(side))).toArray())
            (*labels)[int(side)].append(v.toString());
    }
    if (version > kVersion) {
        newer_ = version;
        *error = QStringLiteral("%1 is of a newer version (%2); read as far as understood, and "
                                "label changes are refused so that it is not overwritten")
                     .arg(path_)
                     .arg(version);
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
    if (damaged_)
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
    if (newer_ > 0) {
        emit saveFailed(QStringLiteral("%1 is of a newer version (%2); not overwritten")
                            .arg(path_)
                            .arg(newer_));
        return false;
    }
    QJsonObject root{{"version", kVersion}};
    for (const RouterState::Side s : kSides) {
        QJsonArray list;
        for (int p = 1; p <= state_.ports(s); ++p) {
            const QString text = s == side ? next.value(p - 1) : state_.label(s, p);
            list.append(text == RouterState::defaultLabel(s, p) ? QString() : text);
        }
        root.insert(QLatin1String(key(s)), list);
    }
    if (!QDir().mkpath(folder_)) {
        emit saveFailed(QStringLiteral("%1: cannot create the folder").arg(folder_));
        return false;
    }
    if (damaged_) {
        const QString aside = path_ + QDateTime::currentDateTime().toString(
                                          QStringLiteral(".'damaged'-yyyyMMdd-hhmmss"));
        if (!QFile::rename(path_, aside)) {
            emit saveFailed(QStringLiteral("%1 cannot be set aside as %2").arg(path_, aside));
            return false;
        }
        damaged_ = false;
        emit setAside(QStringLiteral("labels: the unreadable %1 is kept as %2").arg(path_, aside));
    }
    QString reason;
    if (!files::saveFile(path_, QJsonDocument(root).toJson(), &reason)) {
        emit saveFailed(QStringLiteral("%1: %2").arg(path_, reason));
        return false;
    }
    return true;
}

} // namespace server

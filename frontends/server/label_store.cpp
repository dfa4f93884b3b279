#include "frontends/server/label_store.h"

#include "core/files/write_file.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace server {

namespace {

constexpr qint64 kMaxFileSize = 64 * 1024;

const char* key(RouterState::Side side) {
    return side == RouterState::Side::Inputs ? "inputs" : "outputs";
}

} // namespace

LabelStore::LabelStore(RouterState& state, const QString& folder, QObject* parent)
    : QObject(parent), state_(state), folder_(folder),
      path_(QDir(folder).filePath(QStringLiteral("labels.json"))) {
    connect(&state_, &RouterState::labelsChanged, this, [this] {
        QString reason;
        if (!save(&reason))
            emit saveFailed(reason);
    });
}

bool LabelStore::load(QString* error) {
    QFile file(path_);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path_, file.errorString());
        return false;
    }
    const QByteArray bytes = file.read(kMaxFileSize + 1);
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (bytes.size() > kMaxFileSize || !doc.isObject()) {
        *error = QStringLiteral("%1: not a label file").arg(path_);
        return false;
    }
    for (const RouterState::Side side : {RouterState::Side::Inputs, RouterState::Side::Outputs}) {
        QStringList labels;
        for (const QJsonValue& v : doc.object().value(QLatin1String(key(side))).toArray())
            labels.append(v.toString());
        state_.loadLabels(side, labels);
    }
    return true;
}

bool LabelStore::save(QString* error) {
    QJsonObject root;
    for (const RouterState::Side side : {RouterState::Side::Inputs, RouterState::Side::Outputs}) {
        QJsonArray list;
        for (int p = 1; p <= RouterState::ports(side); ++p) {
            const QString text = state_.label(side, p);
            list.append(text == RouterState::defaultLabel(side, p) ? QString() : text);
        }
        root.insert(QLatin1String(key(side)), list);
    }
    if (!QDir().mkpath(folder_)) {
        *error = QStringLiteral("%1: cannot create the folder").arg(folder_);
        return false;
    }
    QString reason;
    if (!files::saveFile(path_, QJsonDocument(root).toJson(), &reason)) {
        *error = QStringLiteral("%1: %2").arg(path_, reason);
        return false;
    }
    return true;
}

} // namespace server

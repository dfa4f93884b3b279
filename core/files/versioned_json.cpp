#include "core/files/versioned_json.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace files {

VersionedJson::VersionedJson(const QString& path, int version, qint64 maxSize)
    : path_(path), version_(version), maxSize_(maxSize) {}

VersionedJson::State VersionedJson::read() {
    root_ = {};
    fileVersion_ = 0;
    why_.clear();
    QFile file(path_);
    if (!file.exists())
        return state_ = State::Missing;
    const auto damaged = [this](const QString& why) {
        root_ = {};
        why_ = why;
        return state_ = State::Damaged;
    };
    if (!file.open(QIODevice::ReadOnly))
        return damaged(file.errorString());
    const QByteArray bytes = file.read(maxSize_ + 1);
    if (file.error() != QFile::NoError)
        return damaged(file.errorString());
    if (bytes.size() > maxSize_)
        return damaged(QStringLiteral("larger than %1 bytes").arg(maxSize_));
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parse);
    if (parse.error != QJsonParseError::NoError)
        return damaged(
            QStringLiteral("not JSON (%1 at byte %2)").arg(parse.errorString()).arg(parse.offset));
    root_ = doc.object();
    const QJsonValue version = root_.value(QLatin1String("version"));
    if (!doc.isObject() || !version.isDouble() || version.toDouble() != version.toInt() ||
        version.toInt() < 1)
        return damaged(QStringLiteral("no \"version\""));
    fileVersion_ = version.toInt();
    return state_ = fileVersion_ > version_ ? State::Newer : State::Fine;
}

void VersionedJson::markDamaged(const QString& why) {
    root_ = {};
    why_ = why;
    state_ = State::Damaged;
}

bool VersionedJson::setAside(QString* error) {
    const QString aside = path_ + now().toString(QStringLiteral(".'damaged'-yyyyMMdd-hhmmss"));
    if (QFileInfo::exists(path_) && !QFile::rename(path_, aside)) {
        *error = QStringLiteral("%1 is damaged and cannot be set aside as %2").arg(path_, aside);
        return false;
    }
    aside_ = aside;
    state_ = State::Missing;
    return true;
}

bool VersionedJson::write(QJsonObject root, QString* error) {
    return write(std::move(root), error, Write());
}

bool VersionedJson::write(QJsonObject root, QString* error, const Write& how) {
    aside_.clear();
    if (state_ == State::Newer) {
        *error = QStringLiteral("%1 is of a newer version (%2); not overwritten")
                     .arg(path_)
                     .arg(fileVersion_);
        return false;
    }
    const QString folder = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("%1: cannot create the folder").arg(folder);
        return false;
    }
    if (state_ == State::Damaged && !setAside(error))
        return false;
    root.insert(QLatin1String("version"), how.version > 0 ? how.version : version_);
    const QByteArray bytes = QJsonDocument(root).toJson();
    QSaveFile file(path_);
    const auto fail = [&](const QString& why) {
        *error = QStringLiteral("%1: %2").arg(path_, why);
        return false;
    };
    // Owner only before a byte is written: QSaveFile gives the new file the
    // old one's mode, or the umask's.
    if (!file.open(QIODevice::WriteOnly) ||
        (how.ownerOnly && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)))
        return fail(file.errorString());
    QString why;
    if (how.opened && !how.opened(int(file.handle()), &why))
        return fail(why);
    if (file.write(bytes) != bytes.size() || !file.commit())
        return fail(file.errorString());
    state_ = State::Fine;
    fileVersion_ = how.version > 0 ? how.version : version_;
    return true;
}

QString VersionedJson::readNote(const QString& instead, const QString& changes) const {
    if (state_ == State::Damaged)
        return QStringLiteral("%1: %2; %3, and it is set aside at the first change")
            .arg(path_, why_, instead);
    if (state_ == State::Newer)
        return QStringLiteral("%1 is of a newer version (%2); read as far as understood, and %3 "
                              "changes are refused so that it is not overwritten")
            .arg(path_)
            .arg(fileVersion_)
            .arg(changes);
    return {};
}

} // namespace files

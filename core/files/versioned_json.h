#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <functional>

namespace files {

// A program's own state kept as one JSON object with a "version" number
// (the labels, the scenes, the accounts), and the one rule for a file that
// cannot be taken as it is:
// - damaged (unreadable, too large, not JSON, no version): nothing of it is
//   used, and it stays where it is until the first write, which first sets
//   it aside as NAME.damaged-YYYYMMDD-HHMMSS, so that nothing is lost;
// - of a newer version: read as far as understood, never overwritten (a
//   newer program may keep there what this one cannot write back).
class VersionedJson {
public:
    enum class State { Missing, Fine, Damaged, Newer };

    VersionedJson(const QString& path, int version, qint64 maxSize);

    // Reads the file. root() is its object when Fine or Newer, empty
    // otherwise; why() says what was wrong when Damaged.
    State read();
    State state() const { return state_; }
    const QJsonObject& root() const { return root_; }
    int fileVersion() const { return fileVersion_; }
    const QString& why() const { return why_; }
    const QString& path() const { return path_; }
    // The owner found the content unusable although it parsed: the file is
    // then Damaged, as if unreadable.
    void markDamaged(const QString& why);
    // A file that was read as Damaged (and not set aside yet) or Newer: a
    // caller may treat what it gave as not to be trusted.
    bool trouble() const { return state_ == State::Damaged || state_ == State::Newer; }
    // The log's line for a store that read a Damaged or Newer file: what it
    // uses instead of a damaged one ("no rooms"), and whose changes a newer
    // one refuses ("room"). Empty for Missing and Fine.
    QString readNote(const QString& instead, const QString& changes) const;

    // Writes root with this program's "version", whole or not at all. A
    // Newer file is refused; a Damaged one is set aside first (aside() then
    // names where it went). An ownerOnly file is the owner's alone (mode
    // 0600); opened, when given, sees the new file's descriptor before a
    // byte is written (to give it an owner) and may refuse it.
    struct Write {
        // The version written, when an older one still says all the file
        // holds (0: this program's).
        int version = 0;
        bool ownerOnly = false;
        std::function<bool(int fd, QString* why)> opened;
    };
    bool write(QJsonObject root, QString* error, const Write& how);
    bool write(QJsonObject root, QString* error);
    // Where a damaged file was set aside by the last write, if it was.
    const QString& aside() const { return aside_; }

    // The clock the set-aside name is taken from; tests set it.
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };

private:
    bool setAside(QString* error);

    QString path_;
    int version_;
    qint64 maxSize_;
    State state_ = State::Missing;
    QJsonObject root_;
    int fileVersion_ = 0;
    QString why_;
    QString aside_;
};

} // namespace files

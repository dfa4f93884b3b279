#pragma once

#include "core/files/versioned_json.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

class QJsonValue;

namespace server {

// What a web client may do: a viewer watches, an operator also routes,
// recalls presets and sends salvos, an administrator also changes labels,
// saves presets and reads the audit trail. Ordered: a role includes the
// ones before it.
enum class Role { Viewer, Operator, Admin };
QString roleName(Role role); // "viewer", "operator", "admin"
std::optional<Role> roleFromName(const QString& name);

// The accounts of the web front end, kept in accounts.json in the state
// folder (mode 0600, replaced whole, never partly written): users with a
// role and a password hash (libsodium's crypto_pwhash_str, Argon2id, the
// interactive limits), and API tokens with a name, a role and a hash of the
// token (never the token). Names: 1 to 64 characters, letters, digits and
// ". _ -" only, unique (a user and a token may share a name).
class Accounts {
public:
    static constexpr int kVersion = 1;

    struct User {
        QString name;
        Role role = Role::Viewer;
    };
    struct Token {
        QString name;
        Role role = Role::Viewer;
    };
    // Who a password or token proved to be.
    struct Principal {
        QString name;
        Role role = Role::Viewer;
        bool token = false;
    };
    enum class Edit { Done, Exists, Unknown, Invalid };

    explicit Accounts(const QString& folder);
    QString path() const;

    // Reads the file; a missing file is no accounts, no error. False with
    // the reason (for the log or the command line) when it is there but
    // cannot be read or is a newer version's: the accounts are then none,
    // and a server lets nobody in (damaged() tells the first case).
    bool load(QString* error);
    bool damaged() const { return file_.state() == files::VersionedJson::State::Damaged; }
    // Writes the file whole, mode 0600. A newer version's file is never
    // overwritten; a damaged one is first set aside (setAside() then names
    // where it went). False with the reason.
    bool save(QString* error);
    const QString& setAside() const { return file_.aside(); }

    bool empty() const;          // no user and no token
    QList<User> users() const;   // by name
    QList<Token> tokens() const; // by name
    static bool nameAllowed(const QString& name);

    // Invalid: a bad name, or an empty password.
    Edit addUser(const QString& name, Role role, const QByteArray& password);
    Edit setPassword(const QString& name, const QByteArray& password);
    Edit setRole(const QString& name, Role role);
    Edit removeUser(const QString& name);
    // The new token's text on Done: at least 32 random bytes from libsodium,
    // URL-safe base64 without padding, shown once and never kept.
    Edit addToken(const QString& name, Role role, QByteArray* token);
    Edit removeToken(const QString& name);

    // The user, when the password is theirs. An unknown user costs the
    // same time as a wrong password (a hash is checked all the same).
    std::optional<Principal> signIn(const QString& name, QByteArrayView password) const;
    // signIn() in two halves, so that the slow one (a tenth of a second or
    // more, and 64 MiB) may run away from the thread that owns the
    // accounts: what to check, taken here, and the check, on any thread.
    struct PasswordCheck {
        QString name;
        Role role = Role::Viewer;
        QByteArray hash; // the user's, or a stand-in's for an unknown name
        bool known = false;
    };
    PasswordCheck passwordCheck(const QString& name) const;
    static std::optional<Principal> check(const PasswordCheck& c, QByteArrayView password);
    // The token's owner: its hash compared with every token's in constant
    // time.
    std::optional<Principal> checkToken(QByteArrayView token) const;
    // The user or token of that name now (nothing once removed).
    std::optional<Principal> find(const QString& name, bool token) const;

private:
    // A user's password hash (crypto_pwhash_str's text), or a token's
    // BLAKE2b hash (its bytes; hex in the file).
    struct Entry {
        QString name;
        Role role = Role::Viewer;
        QByteArray secret;
    };
    static qsizetype indexOf(const QList<Entry>& list, const QString& name);
    static Edit insert(QList<Entry>& list, Entry entry);
    static bool read(const QJsonValue& value, bool tokens, QList<Entry>* into, QString* why);

    QString folder_;
    files::VersionedJson file_;
    QList<Entry> users_;  // by name
    QList<Entry> tokens_; // by name
};

} // namespace server

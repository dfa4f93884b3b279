#include "state/accounts.h"

#include "state/platform/file_owner.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <algorithm>
#include <sodium.h>

namespace server {

namespace {

constexpr qint64 kMaxFileSize = 1024 * 1024;
constexpr int kMaxName = 64;
constexpr qsizetype kMaxPassword = 1024;
constexpr int kTokenBytes = 32;
constexpr int kTokenHashBytes = crypto_generichash_BYTES;
// Makes a token recognisable wherever it turns up: in a script, a log
// someone pasted, a secret scanner's findings.
constexpr char kTokenPrefix[] = "hmx_";

constexpr const char* kRoleNames[] = {"viewer", "operator", "admin"};

void startSodium() {
    // Safe to call again; after the first it only reports that it ran.
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        qFatal("libsodium could not start: no source of randomness");
}

bool passwordAllowed(QByteArrayView password) {
    return !password.isEmpty() && password.size() <= kMaxPassword;
}

std::optional<QByteArray> hashPassword(QByteArrayView password) {
    char text[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(text, password.data(), quint64(password.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return std::nullopt; // out of memory
    return QByteArray(text);
}

// What an unknown user's password is checked against, so that a wrong name
// takes as long as a wrong password; its password is random and forgotten.
const QByteArray& dummyHash() {
    static const QByteArray hash = [] {
        unsigned char random[16];
        randombytes_buf(random, sizeof random);
        return hashPassword(QByteArrayView(reinterpret_cast<const char*>(random), sizeof random))
            .value_or(QByteArray("$argon2id$"));
    }();
    return hash;
}

QByteArray tokenHash(QByteArrayView token) {
    QByteArray hash(kTokenHashBytes, Qt::Uninitialized);
    crypto_generichash(reinterpret_cast<unsigned char*>(hash.data()), size_t(hash.size()),
                       reinterpret_cast<const unsigned char*>(token.data()), size_t(token.size()),
                       nullptr, 0);
    return hash;
}

const char* secretKey(bool tokens) {
    return tokens ? "hash" : "password";
}

} // namespace

QString roleName(Role role) {
    return QLatin1String(kRoleNames[int(role)]);
}

std::optional<Role> roleFromName(const QString& name) {
    for (int i = 0; i < int(std::size(kRoleNames)); ++i)
        if (name == QLatin1String(kRoleNames[i]))
            return Role(i);
    return std::nullopt;
}

Accounts::Accounts(const QString& folder)
    : folder_(folder),
      file_(QDir(folder).filePath(QStringLiteral("accounts.json")), kVersion, kMaxFileSize) {
    startSodium();
}

QString Accounts::path() const {
    return file_.path();
}

bool Accounts::nameAllowed(const QString& name) {
    if (name.isEmpty() || name.size() > kMaxName)
        return false;
    return std::all_of(name.begin(), name.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
               u == '.' || u == '_' || u == '-';
    });
}

qsizetype Accounts::indexOf(const QList<Entry>& list, const QString& name) {
    const auto at = std::lower_bound(list.begin(), list.end(), name,
                                     [](const Entry& e, const QString& n) { return e.name < n; });
    return at != list.end() && at->name == name ? at - list.begin() : -1;
}

Accounts::Edit Accounts::insert(QList<Entry>& list, Entry entry) {
    const auto at = std::lower_bound(list.begin(), list.end(), entry.name,
                                     [](const Entry& e, const QString& n) { return e.name < n; });
    if (at != list.end() && at->name == entry.name)
        return Edit::Exists;
    list.insert(at - list.begin(), std::move(entry));
    return Edit::Done;
}

bool Accounts::read(const QJsonValue& value, bool tokens, QList<Entry>* into, QString* why) {
    const char* kind = tokens ? "token" : "user";
    if (!value.isArray()) {
        *why = QStringLiteral("\"%1s\" is not a list").arg(QLatin1String(kind));
        return false;
    }
    const QJsonArray list = value.toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QJsonObject o = list.at(i).toObject();
        const QString name = o.value(QLatin1String("name")).toString();
        const std::optional<Role> role = roleFromName(o.value(QLatin1String("role")).toString());
        const QByteArray secret = o.value(QLatin1String(secretKey(tokens))).toString().toLatin1();
        Entry e{name, role.value_or(Role::Viewer), secret};
        if (tokens) {
            e.secret = QByteArray::fromHex(secret);
            if (secret.size() != 2 * kTokenHashBytes || e.secret.toHex() != secret.toLower())
                e.secret.clear();
        }
        if (!nameAllowed(name) || !role || e.secret.isEmpty()) {
            *why = QStringLiteral("%1 %2 lacks a valid name, role or %3")
                       .arg(QLatin1String(kind))
                       .arg(i + 1)
                       .arg(QLatin1String(secretKey(tokens)));
            return false;
        }
        if (insert(*into, std::move(e)) == Edit::Exists) {
            *why = QStringLiteral("%1 \"%2\" is there twice").arg(QLatin1String(kind), name);
            return false;
        }
    }
    return true;
}

bool Accounts::load(QString* error) {
    users_.clear();
    tokens_.clear();
    using State = files::VersionedJson::State;
    const auto refuse = [&](const QString& why) {
        users_.clear();
        tokens_.clear();
        *error = QStringLiteral("%1: %2; no account is read from it").arg(path(), why);
        return false;
    };
    switch (file_.read()) {
    case State::Missing:
        return true;
    case State::Damaged:
        return refuse(file_.why());
    case State::Newer:
        // A newer server may grant what this one cannot read: nobody gets in.
        return refuse(QStringLiteral("of a newer version (%1)").arg(file_.fileVersion()));
    case State::Fine:
        break;
    }
    QString why;
    if (!read(file_.root().value(QLatin1String("users")), false, &users_, &why) ||
        !read(file_.root().value(QLatin1String("tokens")), true, &tokens_, &why)) {
        file_.markDamaged(why);
        return refuse(why);
    }
    return true;
}

bool Accounts::save(QString* error) {
    QJsonObject root;
    for (const bool tokens : {false, true}) {
        QJsonArray list;
        for (const Entry& e : tokens ? tokens_ : users_)
            list.append(QJsonObject{
                {"name", e.name},
                {"role", roleName(e.role)},
                {secretKey(tokens), QString::fromLatin1(tokens ? e.secret.toHex() : e.secret)}});
        root.insert(QLatin1String(tokens ? "tokens" : "users"), list);
    }
    files::VersionedJson::Write how;
    how.ownerOnly = true;
    how.opened = [this](int fd, QString* why) { return shareFolderOwner(fd, folder_, why); };
    return file_.write(root, error, how);
}

bool Accounts::empty() const {
    return users_.isEmpty() && tokens_.isEmpty();
}

QList<Accounts::User> Accounts::users() const {
    QList<User> list;
    for (const Entry& e : users_)
        list.append({e.name, e.role});
    return list;
}

QList<Accounts::Token> Accounts::tokens() const {
    QList<Token> list;
    for (const Entry& e : tokens_)
        list.append({e.name, e.role});
    return list;
}

Accounts::Edit Accounts::addUser(const QString& name, Role role, const QByteArray& password) {
    if (!nameAllowed(name) || !passwordAllowed(password))
        return Edit::Invalid;
    if (indexOf(users_, name) >= 0)
        return Edit::Exists;
    const std::optional<QByteArray> hash = hashPassword(password);
    if (!hash)
        return Edit::Invalid;
    return insert(users_, {name, role, *hash});
}

Accounts::Edit Accounts::setPassword(const QString& name, const QByteArray& password) {
    if (!nameAllowed(name) || !passwordAllowed(password))
        return Edit::Invalid;
    const qsizetype i = indexOf(users_, name);
    if (i < 0)
        return Edit::Unknown;
    const std::optional<QByteArray> hash = hashPassword(password);
    if (!hash)
        return Edit::Invalid;
    users_[i].secret = *hash;
    return Edit::Done;
}

Accounts::Edit Accounts::setRole(const QString& name, Role role) {
    if (!nameAllowed(name))
        return Edit::Invalid;
    const qsizetype i = indexOf(users_, name);
    if (i < 0)
        return Edit::Unknown;
    users_[i].role = role;
    return Edit::Done;
}

Accounts::Edit Accounts::removeUser(const QString& name) {
    if (!nameAllowed(name))
        return Edit::Invalid;
    const qsizetype i = indexOf(users_, name);
    if (i < 0)
        return Edit::Unknown;
    users_.removeAt(i);
    return Edit::Done;
}

Accounts::Edit Accounts::addToken(const QString& name, Role role, QByteArray* token) {
    if (!nameAllowed(name))
        return Edit::Invalid;
    if (indexOf(tokens_, name) >= 0)
        return Edit::Exists;
    QByteArray random(kTokenBytes, Qt::Uninitialized);
    randombytes_buf(random.data(), size_t(random.size()));
    const QByteArray text = kTokenPrefix + random.toBase64(QByteArray::Base64UrlEncoding |
                                                           QByteArray::OmitTrailingEquals);
    if (token)
        *token = text;
    return insert(tokens_, {name, role, tokenHash(text)});
}

Accounts::Edit Accounts::removeToken(const QString& name) {
    if (!nameAllowed(name))
        return Edit::Invalid;
    const qsizetype i = indexOf(tokens_, name);
    if (i < 0)
        return Edit::Unknown;
    tokens_.removeAt(i);
    return Edit::Done;
}

Accounts::PasswordCheck Accounts::passwordCheck(const QString& name) const {
    const qsizetype i = indexOf(users_, name);
    if (i < 0)
        return {name, Role::Viewer, dummyHash(), false};
    return {users_[i].name, users_[i].role, users_[i].secret, true};
}

std::optional<Accounts::Principal> Accounts::check(const PasswordCheck& c,
                                                   QByteArrayView password) {
    if (!passwordAllowed(password))
        return std::nullopt;
    const bool right = crypto_pwhash_str_verify(c.hash.constData(), password.data(),
                                                quint64(password.size())) == 0;
    if (!right || !c.known)
        return std::nullopt;
    return Principal{c.name, c.role, false};
}

std::optional<Accounts::Principal> Accounts::signIn(const QString& name,
                                                    QByteArrayView password) const {
    return check(passwordCheck(name), password);
}

std::optional<Accounts::Principal> Accounts::checkToken(QByteArrayView token) const {
    const QByteArray hash = tokenHash(token);
    const Entry* match = nullptr;
    // Every hash is compared, in constant time, so that the time taken
    // tells nothing of where a token is nor how near it came.
    for (const Entry& e : tokens_)
        if (sodium_memcmp(hash.constData(), e.secret.constData(), size_t(hash.size())) == 0)
            match = &e;
    if (!match)
        return std::nullopt;
    return Principal{match->name, match->role, true};
}

std::optional<Accounts::Principal> Accounts::find(const QString& name, bool token) const {
    const QList<Entry>& list = token ? tokens_ : users_;
    const qsizetype i = indexOf(list, name);
    if (i < 0)
        return std::nullopt;
    return Principal{list[i].name, list[i].role, token};
}

} // namespace server

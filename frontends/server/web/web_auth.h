#pragma once

#include "frontends/server/web/http_message.h"
#include "state/accounts.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <deque>
#include <functional>
#include <variant>

namespace server {
class AuditTrail;
}

namespace web {

// Whom a request comes from, as far as it proved it.
struct Caller {
    QString who; // a user's or token's name; "local" for loopback without accounts
    server::Role role = server::Role::Viewer;
    enum class Kind { Local, User, Token } kind = Kind::Local;
    QByteArray session; // the key of the session it came with, if any

    // Still allowed by these accounts: the user or token is still there, a
    // local caller only while there are none.
    bool stillValid(const server::Accounts& accounts) const;
};

} // namespace web

Q_DECLARE_METATYPE(web::Caller)

namespace web {

// Which callers a change concerns.
using CallerTest = std::function<bool(const Caller&)>;

// Sign-ins refused per address: after kFailures within kWindowMs, every
// sign-in from that address is refused until kWindowMs after the last of
// them, the right password too, so that guessing costs a minute per few
// tries. Remembers a bounded number of addresses.
class SignInLimiter {
public:
    static constexpr int kFailures = 5;
    static constexpr qint64 kWindowMs = 60000;
    static constexpr int kAddresses = 4096;

    // Seconds until the address may try again; 0 when it may now.
    int retryAfter(const QString& address, qint64 now);
    void failed(const QString& address, qint64 now);

private:
    void forget(qint64 now);
    QHash<QString, std::deque<qint64>> failures_;
};

// The web front end's access rules. While no account exists, loopback
// clients have every right and others none. Once one exists, every request
// but the public ones needs a session (from POST /api/v1/login, its cookie
// HttpOnly and SameSite=Strict) or an API token (Authorization: Bearer).
// Sessions live in memory and end after 12 hours without a request, with a
// change of their user's password or the user's removal, and when more
// sessions are made than are kept; their event streams end with them.
class WebAuth : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kSessionIdleMs = 12LL * 3600 * 1000;
    static constexpr int kMaxSessions = 1024;
    // A user's own beyond these: the one signed in first ends.
    static constexpr int kSessionsPerUser = 20;
    // kSessionIdleMs unless a test wants less.
    qint64 sessionIdleMs = kSessionIdleMs;
    static constexpr char kCookie[] = "hmx_session";
    // The cookie's name for this request: over HTTPS with the __Host-
    // prefix, which a browser only takes with Secure and Path=/ and
    // without Domain, from this very host: no other site nor a plain-HTTP
    // page can plant one.
    static QByteArray cookieName(const Request& r);

    WebAuth(server::Accounts& accounts, server::AuditTrail& audit, QObject* parent = nullptr);

    // Milliseconds on a clock that never jumps (tests give theirs).
    std::function<qint64()> now;

    // Who sent the request, or its refusal (401, with the reason).
    std::variant<Caller, Response> identify(const Request& r);
    // Sign-ins whose passwords are being checked or wait for it, one at a
    // time, at most one from each address so that no client can fill the
    // queue for others; more wait outside (429).
    static constexpr int kMaxChecks = 32;

    // POST /api/v1/login with its JSON body: 200 and the cookie, 400, 401
    // or 429. Answered later: a password's check takes a tenth of a second
    // or more, so it runs on a thread of its own while the switcher's
    // traffic goes on.
    void signIn(const Request& r, const QJsonObject& body, const Answer& answer);
    // POST /api/v1/logout: ends the session (its event streams too).
    Response signOut(const Request& r);

    // The accounts changed: sessions and streams of removed users and
    // tokens end at once.
    void accountsChanged();
    bool accountsBroken() const { return broken_; }
    void setAccountsBroken(bool broken) { broken_ = broken; }

    // The sessions now kept, for a test.
    int sessions() const { return int(sessions_.size()); }

signals:
    // The callers that may no longer be served: their event streams end.
    void revoked(const web::CallerTest& gone);

private:
    struct Session {
        QString user;
        QByteArray password; // the hash the password was checked against
        qint64 signedIn = 0;
        qint64 lastUsed = 0;
    };
    // Whether the session still stands at t: its user, with the password
    // it was opened with, and not idle too long.
    bool current(const Session& s, qint64 t) const;
    // Ends the sessions no longer current, then the streams of every caller
    // that may no longer listen.
    void sweep();
    // Wakes sweep() when the first session's idle time is up.
    void armExpiry();
    QByteArray sessionKey(const Request& r) const;
    Response signedIn(const Request& r, const QString& name,
                      const std::optional<server::Accounts::Principal>& p, const QByteArray& hash);

    server::Accounts& accounts_;
    server::AuditTrail& audit_;
    SignInLimiter limiter_;
    QHash<QByteArray, Session> sessions_; // by a hash of the cookie's value
    bool broken_ = false;                 // the accounts file could not be read
    QThreadPool* checks_;                 // one thread, for the passwords' checks
    int checking_ = 0;
    QSet<QString> checkingFrom_; // the addresses of those sign-ins
    QTimer* expiry_;
};

} // namespace web

#include "frontends/server/web/web_auth.h"

#include "frontends/server/web/web_api.h"
#include "state/audit_trail.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QRandomGenerator>
#include <algorithm>
#include <limits>

namespace web {

namespace {

using server::Accounts;
using server::Role;

QString addressOf(const Request& r) {
    return r.peer.toString();
}

Response unauthorized(const QString& sentence) {
    return WebApi::error(401, QStringLiteral("unauthorized"), sentence);
}

// The value of one cookie in a Cookie field; empty when it is not there.
QByteArray cookie(const QByteArray& field, const QByteArray& name) {
    for (const QByteArray& pair : field.split(';')) {
        const QByteArray p = pair.trimmed();
        if (p.startsWith(name + '='))
            return p.mid(name.size() + 1);
    }
    return {};
}

} // namespace

bool Caller::stillValid(const Accounts& accounts) const {
    switch (kind) {
    case Kind::Local:
        return accounts.empty();
    case Kind::User:
        return accounts.find(who, false).has_value();
    case Kind::Token:
        return accounts.find(who, true).has_value();
    }
    return false;
}

int SignInLimiter::retryAfter(const QString& address, qint64 now) {
    forget(now);
    const auto it = failures_.constFind(address);
    if (it == failures_.cend() || int(it->size()) < kFailures)
        return 0;
    const qint64 left = it->back() + kWindowMs - now;
    return int((left + 999) / 1000);
}

void SignInLimiter::failed(const QString& address, qint64 now) {
    forget(now);
    if (!failures_.contains(address) && failures_.size() >= kAddresses) {
        // Full of addresses still failing: the one whose last failure is
        // oldest goes.
        auto oldest = failures_.begin();
        for (auto it = failures_.begin(); it != failures_.end(); ++it)
            if (it->back() < oldest->back())
                oldest = it;
        failures_.erase(oldest);
    }
    std::deque<qint64>& times = failures_[address];
    times.push_back(now);
    while (int(times.size()) > kFailures)
        times.pop_front();
}

void SignInLimiter::forget(qint64 now) {
    for (auto it = failures_.begin(); it != failures_.end();) {
        std::deque<qint64>& times = *it;
        // A blocked address keeps its failures until its minute is over;
        // others only those of the last minute.
        if (int(times.size()) >= kFailures && times.back() + kWindowMs > now) {
            ++it;
            continue;
        }
        while (!times.empty() && times.front() + kWindowMs <= now)
            times.pop_front();
        it = times.empty() ? failures_.erase(it) : std::next(it);
    }
}

WebAuth::WebAuth(Accounts& accounts, server::AuditTrail& audit, QObject* parent)
    : QObject(parent), accounts_(accounts), audit_(audit), checks_(new QThreadPool(this)),
      expiry_(new QTimer(this)) {
    checks_->setMaxThreadCount(1);
    expiry_->setSingleShot(true);
    connect(expiry_, &QTimer::timeout, this, &WebAuth::sweep);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    now = [clock] { return clock->elapsed(); };
}

QByteArray WebAuth::cookieName(const Request& r) {
    return r.tls ? QByteArray("__Host-") + kCookie : QByteArray(kCookie);
}

QByteArray WebAuth::sessionKey(const Request& r) const {
    const QByteArray value = cookie(r.header("cookie"), cookieName(r));
    if (value.isEmpty())
        return {};
    return QCryptographicHash::hash(value, QCryptographicHash::Sha256);
}

std::variant<Caller, Response> WebAuth::identify(const Request& r) {
    if (broken_)
        return unauthorized(QStringLiteral(
            "The server cannot read its accounts; its log says why. Nobody may sign in "
            "until the file is mended."));
    if (accounts_.empty()) {
        if (r.peer.isLoopback() && !r.proxied)
            return Caller{QStringLiteral("local"), Role::Admin, Caller::Kind::Local, {}};
        return unauthorized(QStringLiteral(
            "No account exists yet, so only this server's own machine may use it. Add one "
            "there: hdmi-matrix-server user add NAME --role admin"));
    }
    const QByteArray authorization = r.header("authorization");
    if (!authorization.isEmpty()) {
        const QByteArray scheme = authorization.left(7);
        if (scheme.compare("Bearer ", Qt::CaseInsensitive) == 0)
            if (const auto p = accounts_.checkToken(authorization.mid(7).trimmed()))
                return Caller{p->name, p->role, Caller::Kind::Token, {}};
        return unauthorized(QStringLiteral("The API token is not valid."));
    }
    const QByteArray key = sessionKey(r);
    const auto it = sessions_.find(key);
    if (key.isEmpty() || it == sessions_.end())
        return unauthorized(QStringLiteral("Sign in first."));
    const qint64 t = now();
    const auto user = accounts_.find(it->user, false);
    if (!user || !current(*it, t)) {
        sweep();
        return unauthorized(QStringLiteral("The session has ended; sign in again."));
    }
    it->lastUsed = t;
    return Caller{user->name, user->role, Caller::Kind::User, key};
}

void WebAuth::signIn(const Request& r, const QJsonObject& body, const Answer& answer) {
    const QString address = addressOf(r);
    if (const int wait = limiter_.retryAfter(address, now())) {
        Response out = WebApi::error(
            429, QStringLiteral("too_many_failures"),
            QStringLiteral("Too many failed sign-ins from this address; try again in %1 s.")
                .arg(wait));
        out.headers.emplaceBack("Retry-After", QByteArray::number(wait));
        return answer(out);
    }
    const QJsonValue name = body.value(QStringLiteral("user"));
    const QJsonValue password = body.value(QStringLiteral("password"));
    if (!name.isString() || !password.isString())
        return answer(WebApi::error(400, QStringLiteral("bad_sign_in"),
                                    QStringLiteral("Send {\"user\": name, \"password\": text}.")));
    if (checking_ >= kMaxChecks || checkingFrom_.contains(address)) {
        Response out = WebApi::error(429, QStringLiteral("busy"),
                                     QStringLiteral("Many are signing in at once; try again."));
        out.headers.emplaceBack("Retry-After", "1");
        return answer(out);
    }
    const QString user = name.toString();
    if (broken_)
        return answer(signedIn(r, user, std::nullopt, {}));
    ++checking_;
    checkingFrom_.insert(address);
    // The check gets copies only; its result comes back to this thread as
    // an event, and is dropped if the server has gone meanwhile.
    checks_->start([this, r, user, answer, check = accounts_.passwordCheck(user),
                    secret = password.toString().toUtf8()] {
        const auto p = Accounts::check(check, secret);
        QMetaObject::invokeMethod(this, [this, r, user, answer, p, hash = check.hash] {
            --checking_;
            checkingFrom_.remove(addressOf(r));
            answer(signedIn(r, user, p, hash));
        });
    });
}

Response WebAuth::signedIn(const Request& r, const QString& user,
                           const std::optional<Accounts::Principal>& checked,
                           const QByteArray& hash) {
    const QString address = addressOf(r);
    const qint64 t = now();
    // Removed, given another role or another password while the password
    // was checked.
    const auto p = checked && accounts_.passwordCheck(checked->name).hash == hash
                       ? accounts_.find(checked->name, false)
                       : std::nullopt;
    // A name that is none cannot be written to the log as given.
    const QString who = Accounts::nameAllowed(user) ? user : QStringLiteral("(not a name)");
    if (!p || broken_) {
        limiter_.failed(address, t);
        ++signInFailures_;
        audit_.record(who, address, QStringLiteral("sign-in failed"));
        return unauthorized(QStringLiteral("The user or the password is wrong."));
    }
    // One user's sign-ins cannot push out others' sessions: their own
    // first, then, with every user near their cap, the one unused longest.
    QList<QHash<QByteArray, Session>::iterator> own;
    for (auto it = sessions_.begin(); it != sessions_.end(); ++it)
        if (it->user == p->name)
            own.append(it);
    std::sort(own.begin(), own.end(), [](auto a, auto b) { return a->signedIn < b->signedIn; });
    bool ended = false;
    if (own.size() >= kSessionsPerUser) {
        sessions_.erase(own.front());
        ended = true;
    } else if (sessions_.size() >= kMaxSessions) {
        auto oldest = sessions_.begin();
        for (auto it = sessions_.begin(); it != sessions_.end(); ++it)
            if (it->lastUsed < oldest->lastUsed)
                oldest = it;
        sessions_.erase(oldest);
        ended = true;
    }
    if (ended)
        sweep();
    QByteArray value(32, Qt::Uninitialized);
    QRandomGenerator::system()->generate(reinterpret_cast<quint32*>(value.data()),
                                         reinterpret_cast<quint32*>(value.data() + value.size()));
    value = value.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    sessions_.insert(QCryptographicHash::hash(value, QCryptographicHash::Sha256),
                     {p->name, hash, t, t});
    armExpiry();
    audit_.record(p->name, address, QStringLiteral("signed in"));
    Response out = WebApi::json(200, {{QStringLiteral("user"), p->name},
                                      {QStringLiteral("role"), server::roleName(p->role)}});
    out.headers.emplaceBack("Set-Cookie", cookieName(r) + '=' + value +
                                              "; HttpOnly; SameSite=Strict; Path=/" +
                                              (r.tls ? "; Secure" : ""));
    return out;
}

Response WebAuth::signOut(const Request& r) {
    const QByteArray key = sessionKey(r);
    if (const auto it = sessions_.constFind(key); !key.isEmpty() && it != sessions_.cend()) {
        audit_.record(it->user, addressOf(r), QStringLiteral("signed out"));
        sessions_.erase(it);
        sweep();
    }
    Response out{204, {}, {}, {}};
    out.headers.emplaceBack("Set-Cookie", cookieName(r) +
                                              "=; HttpOnly; SameSite=Strict; Path=/; Max-Age=0" +
                                              (r.tls ? "; Secure" : ""));
    return out;
}

void WebAuth::accountsChanged() {
    sweep();
}

bool WebAuth::current(const Session& s, qint64 t) const {
    return t - s.lastUsed <= sessionIdleMs && accounts_.passwordCheck(s.user).hash == s.password;
}

void WebAuth::sweep() {
    const qint64 t = now();
    for (auto it = sessions_.begin(); it != sessions_.end();)
        it = current(*it, t) ? std::next(it) : sessions_.erase(it);
    const Accounts& accounts = accounts_;
    const bool broken = broken_;
    const auto& sessions = sessions_;
    emit revoked([&accounts, &sessions, broken](const Caller& c) {
        return broken || !c.stillValid(accounts) ||
               (c.kind == Caller::Kind::User && !sessions.contains(c.session));
    });
    armExpiry();
}

void WebAuth::armExpiry() {
    if (sessions_.isEmpty()) {
        expiry_->stop();
        return;
    }
    qint64 first = sessions_.cbegin()->lastUsed;
    for (const Session& s : sessions_)
        first = std::min(first, s.lastUsed);
    // A request since only moves the time on: the sweep then finds nothing
    // and waits again.
    const qint64 due = first + sessionIdleMs + 1 - now();
    expiry_->start(int(std::clamp<qint64>(due, 0, std::numeric_limits<int>::max())));
}

} // namespace web

#include "frontends/server/audit_trail.h"

namespace server {

AuditTrail::AuditTrail(QObject* parent)
    : QObject(parent), now([] { return QDateTime::currentDateTimeUtc(); }) {}

namespace {

QString bounded(const QString& text) {
    if (text.size() <= AuditTrail::kMaxText)
        return text;
    // Not between the halves of a character.
    const qsizetype kept = AuditTrail::kMaxText - (text[AuditTrail::kMaxText].isLowSurrogate());
    return text.left(kept) + QStringLiteral("... (%1 more)").arg(text.size() - kept);
}

} // namespace

void AuditTrail::record(const QString& who, const QString& from, const QString& what) {
    keep(bounded(who), bounded(from), bounded(what));
}

void AuditTrail::record(const QString& who, const QString& from, const QString& what,
                        Outcome verdict) {
    const QString why = refusal(verdict);
    keep(bounded(who), bounded(from),
         why.isEmpty() ? bounded(what)
                       : QStringLiteral("%1 (refused: %2)").arg(bounded(what), why));
}

void AuditTrail::keep(const QString& who, const QString& from, const QString& what) {
    entries_.push_back({now(), who, from, what});
    if (entries_.size() > kKept)
        entries_.pop_front();
    emit logged(QStringLiteral("audit: %1 from %2: %3").arg(who, from, what));
}

QString AuditTrail::refusal(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
    case Outcome::Queued:
        break;
    case Outcome::Invalid:
        return QStringLiteral("invalid");
    case Outcome::Locked:
        return QStringLiteral("locked");
    case Outcome::Absent:
        return QStringLiteral("switcher absent");
    case Outcome::Busy:
        return QStringLiteral("too many waiting");
    case Outcome::Failed:
        return QStringLiteral("failed");
    case Outcome::TimedOut:
        return QStringLiteral("timed out");
    }
    return {};
}

} // namespace server

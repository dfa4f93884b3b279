#include "frontends/server/audit_trail.h"

namespace server {

AuditTrail::AuditTrail(QObject* parent)
    : QObject(parent), now([] { return QDateTime::currentDateTimeUtc(); }) {}

void AuditTrail::record(const QString& who, const QString& from, const QString& what) {
    entries_.push_back({now(), who, from, what});
    if (entries_.size() > kKept)
        entries_.pop_front();
    emit logged(QStringLiteral("audit: %1 from %2: %3").arg(who, from, what));
}

void AuditTrail::record(const QString& who, const QString& from, const QString& what,
                        Outcome verdict, bool ended) {
    const QString why = refusal(verdict);
    if (why.isEmpty())
        record(who, from, what);
    else
        record(who, from,
               (ended ? QStringLiteral("%1 (failed: %2)") : QStringLiteral("%1 (refused: %2)"))
                   .arg(what, why));
}

QString AuditTrail::refusal(Outcome outcome) {
    return accepted(outcome) ? QString() : outcomeWords(outcome);
}

} // namespace server

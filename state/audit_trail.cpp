#include "state/audit_trail.h"

#include <QStringList>

namespace server {

AuditTrail::AuditTrail(QObject* parent)
    : QObject(parent), now([] { return QDateTime::currentDateTimeUtc(); }) {}

void AuditTrail::record(const QString& who, const QString& from, const QString& what) {
    add(who, from, what, {});
}

void AuditTrail::record(const QString& who, const QString& from, const QString& what,
                        Outcome verdict, bool ended) {
    const QString why = refusal(verdict);
    // The verdict is kept whatever the length of what was asked; a change
    // that was accepted and then not carried out failed, it was not refused.
    add(who, from, what,
        why.isEmpty() ? QString()
                      : (ended ? QStringLiteral(" (failed: %1)") : QStringLiteral(" (refused: %1)"))
                            .arg(why));
}

namespace {

// At most most units, never between the halves of a character; the cut
// says how much went.
QString cut(const QString& text, qsizetype most) {
    if (text.size() <= most)
        return text;
    const qsizetype kept = most - (text[most].isLowSurrogate() ? 1 : 0);
    return text.left(kept) + QStringLiteral("... (%1 more)").arg(text.size() - kept);
}

} // namespace

void AuditTrail::add(const QString& who, const QString& from, const QString& what,
                     const QString& verdict) {
    // Cut once escaped, so that nothing a client sends makes an entry
    // longer (an escape cut in half is still no line end); the verdict is
    // kept whole.
    Entry e{now(), cut(escaped(who), kClientText), cut(escaped(from), kClientText),
            cut(escaped(what), kEntryText) + verdict};
    emit logged(QStringLiteral("audit: %1 from %2: %3").arg(e.who, e.from, e.what));
    entries_.push_back(std::move(e));
    if (entries_.size() > kKept)
        entries_.pop_front();
}

QString AuditTrail::clipped(const QString& text) {
    return text.size() <= kClientText ? text : text.left(kClientText - 3) + QStringLiteral("...");
}

QString AuditTrail::escaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\\')
            out += QStringLiteral("\\\\");
        else if (u == '\n')
            out += QStringLiteral("\\n");
        else if (u == '\r')
            out += QStringLiteral("\\r");
        else if (u == '\t')
            out += QStringLiteral("\\t");
        else if (u < 0x20 || (u >= 0x7f && u <= 0x9f) || u == 0x2028 || u == 0x2029)
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString AuditTrail::refusedLabels(const QString& side, const QList<QPair<int, qsizetype>>& sizes) {
    QStringList words;
    for (const auto& [port, size] : sizes)
        words.append(QStringLiteral("%1 %2 (%3 characters)").arg(side).arg(port).arg(size));
    return QStringLiteral("label ") + words.join(QStringLiteral(", "));
}

QString AuditTrail::refusal(Outcome outcome) {
    return accepted(outcome) ? QString() : outcomeWords(outcome);
}

} // namespace server

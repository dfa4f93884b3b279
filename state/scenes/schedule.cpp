#include "state/scenes/schedule.h"

#include <QRegularExpression>

#include <array>

namespace server {

namespace {

constexpr std::array<const char*, 7> kDays = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr int kEveryDay = 0x7f;
constexpr qint64 kDaySecs = 24 * 60 * 60;

constexpr int bit(int day) {
    return 1 << (day % 7);
}

int dayIndex(const QString& name) {
    for (int d = 0; d < 7; ++d)
        if (name.compare(QLatin1String(kDays[d]), Qt::CaseInsensitive) == 0)
            return d;
    return -1;
}

QDateTime utc(qint64 secs) {
    return QDateTime::fromSecsSinceEpoch(secs, Qt::UTC);
}

// The instant the zone's clocks show the date and time, resolved as the
// class says for the wall times a change of the clocks skips or repeats
// (Qt 6.4's own QDateTime(date, time, zone) is invalid in a skipped hour and
// takes the second occurrence of a repeated one).
QDateTime resolve(QDate date, QTime time, const QTimeZone& zone) {
    const qint64 wall = QDateTime(date, time, Qt::UTC).toSecsSinceEpoch();
    // The offsets in force a day either side: before and after any change
    // of the clocks near this time (no zone changes twice in two days).
    const int offsets[] = {zone.offsetFromUtc(utc(wall - kDaySecs)),
                           zone.offsetFromUtc(utc(wall + kDaySecs))};
    qint64 first = 0;
    bool found = false;
    for (const int offset : offsets) {
        const qint64 at = wall - offset;
        if (zone.offsetFromUtc(utc(at)) == offset && (!found || at < first)) {
            first = at;
            found = true;
        }
    }
    if (found)
        return QDateTime::fromSecsSinceEpoch(first, zone);
    // Skipped: the change lies between the wall time read with the later
    // offset and with the earlier one, and is the first instant after it.
    const QTimeZone::OffsetData change = zone.nextTransition(utc(wall - offsets[1]));
    return change.atUtc.isValid() ? change.atUtc.toTimeZone(zone)
                                  : QDateTime::fromSecsSinceEpoch(wall - offsets[0], zone);
}

} // namespace

std::optional<Schedule::Entry> Schedule::parseEntry(const QString& text, QString* error) {
    const auto refuse = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("\"%1\": %2").arg(text, why);
        return std::nullopt;
    };
    const QString entry = text.simplified();
    const qsizetype blank = entry.lastIndexOf(QLatin1Char(' '));
    if (blank < 0)
        return refuse(QStringLiteral("days and a time (\"Mon-Fri 07:30\") are needed"));
    Entry e;
    const QString days = entry.left(blank).remove(QLatin1Char(' '));
    const bool daily = days.compare(QLatin1String("Daily"), Qt::CaseInsensitive) == 0;
    for (const QString& item : daily ? QStringList() : days.split(QLatin1Char(','))) {
        const QStringList ends = item.split(QLatin1Char('-'));
        const int from = dayIndex(ends.first());
        const int to = ends.size() == 2 ? dayIndex(ends.last()) : from;
        if (ends.size() > 2 || from < 0 || to < 0)
            return refuse(
                QStringLiteral("\"%1\" is not a day (Mon to Sun) or a range of days").arg(item));
        for (int d = from;; d = (d + 1) % 7) {
            e.days |= bit(d);
            if (d == to)
                break;
        }
    }
    if (daily)
        e.days = kEveryDay;
    static const QRegularExpression hhmm(QStringLiteral("^([01][0-9]|2[0-3]):([0-5][0-9])$"));
    const QRegularExpressionMatch time = hhmm.match(entry.mid(blank + 1));
    if (!time.hasMatch())
        return refuse(
            QStringLiteral("\"%1\" is not a 24-hour time HH:MM").arg(entry.mid(blank + 1)));
    e.time = QTime(time.captured(1).toInt(), time.captured(2).toInt());
    return e;
}

QString Schedule::text(const Entry& entry) {
    QStringList runs;
    for (int d = 0; d < 7 && entry.days != kEveryDay; ++d) {
        if (!(entry.days & bit(d)) || (entry.days & bit(d + 6)))
            continue; // not the first day of a run
        int length = 1;
        while (entry.days & bit(d + length))
            ++length;
        const QLatin1String first(kDays[d]), last(kDays[(d + length - 1) % 7]);
        runs.append(length == 1   ? QString(first)
                    : length == 2 ? first + QLatin1Char(',') + last
                                  : first + QLatin1Char('-') + last);
    }
    return (runs.isEmpty() ? QStringLiteral("Daily") : runs.join(QLatin1Char(','))) +
           QLatin1Char(' ') + entry.time.toString(QStringLiteral("HH:mm"));
}

std::optional<Schedule> Schedule::parse(const QStringList& entries, QString* error) {
    Schedule schedule;
    for (const QString& text : entries) {
        const std::optional<Entry> entry = parseEntry(text, error);
        if (!entry)
            return std::nullopt;
        schedule.entries_.append(*entry);
    }
    return schedule;
}

QString Schedule::normalise(const QString& entry, QString* error) {
    const std::optional<Entry> parsed = parseEntry(entry, error);
    return parsed ? text(*parsed) : QString();
}

QStringList Schedule::texts() const {
    QStringList all;
    for (const Entry& e : entries_)
        all.append(text(e));
    return all;
}

QDateTime Schedule::nextDue(const QDateTime& after, const QTimeZone& zone) const {
    QDateTime next;
    const QDate today = after.toTimeZone(zone).date();
    for (const Entry& e : entries_) {
        // A day before today and a week on: every day's time is among them.
        for (QDate day = today.addDays(-1); day <= today.addDays(7); day = day.addDays(1)) {
            if (!(e.days & bit(day.dayOfWeek() - 1)))
                continue;
            const QDateTime due = resolve(day, e.time, zone);
            if (due > after) {
                if (!next.isValid() || due < next)
                    next = due;
                break; // the entry's later days are later still
            }
        }
    }
    return next;
}

} // namespace server

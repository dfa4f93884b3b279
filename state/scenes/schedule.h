#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QTimeZone>

#include <optional>

namespace server {

// When a scene recalls itself: a list of entries, each a set of week days
// and a 24-hour wall time, "Mon-Fri 07:30", "Sat,Sun 10:00", "Daily 18:45".
// Day names are English, three letters, in any letter case; a range may
// wrap past Sunday ("Fri-Mon"), and lists mix days and ranges
// ("Mon,Wed-Fri 09:00"). Blanks around the commas and hyphens are allowed.
//
// Times are wall times of a time zone, so daylight saving moves them with
// the clocks on the wall. A wall time the clocks skip (02:30 when they jump
// from 02:00 to 03:00) is due once, at the first instant after the jump (at
// 03:00): a scene meant for that night still comes, as early as it can. A
// wall time the clocks pass twice (02:30 when they go back from 03:00 to
// 02:00) is due once, at its first occurrence.
class Schedule {
public:
    // Every entry, or none and *error (when given) naming the first bad
    // one; an empty list is a schedule that is never due.
    static std::optional<Schedule> parse(const QStringList& entries, QString* error = nullptr);
    // One entry in the form texts() gives, or an empty text and *error.
    static QString normalise(const QString& entry, QString* error = nullptr);

    bool isEmpty() const { return entries_.isEmpty(); }
    // The entries in their one written form, in the order parsed: runs of
    // days by their first day from Monday, each a day, a pair ("Sat,Sun")
    // or a range of three or more ("Mon-Fri"; "Fri-Mon" across Sunday),
    // every day "Daily"; the time as HH:MM.
    QStringList texts() const;
    // The first due time strictly after `after`, over all entries, in the
    // zone; invalid when the schedule is empty.
    QDateTime nextDue(const QDateTime& after, const QTimeZone& zone) const;

private:
    struct Entry {
        int days = 0; // bit 0 Monday .. bit 6 Sunday
        QTime time;
    };
    static std::optional<Entry> parseEntry(const QString& text, QString* error);
    static QString text(const Entry& entry);

    QList<Entry> entries_;
};

} // namespace server

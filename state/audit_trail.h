#pragma once

#include "state/outcome.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <deque>
#include <functional>

namespace server {

// Who changed what, from every front end: one line in the log for each
// change asked for ("audit: WHO from ADDRESS: WHAT"), and the latest ones
// kept in memory for administrators. WHO is a user's or token's name, or
// the front end for those without accounts ("videohub", "mqtt", "line",
// "local"). Every field is escaped and cut (see escaped()) on its way in.
class AuditTrail : public QObject {
    Q_OBJECT
public:
    static constexpr int kKept = 500;

    struct Entry {
        QDateTime time; // UTC
        QString who;
        QString from;
        QString what;
    };

    explicit AuditTrail(QObject* parent = nullptr);

    void record(const QString& who, const QString& from, const QString& what);
    // A request's outcome: refused ones say why; ended: it was accepted and
    // this is how it ended ("failed: timed out" rather than "refused").
    void record(const QString& who, const QString& from, const QString& what, Outcome verdict,
                bool ended = false);
    // The latest entries, the oldest first.
    const std::deque<Entry>& entries() const { return entries_; }

    // The wall clock (tests give theirs).
    std::function<QDateTime()> now;

    // How the log and the trail word an outcome: "" for one accepted.
    static QString refusal(Outcome outcome);

    // The most of a client's text (a name, a path) that goes into the log
    // or the trail, and of a whole entry.
    static constexpr qsizetype kClientText = 200;
    static constexpr qsizetype kEntryText = 1000;
    // A client's text cut to kClientText characters ("..." marks the cut).
    static QString clipped(const QString& text);
    // Text fit for one log line: control characters, line and paragraph
    // separators and backslashes escaped (\n, \u2028, \\), so that no
    // client can end the line and forge the next one.
    static QString escaped(const QString& text);
    // Both, for a client's text going to the log other than through the
    // trail.
    static QString loggable(const QString& text) { return escaped(clipped(text)); }
    // A refused label change, by the size of each text only: a refusal
    // keeps nothing of what was sent. sizes: port and characters.
    static QString refusedLabels(const QString& side, const QList<QPair<int, qsizetype>>& sizes);

signals:
    // One line for the log.
    void logged(const QString& line);

private:
    void add(const QString& who, const QString& from, const QString& what, const QString& verdict);

    std::deque<Entry> entries_;
};

} // namespace server

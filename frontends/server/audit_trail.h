#pragma once

#include "frontends/server/outcome.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <deque>
#include <functional>

namespace server {

// Who changed what, from every front end: one line in the log for each
// change asked for ("audit: WHO from ADDRESS: WHAT"), and the latest ones
// kept in memory for administrators. WHO is a user's or token's name, or
// the front end for those without accounts ("videohub", "mqtt", "line",
// "local").
class AuditTrail : public QObject {
    Q_OBJECT
public:
    static constexpr int kKept = 500;
    // Characters (UTF-16 units) kept of each text given: far more than a
    // change of every port takes to tell, and what is kept stays within
    // kKept times this whatever a client sends.
    static constexpr qsizetype kMaxText = 2048;

    struct Entry {
        QDateTime time; // UTC
        QString who;
        QString from;
        QString what;
    };

    explicit AuditTrail(QObject* parent = nullptr);

    void record(const QString& who, const QString& from, const QString& what);
    // A request's immediate verdict: refused ones say why.
    void record(const QString& who, const QString& from, const QString& what, Outcome verdict);
    // The latest entries, the oldest first.
    const std::deque<Entry>& entries() const { return entries_; }

    // The wall clock (tests give theirs).
    std::function<QDateTime()> now;

    // How the log and the trail word an outcome: "" for one accepted.
    static QString refusal(Outcome outcome);

signals:
    // One line for the log.
    void logged(const QString& line);

private:
    void keep(const QString& who, const QString& from, const QString& what);

    std::deque<Entry> entries_;
};

} // namespace server

// The scenes' schedules: their texts, and their due times across midnight, the
// week and daylight saving.

#include "frontends/server/scenes/schedule.h"

#include <QTest>

using namespace server;

namespace {

QStringList list(const QString& text) { // lists in the rows are split by |
    return text.split('|', Qt::SkipEmptyParts);
}
template <typename Row> void table(std::initializer_list<std::pair<const char*, Row>> rows) {
    QTest::addColumn<Row>("row");
    for (const auto& [tag, row] : rows)
        QTest::newRow(tag) << row;
}

using SyntaxRow = std::array<QString, 2>; // entry, normal form (empty: refused)
// Zone, schedule, after and due in 2026 (due in the zone, with its offset).
// The clocks change in Berlin on 29 March and 25 October, in New York on 8
// March and 1 November.
using DueRow = std::array<QString, 4>;

} // namespace

class TestScenes : public QObject {
    Q_OBJECT
private slots:
    void syntax_data() {
        table<SyntaxRow>({
            {"weekdays", {"Mon-Fri 07:30", "Mon-Fri 07:30"}},
            {"a pair", {"sat,SUN 10:00", "Sat,Sun 10:00"}},
            {"midnight", {"Mon 00:00", "Mon 00:00"}},
            {"daily", {"daily 18:45", "Daily 18:45"}},
            {"whole week", {"Mon-Sun 18:45", "Daily 18:45"}},
            {"wrapping range", {"Fri-Mon 06:00", "Fri-Mon 06:00"}},
            {"mixed list", {" mon , wed - fri   09:00 ", "Mon,Wed-Fri 09:00"}},
            {"out of order", {"Tue,Mon,Mon 23:59", "Mon,Tue 23:59"}},
            {"pair across the week", {"Wed,Sun-Mon 12:00", "Wed,Sun,Mon 12:00"}},
            {"bad day", {"Mon-Fry 7:30", ""}},
            {"hour 24", {"Mon 24:00", ""}},
            {"short digits", {"Mon 7:5", ""}},
            {"empty", {"", ""}},
            {"days alone", {"Mon-Fri", ""}},
            {"after a whole week", {"Mon-Sun,Xyz 10:00", ""}},
        });
    }
    void syntax() {
        QFETCH(SyntaxRow, row);
        const auto& [entry, normal] = row;
        QString error;
        QCOMPARE(Schedule::normalise(entry, &error), normal);
        QCOMPARE(error.isEmpty(), !normal.isEmpty());
    }
    void nextDue_data() {
        const QString be = "Europe/Berlin", ny = "America/New_York";
        table<DueRow>({
            {"strictly after", {be, "Daily 18:45", "01-05T18:45+01:00", "01-06T18:45:00+01:00"}},
            {"midnight", {be, "Daily 00:00", "01-05T23:59+01:00", "01-06T00:00:00+01:00"}},
            {"week wrap", {be, "Mon 07:30", "01-05T08:00+01:00", "01-12T07:30:00+01:00"}},
            {"wrapping range", {be, "Fri-Mon 06:00", "01-11T07:00+01:00", "01-12T06:00:00+01:00"}},
            {"first", {be, "Daily 18:45|Mon 07:30", "01-05T06:00+01:00", "01-05T07:30:00+01:00"}},
            {"23-hour day", {be, "Daily 12:00", "03-28T12:00+01:00", "03-29T12:00:00+02:00"}},
            {"berlin gap", {be, "Sun 02:30", "03-29T00:00+01:00", "03-29T03:00:00+02:00"}},
            {"berlin gap once", {be, "Sun 02:30", "03-29T03:00+02:00", "04-05T02:30:00+02:00"}},
            {"berlin repeat", {be, "Sun 02:30", "10-25T00:00+02:00", "10-25T02:30:00+02:00"}},
            {"berlin repeat once", {be, "Sun 02:30", "10-25T02:30+02:00", "11-01T02:30:00+01:00"}},
            {"new york gap", {ny, "Daily 02:15", "03-08T00:00-05:00", "03-08T03:00:00-04:00"}},
            {"new york repeat", {ny, "Daily 01:30", "11-01T00:00-04:00", "11-01T01:30:00-04:00"}},
            {"new york once", {ny, "Daily 01:30", "11-01T01:10-05:00", "11-02T01:30:00-05:00"}},
        });
    }
    void nextDue() {
        QFETCH(DueRow, row);
        const auto& [zone, schedule, after, due] = row;
        const auto parsed = Schedule::parse(list(schedule));
        const QDateTime start = QDateTime::fromString("2026-" + after, Qt::ISODate);
        const QTimeZone tz(zone.toUtf8());
        QVERIFY(parsed && tz.isValid() && start.isValid());
        QCOMPARE(parsed->nextDue(start, tz).toString(Qt::ISODate), "2026-" + due);
    }
};

QTEST_GUILESS_MAIN(TestScenes)
#include "test_scenes.moc"

// The server's scenes: the store and its file, schedules and their due times
// across midnight, the week and daylight saving, the scheduler on a fake clock.

#include "state/scenes/scene_scheduler.h"
#include "state/scenes/scene_store.h"
#include "state/scenes/schedule.h"
#include "testing/fakes/fake_clock.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace server;
using R = SceneStore::Result;
const int kInputs = protocol::Model::standard().inputs;
const int kOutputs = protocol::Model::standard().outputs;

namespace {

// "1>2 3>4": output 1 shows input 2, output 3 input 4.
QList<RouterState::Route> salvo(const QString& text) {
    QList<RouterState::Route> list;
    for (const QString& r : text.split(' ', Qt::SkipEmptyParts))
        list.append({r.section('>', 0, 0).toInt(), r.section('>', 1).toInt()});
    return list;
}
QString text(const QList<RouterState::Route>& list) {
    QStringList all;
    for (const RouterState::Route& r : list)
        all.append(QStringLiteral("%1>%2").arg(r.output).arg(r.input));
    return all.join(' ');
}
QStringList list(const QString& text) { // lists in the rows are split by |
    return text.split('|', Qt::SkipEmptyParts);
}
template <typename Row> void table(std::initializer_list<std::pair<const char*, Row>> rows) {
    QTest::addColumn<Row>("row");
    for (const auto& [tag, row] : rows)
        QTest::newRow(tag) << row;
}

struct PutRow {
    int others; // kept besides "Concert" (1>1)
    QString name, routes, schedule;
    R result;
    QString kept = {}; // "ROUTES;SCHEDULE" of the scene found by the name in capitals
};
struct LoadRow {
    QByteArray file; // "dir": the state folder is a file
    int scenes;
    bool warns, aside;
    R put;
};
using SyntaxRow = std::array<QString, 2>; // entry, normal form (empty: refused)
// Zone, schedule, after and due in 2026 (due in the zone, with its offset).
// The clocks change in Berlin on 29 March and 25 October, in New York on 8
// March and 1 November.
using DueRow = std::array<QString, 4>;
// Scenes "NAME SCHEDULE"; steps: "+N" minutes pass, "skew +N" sets the wall
// clock N seconds on, "put NAME SCHEDULE", "remove NAME", "retry NAME",
// "cancel NAME"; due: "NAME WALL-TIME (DUE-TIME)". The clock starts on Monday
// 2026-01-05 06:00, Berlin.
using SchedulerRow = std::array<QString, 3>; // scenes, steps, due

} // namespace

class TestScenes : public QObject {
    Q_OBJECT
private slots:
    void put_data() {
        const QString note = QString::fromUcs4(U"\U0001F3B5"), over = QString::number(kOutputs + 1);
        const QString last = QString::number(kOutputs) + ">" + QString::number(kInputs);
        table<PutRow>({
            {"sorted", {0, "apple", "3>1 1>2", "", R::Done, "1>2 3>1;"}},
            {"case clash", {0, "CONCERT", "2>3", "", R::Clash, "1>1;"}},
            {"64 emoji", {0, note.repeated(64), "1>1", "", R::Done, "1>1;"}},
            {"65 emoji", {0, note.repeated(65), "1>1", "", R::Invalid}},
            {"empty", {0, "", "1>1", "", R::Invalid}},
            {"tab", {0, "Con\tcert", "1>1", "", R::Invalid}},
            {"leading blank", {0, " Stage", "1>1", "", R::Invalid}},
            {"trailing blank", {0, "Stage ", "1>1", "", R::Invalid}},
            {"the 101st", {99, "Stage", "1>1", "", R::Full}},
            {"replacing when full", {99, "Concert", "2>3", "", R::Done, "2>3;"}},
            {"last ports", {0, "Stage", last, "mon - fri 07:30", R::Done, last + ";Mon-Fri 07:30"}},
            {"no routes", {0, "Stage", "", "", R::Invalid}},
            {"output 0", {0, "Stage", "0>1", "", R::Invalid}},
            {"output too high", {0, "Stage", over + ">1", "", R::Invalid}},
            {"input too high", {0, "Stage", "1>" + QString::number(kInputs + 1), "", R::Invalid}},
            {"output twice", {0, "Stage", "2>1 1>1 2>3", "", R::Invalid}},
            {"bad schedule", {0, "Stage", "1>1", "Daily 07:30|Mon-Fry 07:30", R::Invalid}},
        });
    }
    void put() {
        QFETCH(PutRow, row);
        QTemporaryDir dir;
        SceneStore store(dir.path());
        for (int i = 0; i <= row.others; ++i)
            QCOMPARE(store.put(i ? "S" + QString::number(i) : "Concert", salvo("1>1"), {}),
                     R::Done);
        int changes = 0;
        connect(&store, &SceneStore::changed, [&] { ++changes; });
        QString reason;
        QCOMPARE(store.put(row.name, salvo(row.routes), list(row.schedule), &reason), row.result);
        QCOMPARE(reason.isEmpty(), row.result == R::Done);
        QCOMPARE(changes, row.result == R::Done ? 1 : 0);
        SceneStore again(dir.path()); // what the next start reads
        QString warning;
        QVERIFY(again.load(&warning) && warning.isEmpty());
        for (const SceneStore* s : {&store, &again}) {
            QCOMPARE(s->scenes().size(),
                     1 + row.others + (row.result == R::Done && row.name != "Concert"));
            const auto scene = s->find(row.name.toUpper());
            QCOMPARE(scene ? text(scene->routes) + ';' + scene->schedule.join('|') : "", row.kept);
        }
    }
    void load_data() {
        const QByteArray a = R"({"name": "A", "routes": [{"output": 1, "input": 2}]})";
        const auto file = [](int version, const QByteArray& scenes) {
            return QString(R"({"version": %1, "scenes": [%2]})").arg(version).arg(scenes).toUtf8();
        };
        table<LoadRow>({
            {"missing", {{}, 0, false, false, R::Done}},
            {"good", {file(1, a), 1, false, false, R::Done}},
            {"not json", {"{\"version\": 1,", 0, true, true, R::Done}},
            {"no version", {"{\"scenes\": []}", 0, true, true, R::Done}},
            {"no list", {"{\"version\": 1}", 0, true, true, R::Done}},
            {"bad route", {file(1, QByteArray(a).replace("2}", "0}")), 0, true, true, R::Done}},
            {"twice", {file(1, a + "," + QByteArray(a).toLower()), 0, true, true, R::Done}},
            {"newer", {file(2, a + ", {\"name\": 3}"), 1, true, false, R::NotKept}},
            {"folder is a file", {"dir", 0, false, false, R::NotKept}},
        });
    }
    void load() {
        QFETCH(LoadRow, row);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("state"));
        QFile written(row.file == "dir" ? folder : folder + "/scenes.json");
        QVERIFY(QDir().mkpath(row.file == "dir" ? dir.path() : folder));
        QVERIFY(row.file.isNull() || (written.open(QFile::WriteOnly) && written.write(row.file)));
        written.close();
        SceneStore store(folder);
        QString warning;
        QVERIFY(store.load(&warning));
        QCOMPARE(store.scenes().size(), row.scenes);
        QCOMPARE(!warning.isEmpty(), row.warns);
        QVERIFY(QDir(folder).entryList({"scenes.json.damaged-*"}).isEmpty());
        QCOMPARE(store.put("B", salvo("1>1"), {}), row.put); // a damaged file goes aside first
        QCOMPARE(QDir(folder).entryList({"scenes.json.damaged-*"}).size(), row.aside ? 1 : 0);
        QCOMPARE(store.scenes().size(), row.scenes + (row.put == R::Done));
        if (row.put != R::Done && row.file != "dir" && written.open(QIODevice::ReadOnly))
            QCOMPARE(written.readAll(), row.file); // never overwritten
    }
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
    void scheduler_data() {
        const QString a = "A Daily 07:30", mon = "A Mon 07:30 (07:30)";
        QString steps = "+90", due = mon;
        for (int i = 1; i <= SceneScheduler::kRetries; ++i) {
            steps += "|retry A|+1";
            due += QStringLiteral("|A Mon 07:%1 (07:30)").arg(30 + i);
        }
        table<SchedulerRow>({
            {"daily", {a, "+1560", mon + "|A Tue 07:30 (07:30)"}},
            {"two at once, by name",
             {"B Mon 07:30|a Mon 07:30", "+90", "a Mon 07:30 (07:30)|B Mon 07:30 (07:30)"}},
            {"changed", {a, "+60|put A Daily 07:45|+60", "A Mon 07:45 (07:45)"}},
            {"removed", {a, "remove A|+1560", ""}},
            {"clock set on", {a, "skew +3600|+60", mon}},
            {"clock set back near", {a, "+80|skew -3600|+120", mon}},
            {"small drift", {a, "+80|skew -3|+60", "A Mon 07:29 (07:30)"}},
            {"clock set over it", {a, "skew +7200|+1440", "A Tue 07:30 (07:30)"}},
            {"recalled", {a, "+90|retry A|cancel A|+5", mon}},
            {"removed while retried", {a, "+90|retry A|remove A|+5", mon}},
            {"ten retries", {a, steps + "|retry A|+5", due + "|A given up"}},
        });
    }
    void scheduler() {
        QFETCH(SchedulerRow, row);
        const auto& [scenes, steps, due] = row;
        QTemporaryDir dir;
        SceneStore store(dir.path());
        for (const QString& s : list(scenes))
            QCOMPARE(store.put(s.section(' ', 0, 0), salvo("1>1"), {s.section(' ', 1)}), R::Done);
        const QTimeZone berlin("Europe/Berlin");
        const QDateTime start(QDate(2026, 1, 5), QTime(6, 0), berlin);
        platform::FakeClock clock;
        qint64 skew = 0;
        const auto wall = [&] { return start.addMSecs(clock.now() + skew).toTimeZone(berlin); };
        SceneScheduler scheduler(store, berlin,
                                 {wall, [&] { return clock.now(); },
                                  [&](QObject* p) { return new platform::FakeTimer(clock, p); }});
        QStringList log;
        QDateTime last;
        connect(&scheduler, &SceneScheduler::due, [&](const QString& scene, QDateTime when) {
            log << scene + QLocale::c().toString(wall(), " ddd HH:mm") + when.toString(" (HH:mm)");
            last = when;
        });
        for (const QString& step : list(steps)) {
            const QString word = step.section(' ', 0, 0), name = step.section(' ', 1, 1);
            if (word.startsWith('+'))
                clock.advance(word.toLongLong() * 60'000);
            else if (word == "skew")
                skew += name.toLongLong() * 1000;
            else if (word == "put")
                QCOMPARE(store.put(name, salvo("1>1"), {step.section(' ', 2)}), R::Done);
            else if (word == "remove")
                QCOMPARE(store.remove(name), R::Done);
            else if (word == "retry" && !scheduler.retry(name, last))
                log << name + " given up";
            else if (word == "cancel")
                scheduler.cancelRetry(name);
        }
        QCOMPARE(log, list(due));
    }
};

QTEST_GUILESS_MAIN(TestScenes)
#include "test_scenes.moc"

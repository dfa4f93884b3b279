// The backup and restore job on the core alone, between two simulated
// switchers in this process: the round trip through the file onto a fresh
// one, the files refused whole, a target that stops answering, a cancel.

#include "core/backup/backup_job.h"
#include "tests/core/core_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using backup::Item;
using K = backup::Item::Kind;

namespace {

// Everything a backup reads, away from the simulator's defaults.
void customise(sim::Device& d) {
    d.routing[0] = 4;
    d.routing[6] = 0;
    for (int input : {2, 5}) {
        d.edid.images[input][0x10] = std::uint8_t(0x40 + input);
        edid::setChecksums(d.edid.images[input]);
    }
    d.ir.codes[0] = 0x12;
    d.ir.codes[7] = 0x60;
    d.ir.routing[3] = 6;
    d.settings.longCable = 3;
    d.settings.edidMode = 2;
}

backup::Result run(CoreFixture& c, backup::Job& job, const std::function<void()>& start) {
    backup::Result result;
    QObject::connect(&job, &backup::Job::finished, [&](const backup::Result& r) { result = r; });
    start();
    for (int i = 0; i < 5000 && job.running(); ++i)
        c.run(20);
    return result;
}

backup::Result backupOf(CoreFixture& c) {
    backup::Job job(*c.core, {});
    return run(c, job, [&] { job.startBackup(); });
}

backup::Result restore(CoreFixture& c, const backup::Backup& b, bool dryRun = false) {
    backup::Job job(*c.core, {});
    return run(c, job, [&] { job.startRestore(b, dryRun); });
}

bool sameDevice(const sim::Device& a, const sim::Device& b) {
    return a.routing == b.routing && a.edid.images == b.edid.images && a.ir.codes == b.ir.codes &&
           a.ir.routing == b.ir.routing && a.settings.longCable == b.settings.longCable &&
           a.settings.edidMode == b.settings.edidMode;
}

} // namespace

class Backups : public QObject {
    Q_OBJECT
private slots:
    void roundTripOntoAFreshSwitcher() {
        CoreFixture source, target;
        customise(source.device);
        const backup::Result made = backupOf(source);
        QVERIFY(made.ok());
        const backup::Parsed file = backup::parse(backup::print(made.read), source.core->model());
        QVERIFY2(file.backup, qPrintable(file.error));

        const backup::Result dry = restore(target, *file.backup, true);
        QVERIFY(dry.ok());
        QVERIFY(dry.written.isEmpty());
        QVERIFY(!sameDevice(source.device, target.device));
        QStringList lines;
        for (const backup::Difference& d : dry.differences)
            lines << backup::differenceLine(d);
        QVERIFY2(lines.contains(QStringLiteral("output 1: input 1 \u2192 input 5")),
                 qPrintable(lines.join('\n')));
        QVERIFY(lines.contains(QStringLiteral("IR code 7: 07 \u2192 60")));
        QVERIFY(lines.contains(QStringLiteral("IR output 4: IR input 4 \u2192 IR input 7")));

        const backup::Result done = restore(target, *file.backup);
        QVERIFY(done.ok());
        QVERIFY(sameDevice(source.device, target.device));
        QCOMPARE(done.written.count(Item{K::Edid, 3}), 1);
        QVERIFY(!done.written.contains(Item{K::Edid, 1}));
        QVERIFY(target.device.ir.saved);

        // Nothing differs now: only reads go out.
        target.port->written.clear();
        const backup::Result again = restore(target, *file.backup);
        QVERIFY(again.ok());
        QVERIFY(again.differences.isEmpty());
        QVERIFY(!target.port->written.contains("wic"));
        QVERIFY(!target.port->written.contains("cir"));
    }

    void damagedFilesAreRefusedWhole_data() {
        QTest::addColumn<QString>("key"); // what is changed, as a JSON pointer-ish path
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QString>("where");
        QTest::newRow("format") << "format" << QJsonValue("something-else") << "format";
        QTest::newRow("newer") << "version" << QJsonValue(2) << "newer";
        QTest::newRow("model") << "model" << QJsonValue("4x4") << "4x4";
        QTest::newRow("routing port") << "routing" << QJsonValue(QJsonArray{1, 2, 9}) << "routing";
        QTest::newRow("IR code") << "ir_codes" << QJsonValue() << "ir_codes[12]";
        QTest::newRow("checksum") << "edid" << QJsonValue() << "edid[4] (input 5)";
        QTest::newRow("IR routing") << "ir_routing" << QJsonValue(QJsonArray{}) << "ir_routing";
        QTest::newRow("edid mode")
            << "settings" << QJsonValue(QJsonObject{{"long_cable", true}, {"edid_mode", 6}})
            << "settings.edid_mode";
    }
    void damagedFilesAreRefusedWhole() {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QFETCH(QString, where);
        CoreFixture source;
        const backup::Result made = backupOf(source);
        QVERIFY(made.ok());
        QJsonObject o = QJsonDocument::fromJson(backup::print(made.read)).object();
        QVERIFY(backup::parse(QJsonDocument(o).toJson(), source.core->model()).backup);
        if (key == QLatin1String("ir_codes")) {
            QJsonArray codes = o.value(key).toArray();
            codes[12] = codes.at(11);
            value = codes;
        } else if (key == QLatin1String("edid")) {
            QJsonArray images = o.value(key).toArray();
            QString hex = images.at(4).toString();
            hex[40] = hex.at(40) == '0' ? '1' : '0';
            images[4] = hex;
            value = images;
        }
        o.insert(key, value);
        const backup::Parsed p = backup::parse(QJsonDocument(o).toJson(), source.core->model());
        QVERIFY(!p.backup);
        QVERIFY2(p.error.contains(where), qPrintable(p.error));
        QVERIFY(!backup::parse("{\"format\": ", source.core->model()).backup);
    }

    // The target stops answering during the second EDID's download: the
    // first is written, nothing after it, and the device's mode is left.
    void aSilentSwitcherStopsTheRestore() {
        CoreFixture source, target;
        customise(source.device);
        const backup::Result made = backupOf(source);
        QVERIFY(made.ok());
        int opened = 0;
        target.device.onLine = [&](const QByteArray& line) {
            if (line.startsWith("swe 5 0") && ++opened == 1)
                target.device.faults.silent = true;
        };
        const backup::Result r = restore(target, made.read);
        QCOMPARE(r.status, backup::Result::Status::Failed);
        QCOMPARE(r.failedItem, (Item{K::Edid, 6}));
        QCOMPARE(r.failure.error, transfer::Error::TimedOut);
        QCOMPARE(r.written, QList<Item>{(Item{K::Edid, 3})});
        QVERIFY(r.notWritten.contains(Item{K::Edid, 6}));
        QVERIFY(r.notWritten.contains(Item{K::Routing, 1}));
        QCOMPARE(target.device.routing[0], 0);
        QVERIFY(target.port->written.endsWith("edo\r\n"));
    }

    // Each preset is read by recalling it; the routing is put back after.
    void presetsAreReadAndTheRoutingPutBack() {
        CoreFixture source;
        customise(source.device);
        const QList<int> routing = source.device.routing;
        for (int p = 0; p < 3; ++p)
            source.device.presets[p] = QList<int>(8, p + 2);
        backup::Job::Options o;
        o.presets = true;
        backup::Job job(*source.core, o);
        const backup::Result r = run(source, job, [&] { job.startBackup(); });
        QVERIFY(r.ok());
        QVERIFY(r.read.presets && r.read.presets->size() == 3);
        QCOMPARE(r.read.presets->at(1), QList<int>(8, 4));
        QVERIFY(!r.read.notRead.contains("presets"));
        QCOMPARE(source.device.routing, routing);
        QVERIFY(backup::parse(backup::print(r.read), source.core->model()).backup->presets);
    }

    void cancelLeavesTheMode() {
        CoreFixture source;
        backup::Job job(*source.core, {});
        backup::Result result;
        connect(&job, &backup::Job::finished, [&](const backup::Result& r) { result = r; });
        connect(&job, &backup::Job::progress, [&](int done, int) {
            if (done == 300)
                job.cancel();
        });
        job.startBackup();
        for (int i = 0; i < 500 && job.running(); ++i)
            source.run(20);
        QCOMPARE(result.status, backup::Result::Status::Cancelled);
        QVERIFY(source.device.mode.isEmpty());
        QVERIFY(!result.read.edids.at(1).has_value());
    }
};

QTEST_GUILESS_MAIN(Backups)
#include "test_backup.moc"

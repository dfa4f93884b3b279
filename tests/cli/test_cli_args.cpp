// The command-line tool's small pieces: the command line, the IR table
// file, the printed forms, the port choice.

#include "core/cmdline/option_help.h"
#include "frontends/cli/command.h"
#include "frontends/cli/files.h"
#include "frontends/cli/output.h"
#include "frontends/cli/runner.h"
#include "testing/fakes/fake_platform.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace cli;

namespace {

// Every field of a command in one line, so that a row states all of them.
QString describe(const Command& c) {
    return QStringList{verbName(c.verb),
                       c.port,
                       c.json ? "json" : "plain",
                       QString::number(c.timeoutMs),
                       QStringLiteral("%1 %2 %3").arg(c.output).arg(c.input).arg(c.preset),
                       hexBytes(c.bytes),
                       c.file,
                       c.address}
        .join('|');
}

QStringList tableOf(int entries) {
    QStringList codes;
    for (int k = 0; k < entries; ++k)
        codes << QString::number(k, 16).toUpper().rightJustified(2, '0');
    return codes;
}

} // namespace

class CliArgs : public QObject {
    Q_OBJECT
private slots:
    void commands_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("command");
        QTest::newRow("status") << QStringList{"status"} << "status||plain|1000|0 0 0|||";
        QTest::newRow("options first") << QStringList{"--port", "COM3", "--json", "status"}
                                       << "status|COM3|json|1000|0 0 0|||";
        QTest::newRow("options after") << QStringList{"route", "2", "3", "-p", "/dev/ttyUSB0"}
                                       << "route|/dev/ttyUSB0|plain|1000|2 3 0|||";
        QTest::newRow("timeout") << QStringList{"--timeout", "0.25", "all", "8"}
                                 << "all||plain|250|0 8 0|||";
        QTest::newRow("server") << QStringList{"-p", "tcp://127.0.0.1:4001", "preset", "save", "3"}
                                << "preset save|tcp://127.0.0.1:4001|plain|1000|0 0 3|||";
        QTest::newRow("recall") << QStringList{"preset", "recall", "1"}
                                << "preset recall||plain|1000|0 0 1|||";
        QTest::newRow("send line")
            << QStringList{"send", "bc "} << "send||plain|1000|0 0 0|62 63 20 0D 0A||";
        QTest::newRow("send words") << QStringList{"send", "cir", "12"}
                                    << "send||plain|1000|0 0 0|63 69 72 20 31 32 0D 0A||";
        QTest::newRow("send lines")
            << QStringList{"send", "a\nb\n"} << "send||plain|1000|0 0 0|61 0D 0A 62 0D 0A||";
        QTest::newRow("send dash")
            << QStringList{"send", "--", "-x"} << "send||plain|1000|0 0 0|2D 78 0D 0A||";
        QTest::newRow("send hex") << QStringList{"send", "--hex", "01 ab", "5"}
                                  << "send||plain|1000|0 0 0|01 AB 05||";
        QTest::newRow("edid read") << QStringList{"edid", "read", "1", "-o", "f.bin"}
                                   << "edid read||plain|1000|0 1 0||f.bin|";
        QTest::newRow("edid write")
            << QStringList{"edid", "write", "8", "f.bin"} << "edid write||plain|1000|0 8 0||f.bin|";
        QTest::newRow("edid decode") << QStringList{"edid", "decode", "--json", "f.bin"}
                                     << "edid decode||json|1000|0 0 0||f.bin|";
        QTest::newRow("ir read") << QStringList{"ir", "read", "--output", "t.txt"}
                                 << "ir read||plain|1000|0 0 0||t.txt|";
        QTest::newRow("ir write") << QStringList{"ir", "write", "t.txt"}
                                  << "ir write||plain|1000|0 0 0||t.txt|";
        QTest::newRow("ir route") << QStringList{"ir", "route", "8", "1"}
                                  << "ir route||plain|1000|8 1 0|||";
        QTest::newRow("dhcp") << QStringList{"ip", "dhcp"} << "ip dhcp||plain|1000|0 0 0|||";
        QTest::newRow("static") << QStringList{"ip", "static", "192.168.001.050"}
                                << "ip static||plain|1000|0 0 0|||192.168.1.50";
    }
    void commands() {
        QFETCH(QStringList, args);
        const Parsed p = parseArguments(QStringList{"hdmi-matrix-ctl"} + args);
        QVERIFY2(p.command, qPrintable(p.error));
        QFETCH(QString, command);
        QCOMPARE(describe(*p.command), command);
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        QTest::newRow("nothing") << QStringList{} << "no command given";
        QTest::newRow("unknown") << QStringList{"bogus"} << "unknown command \"bogus\"";
        QTest::newRow("option") << QStringList{"--bogus", "status"} << "Unknown option 'bogus'";
        QTest::newRow("too few") << QStringList{"route", "2"} << "route needs OUT IN";
        QTest::newRow("too many") << QStringList{"route", "2", "3", "4"}
                                  << "route: unexpected argument \"4\"";
        QTest::newRow("output") << QStringList{"route", "9", "1"}
                                << "route: OUT must be a number from 1 to 8, not \"9\"";
        QTest::newRow("input") << QStringList{"ir", "route", "1", "+2"}
                               << "ir route: IN must be a number from 1 to 8, not \"+2\"";
        QTest::newRow("preset") << QStringList{"preset", "save", "4"}
                                << "N must be a number from 1 to 3";
        QTest::newRow("no sub") << QStringList{"preset"} << "preset needs a sub-command";
        QTest::newRow("bad sub") << QStringList{"edid", "load", "1"}
                                 << "edid: unknown sub-command \"load\"";
        QTest::newRow("no -o") << QStringList{"edid", "read", "1"} << "edid read needs -o FILE";
        QTest::newRow("stray -o") << QStringList{"status", "-o", "x"}
                                  << "-o is for edid read, ir read and backup only";
        QTest::newRow("restore --presets")
            << QStringList{"restore", "f", "--presets"} << "--presets is for backup only";
        QTest::newRow("backup --dry-run")
            << QStringList{"backup", "-o", "f", "--dry-run"} << "--dry-run is for restore only";
        QTest::newRow("--only other")
            << QStringList{"restore", "f", "--only", "edid,labels"} << "--only takes a comma list";
        QTest::newRow("stray --hex")
            << QStringList{"route", "--hex", "1", "2"} << "--hex is for send only";
        QTest::newRow("hex text") << QStringList{"send", "--hex", "0g"}
                                  << "holds more than hexadecimal digits";
        QTest::newRow("no text") << QStringList{"send"} << "send needs TEXT...";
        QTest::newRow("3 parts") << QStringList{"ip", "static", "1.2.3"} << "is not an address";
        QTest::newRow("5 parts") << QStringList{"ip", "static", "1.2.3.4.5"} << "is not an address";
        QTest::newRow("part") << QStringList{"ip", "static", "1.2.3.256"}
                              << "part 4 of \"1.2.3.256\" (\"256\") must be a number";
        QTest::newRow("timeout 0")
            << QStringList{"--timeout", "0", "status"} << "--timeout takes seconds";
        QTest::newRow("timeout text")
            << QStringList{"--timeout", "x", "status"} << "--timeout takes seconds";
        QTest::newRow("timeout 1e-9")
            << QStringList{"--timeout", "1e-9", "status"} << "--timeout takes seconds";
        QTest::newRow("timeout blank")
            << QStringList{"--timeout", " 1", "status"} << "--timeout takes seconds";
        QTest::newRow("-o twice") << QStringList{"ir", "read", "-o", "a", "-o", "b"}
                                  << "ir read: -o given 2 times";
        QTest::newRow("-o - json") << QStringList{"--json", "ir", "read", "-o", "-"}
                                   << "-o - and --json would both write to standard output";
        QTest::newRow("broadcast")
            << QStringList{"ip", "static", "255.255.255.255"} << "is the broadcast address";
        QTest::newRow("this network")
            << QStringList{"ip", "static", "0.0.0.0"} << "0.x.x.x means this network";
        QTest::newRow("loopback") << QStringList{"ip", "static", "127.0.0.1"} << "loopback";
        QTest::newRow("multicast") << QStringList{"ip", "static", "239.1.2.3"} << "multicast";
        QTest::newRow("class E") << QStringList{"ip", "static", "240.0.0.1"} << "reserved";
        QTest::newRow("COM11") << QStringList{"--port", "COM11", "status"}
                               << "--port: COM11 is not one of COM1 to COM10";
        QTest::newRow("server") << QStringList{"--port", "tcp://host", "status"} << "--port: ";
    }
    void usageErrors() {
        QFETCH(QStringList, args);
        const Parsed p = parseArguments(QStringList{"hdmi-matrix-ctl"} + args);
        QVERIFY(!p.command);
        QVERIFY(p.help.isEmpty());
        QFETCH(QString, error);
        QVERIFY2(p.error.contains(error), qPrintable(p.error));
        QVERIFY(p.usage.startsWith("Usage: hdmi-matrix-ctl"));
    }

    void help() {
        const auto help = [](QStringList args) {
            return parseArguments(QStringList{"hdmi-matrix-ctl"} + args).help;
        };
        QVERIFY(help({"--help"}).contains("Exit status: 0 done"));
        QVERIFY(help({"-h", "status"}).contains("\n  status                    print the input"));
        const QString edid = help({"edid", "--help"});
        QVERIFY(edid.contains("edid read IN -o FILE"));
        QVERIFY(!edid.contains("route OUT IN"));
        QCOMPARE(help({"help", "ir"}), help({"ir", "read", "--help"}));
        QVERIFY(
            help({"edid", "edit", "--help"})
                .contains("\n  --physical-address A.B.C.D  the HDMI source physical address\n"));
    }

    void optionLines_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("align");
        QTest::addColumn<QString>("lines");
        QTest::newRow("short, value, two lines") << QStringList{"p", "port"} << "P" << true
                                                 << "  -p, --port P    a\n                  b\n";
        QTest::newRow("long only, aligned")
            << QStringList{"json"} << "" << true << "      --json      a\n                  b\n";
        QTest::newRow("long only")
            << QStringList{"json"} << "" << false << "  --json          a\n                  b\n";
        QTest::newRow("past the column") << QStringList{"physical"} << "A.B.C.D" << false
                                         << "  --physical A.B.C.D  a\n                  b\n";
    }
    void optionLines() {
        QFETCH(QStringList, names);
        QFETCH(QString, value);
        QFETCH(bool, align);
        QCommandLineOption hidden(QStringLiteral("hidden"));
        hidden.setFlags(QCommandLineOption::HiddenFromHelp);
        const QList<QCommandLineOption> options{QCommandLineOption(names, "a\nb", value), hidden};
        QTEST(cmdline::optionLines(options, {.column = 18, .alignLongNames = align}), "lines");
    }

    void progressBar_data() {
        QTest::addColumn<int>("done");
        QTest::addColumn<QString>("bar");
        QTest::newRow("none") << 0 << "x [..........]   0%";
        QTest::newRow("half") << 128 << "x [#####.....]  50%";
        QTest::newRow("one short") << 255 << "x [#########.]  99%";
        QTest::newRow("all") << 256 << "x [##########] 100%";
        QTest::newRow("past") << 300 << "x [##########] 100%";
        QTest::newRow("before") << -5 << "x [..........]   0%";
    }
    void progressBar() {
        QFETCH(int, done);
        QFETCH(QString, bar);
        QCOMPARE(cli::progressBar("x", done, 256, 10), bar);
    }

    void outputs() {
        const Outputs o{3, 3, 0, 1, 2, 8, 7, 6};
        QCOMPARE(outputsText(o).section('\n', 1, 2), QString("output 2: input 3\noutput 3: not "
                                                             "reported"));
        QCOMPARE(outputsJson(o), QJsonArray({3, 3, QJsonValue(), 1, 2, 8, 7, 6}));
    }

    void irTables_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("problem");
        const QByteArray good = irTableText(tableOf(81));
        QTest::newRow("good") << good << "";
        QTest::newRow("no last end") << good.chopped(1) << "";
        QTest::newRow("CR LF, blanks") << QByteArray(good).replace("\n", " \r\n") << "";
        QTest::newRow("80 lines") << irTableText(tableOf(80)) << "holds 80 lines";
        QTest::newRow("82 lines") << good + "51\n"
                                  << "holds 82 lines";
        QTest::newRow("BOM, blank lines after") << "\xEF\xBB\xBF" + good + "\n \r\n\n"
                                                << "";
        QTest::newRow("format") << QByteArray(good).replace("05\n", "G1\n")
                                << "line 6: entry 5 \"G1\" is not one or two hexadecimal digits";
        QTest::newRow("empty entry")
            << QByteArray(good).replace("28\n", "\n") << "line 41: entry 40 \"\"";
        QTest::newRow("duplicate") << QByteArray(good).replace("0C\n", "3\n")
                                   << "line 13: entry 12 \"3\" is the same code as entry 3 "
                                      "(line 4)";
        QTest::newRow("custom code") << QByteArray(good).replace("00\n", "01\n") << "";
    }
    void irTables() {
        QFETCH(QByteArray, text);
        const IrTable t = parseIrTable(text);
        const QString got = t.error.isEmpty() ? irTableProblem(t.codes) : t.error;
        QFETCH(QString, problem);
        QVERIFY2(problem.isEmpty() ? got.isEmpty() : got.contains(problem), qPrintable(got));
    }

    // COMPORT is read, never written; the number reaches a device as it does
    // for the window.
    void thePortComesFromComport() {
        QTemporaryDir dir;
        platform::FakePlatform p;
        p.devices = {"/dev/a", "/dev/b", "/dev/c"};
        PortChoice c = choosePort({}, p, dir.path());
        QCOMPARE(c.device, QString("/dev/a"));
        QCOMPARE(c.name, QString("COM1 (/dev/a)"));
        QFile f(dir.filePath("COMPORT"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(" 2 \r\n") == 5);
        f.close();
        QCOMPARE(choosePort({}, p, dir.path()).name, QString("COM3 (/dev/c)"));
        QCOMPARE(choosePort("com2", p, dir.path()).device, QString("/dev/b"));
        QCOMPARE(choosePort("/dev/ttyUSB0", p, dir.path()).name, QString("/dev/ttyUSB0"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray(" 2 \r\n"));
    }
};

QTEST_MAIN(CliArgs)
#include "test_cli_args.moc"

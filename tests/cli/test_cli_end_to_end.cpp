// hdmi-matrix-ctl run as a process against the simulated switcher: over a
// pseudo-terminal served from this process (so every byte on the wire is
// seen and the device's faults are set directly), and over TCP against
// hdmi-matrix-sim.

#include "core/edid/decode/edid_decode.h"
#include "core/edid/edid_image.h"
#include "core/platform/qt_serial_port.h"
#include "sim/device.h"
#include "sim/pty_transport.h"
#include "tests/support/sim_harness.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QString err;
};

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray irTable(const std::array<int, 81>& codes) {
    QByteArray t;
    for (int c : codes)
        t += QByteArray::number(c, 16).rightJustified(2, '0').toUpper() + '\n';
    return t;
}

struct Rig {
    explicit Rig(bool paced = false) {
        QString error;
        line.setPaced(paced);
        ok = line.start(dir.path(), 1, &error);
        line.onReceive = [this](const QByteArray& bytes) {
            wire += bytes;
            line.send(device.receive(bytes));
        };
    }
    void start(QProcess& p, const QStringList& args) {
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(HDMI_CTL_PATH), args);
    }
    static Run finish(QProcess& p, int ms = 30000) {
        SimHarness::waitFor([&] { return p.state() == QProcess::NotRunning; }, ms);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                p.readAllStandardOutput(), QString::fromLocal8Bit(p.readAllStandardError())};
    }
    Run run(const QStringList& args) {
        QProcess p;
        start(p, args);
        return finish(p);
    }
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    sim::Device device;
    sim::PtyTransport line;
    QByteArray wire;
    bool ok = false;
};

} // namespace

class CliEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void commandsSendWhatTheWindowSends_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("wire");
        QByteArray table;
        for (int o = 1; o <= 8; ++o)
            table += QByteArray("output ") + char('0' + o) + ": input " + char('0' + o) + '\n';
        QTest::newRow("status") << QStringList{"status"} << table << QByteArray("bc \r\n");
        QTest::newRow("status json")
            << QStringList{"--json", "status"} << QByteArray("{\"outputs\":[1,2,3,4,5,6,7,8]}\n")
            << QByteArray("bc \r\n");
        QTest::newRow("route") << QStringList{"route", "2", "3"} << QByteArray()
                               << QByteArray("cir 12\r\n");
        QTest::newRow("route json")
            << QStringList{"-p", "COM1", "--json", "route", "8", "1"}
            << QByteArray("{\"input\":1,\"output\":8}\n") << QByteArray("cir 70\r\n");
        QTest::newRow("all") << QStringList{"--json", "all", "5"}
                             << QByteArray("{\"input\":5,\"outputs\":[5,5,5,5,5,5,5,5]}\n")
                             << QByteArray("asw 4\r\n");
        QTest::newRow("save") << QStringList{"preset", "save", "2"} << QByteArray()
                              << QByteArray("msa 1\r\n");
        QTest::newRow("recall") << QStringList{"--json", "preset", "recall", "3"}
                                << QByteArray("{\"outputs\":[1,2,3,4,5,6,7,8],\"preset\":3}\n")
                                << QByteArray("msw 2\r\n");
        QTest::newRow("send") << QStringList{"send", "bc "}
                              << QByteArray("s11\ns22\ns33\ns44\ns55\ns66\ns77\ns88\n")
                              << QByteArray("bc \r\n");
        QTest::newRow("send hex") << QStringList{"--json", "send", "--hex", "73 61 76 0d 0a"}
                                  << QByteArray("{\"received\":[\"Ack\"],\"sent\":\"73 61 76 0D "
                                                "0A\"}\n")
                                  << QByteArray("sav\r\n");
        QTest::newRow("dhcp") << QStringList{"ip", "dhcp"} << QByteArray() << QByteArray("dhc\r\n");
        QTest::newRow("static") << QStringList{"--json", "ip", "static", "192.168.001.050"}
                                << QByteArray("{\"address\":\"192.168.1.50\"}\n")
                                << QByteArray("sip C0 A8 1 32\r\n");
        QTest::newRow("ir route") << QStringList{"--json", "ir", "route", "2", "3"}
                                  << QByteArray("{\"input\":3,\"output\":2}\n")
                                  << QByteArray("ims\r\nsrp 1 2\r\n");
        // The device reports no unchanged IR route; the status said so.
        QTest::newRow("ir unchanged") << QStringList{"ir", "route", "1", "1"} << QByteArray()
                                      << QByteArray("ims\r\nsrp 0 0\r\n");
    }
    void commandsSendWhatTheWindowSends() {
        Rig r;
        QVERIFY(r.ok);
        QFETCH(QStringList, args);
        const Run run = r.run(args);
        QCOMPARE(run.err, QString());
        QCOMPARE(run.status, 0);
        QFETCH(QByteArray, out);
        QCOMPARE(run.out, out);
        QFETCH(QByteArray, wire);
        QCOMPARE(r.wire, wire);
    }

    void edidReadWriteAndDecode() {
        Rig r;
        QVERIFY(r.ok);
        Run run = r.run({"edid", "read", "3", "-o", "in3.bin"});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out + run.err.toLatin1(), QByteArray());
        const sim::EdidState::Image& image = r.device.edid.images[2];
        QCOMPARE(fileBytes(r.path("in3.bin")), QByteArray((const char*)image.data(), 256));
        QByteArray wire = "edm\r\nswe 2 1\r\n";
        for (int i = 0; i < 256; ++i)
            wire += edid::readByteCommand(i).toLatin1() + "\r\n";
        QCOMPARE(r.wire, wire + "edo\r\n");

        edid::Image changed = image;
        changed[0x11] ^= 0x04;
        edid::setChecksums(changed);
        QVERIFY(writeFile(r.path("new.bin"), QByteArray((const char*)changed.data(), 256)));
        r.wire.clear();
        run = r.run({"--json", "edid", "write", "7", "new.bin"});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.out, QByteArray("{\"file\":\"new.bin\",\"input\":7,\"verified\":true}\n"));
        QVERIFY(r.device.edid.images[6] == changed);
        QVERIFY(r.wire.startsWith("edm\r\nswe 6 0\r\nwed 0 00\r\nwed 1 FF\r\n"));
        QVERIFY(r.wire.contains("wed FF " + QByteArray::number(changed[255], 16).toUpper() +
                                "\r\nswe 6 1\r\nred 0 \r\n"));
        QVERIFY(r.wire.endsWith("red FF \r\nedo\r\n"));

        r.wire.clear();
        run = r.run({"edid", "decode", "in3.bin"});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.startsWith("1920x1080 60 Hz preferred"));
        run = r.run({"edid", "decode", "--json", "new.bin"});
        const QJsonObject json = QJsonDocument::fromJson(run.out).object();
        QCOMPARE(json.value("blocks").toInt(), 2);
        QCOMPARE(json.value("checksums_ok").toArray(), QJsonArray({true, true}));
        QVERIFY(writeFile(r.path("text.txt"), "not an image\n"));
        changed[127] ^= 1;
        QVERIFY(writeFile(r.path("bad.bin"), QByteArray((const char*)changed.data(), 256)));
        for (const QStringList& args : {QStringList{"edid", "decode", "text.txt"},
                                        QStringList{"edid", "write", "1", "text.txt"},
                                        QStringList{"edid", "write", "1", "bad.bin"},
                                        QStringList{"edid", "write", "1", "missing.bin"}}) {
            run = r.run(args);
            QCOMPARE(run.status, 1);
            QVERIFY2(run.err.contains("hdmi-matrix-ctl: edid "), qPrintable(run.err));
            QCOMPARE(run.out, QByteArray());
        }
        QVERIFY(run.err.contains("missing.bin: no such file"));
        QCOMPARE(r.wire, QByteArray());
    }

    void irReadAndWrite() {
        Rig r;
        QVERIFY(r.ok);
        Run run = r.run({"ir", "read", "-o", "ir.txt"});
        QCOMPARE(run.status, 0);
        QCOMPARE(fileBytes(r.path("ir.txt")), irTable(r.device.ir.codes));
        QVERIFY(r.wire.startsWith("irm\r\nric 0\r\nric 1\r\n"));
        QVERIFY(r.wire.endsWith("ric 50\r\niro\r\n"));

        std::array<int, 81> codes{};
        for (int k = 0; k < 81; ++k)
            codes[k] = (0x90 + k) % 256;
        QVERIFY(writeFile(r.path("new.txt"), irTable(codes)));
        r.wire.clear();
        run = r.run({"ir", "write", "new.txt"});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.status, 0);
        QVERIFY(r.device.ir.codes == codes);
        QVERIFY(r.device.ir.saved);
        QVERIFY(r.wire.startsWith("irm\r\nwic 0 90\r\n"));
        QVERIFY(r.wire.endsWith("ric 50\r\nsav\r\niro\r\n"));

        QVERIFY(writeFile(r.path("dup.txt"), irTable(codes).replace("9C\n", "9F\n")));
        r.wire.clear();
        run = r.run({"ir", "write", "dup.txt"});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("dup.txt: line 16: entry 15 \"9F\" is the same code as entry "
                                  "12 (line 13); nothing sent"),
                 qPrintable(run.err));
        QCOMPARE(r.wire, QByteArray());
    }

    void aFaultyDeviceFailsNamingWhat_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QByteArray>("wireEnd");
        QTest::newRow("silent status")
            << QStringList{"--timeout", "0.2", "status"} << 0
            << "status: no answer from COM1 (%1) within 0.2 s" << QByteArray("bc \r\n");
        QTest::newRow("silent route") << QStringList{"route", "4", "4"} << 0
                                      << "route: no report for output 4 from COM1 (%1) within 1 s"
                                      << QByteArray("cir 33\r\n");
        QTest::newRow("no echo") << QStringList{"edid", "read", "1", "-o", "x.bin"} << 0
                                 << "edid read: no \"edm\" echo from COM1 (%1) within 2 s: the "
                                    "device did not enter EDID mode"
                                 << QByteArray("edm\r\nedo\r\n");
        QTest::newRow("err") << QStringList{"edid", "read", "2", "-o", "x.bin"} << 1
                             << "edid read: byte 0x50 (80): the device kept answering \"err\""
                             << QByteArray("red 50 \r\nedo\r\n");
        QTest::newRow("verify") << QStringList{"edid", "write", "2", "x.bin"} << 2
                                << "edid write: verify: byte 0x20 (32) reads back DF, 20 was "
                                   "written"
                                << QByteArray("red FF \r\nedo\r\n");
        QTest::newRow("ir check") << QStringList{"ir", "write", "x.txt"} << 3
                                  << "ir write: check: entry 5 (line 6) reads back \"04\", \"05\" "
                                     "was written; nothing saved"
                                  << QByteArray("ric 5\r\niro\r\n");
    }
    void aFaultyDeviceFailsNamingWhat() {
        Rig r;
        QVERIFY(r.ok);
        QFETCH(int, fault);
        r.device.faults.silent = fault == 0;
        r.device.edid.errorAt = fault == 1 ? 0x50 : -1;
        r.device.edid.corruptAt = fault == 2 ? 0x20 : -1;
        r.device.ir.corruptEntry = fault == 3 ? 5 : -1;
        edid::Image image = r.device.edid.images[0];
        image[0x20] = 0x20;
        edid::setChecksums(image);
        QVERIFY(writeFile(r.path("x.bin"), QByteArray((const char*)image.data(), 256)));
        QVERIFY(writeFile(r.path("x.txt"), irTable(r.device.ir.codes)));
        const QByteArray before = fileBytes(r.path("x.bin"));
        QFETCH(QStringList, args);
        const Run run = r.run(args);
        QCOMPARE(run.status, 1);
        QFETCH(QString, err);
        QCOMPARE(run.err, "hdmi-matrix-ctl: " + err.replace("%1", r.line.linkPath()) + '\n');
        QFETCH(QByteArray, wireEnd);
        QVERIFY(r.wire.endsWith(wireEnd));
        QCOMPARE(fileBytes(r.path("x.bin")), before);
        QVERIFY(!r.device.ir.saved);
    }

    void edidEditAndTemplate_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        const auto row = [](const char* name, const QStringList& args, int status) {
            QTest::newRow(name) << args << status;
        };
        const QStringList edit{"edid", "edit", "in.bin", "-o", "out.bin"};
        row("stereo", edit + QStringList{"--audio", "stereo", "--name", "LOBBY"}, 0);
        row("no edit", edit + QStringList{"--json"}, 0);
        row("template", {"edid", "template", "4k60-hdr-7.1", "-o", "out.bin"}, 0);
        row("not an EDID", {"edid", "edit", "text.txt", "-o", "out.bin", "--no-hdr"}, 1);
        row("cannot take it", {"edid", "edit", "other.bin", "-o", "out.bin", "--no-hdr"}, 1);
        row("name too long", edit + QStringList{"--name", "ABCDEFGHIJKLMN"}, 2);
        row("name not ASCII", edit + QStringList{"--name", QString::fromUtf8("Süd")}, 2);
        for (const char* vic : {"0", "128", "254", "255", "300", "x"})
            row(vic, edit + QStringList{"--add-vic", vic}, 2);
        row("layout", edit + QStringList{"--audio", "2.0"}, 2);
        row("address", edit + QStringList{"--physical-address", "1.0.2.0"}, 2);
        row("no template", {"edid", "template", "8k", "-o", "out.bin"}, 2);
        row("no output", {"edid", "template", "1080p-stereo"}, 2);
    }
    void edidEditAndTemplate() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        Rig r;
        const auto image = sim::EdidState::defaultImage();
        QByteArray in((const char*)image.data(), 256);
        QVERIFY(writeFile(r.path("in.bin"), in));
        QVERIFY(writeFile(r.path("text.txt"), "not an image\n"));
        in[128] = 0x70; // a DisplayID extension: no CTA-861 block to edit
        QVERIFY(writeFile(r.path("other.bin"), in));
        const Run run = r.run(args);
        QVERIFY2(run.status == status, qPrintable(run.err));
        QCOMPARE(QFile::exists(r.path("out.bin")), status == 0);
        QCOMPARE(run.err.isEmpty(), status == 0);
        if (args.contains("--json"))
            QCOMPARE(QJsonDocument::fromJson(run.out)["changed"].toBool(true), false);
        if (status == 0)
            QVERIFY(edid::decodeEdid(fileBytes(r.path("out.bin"))).checksumsOk ==
                    QList<bool>({true, true}));
    }

    void aUsageErrorWritesNothing_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("number") << QStringList{"route", "9", "1"};
        QTest::newRow("no -o") << QStringList{"edid", "read", "1"};
        QTest::newRow("hex") << QStringList{"send", "--hex", "zz"};
        QTest::newRow("address") << QStringList{"ip", "static", "1.2.3"};
        QTest::newRow("command") << QStringList{"frobnicate"};
    }
    void aUsageErrorWritesNothing() {
        Rig r;
        QVERIFY(r.ok);
        QFETCH(QStringList, args);
        const Run run = r.run(args);
        QCOMPARE(run.status, 2);
        QVERIFY(run.err.startsWith("hdmi-matrix-ctl: "));
        QVERIFY(run.err.contains("\nUsage: hdmi-matrix-ctl"));
        QCOMPARE(run.out, QByteArray());
        SimHarness::waitFor([] { return false; }, 50);
        QCOMPARE(r.wire, QByteArray());
    }

    // Targets that are no regular file, files that do not fit, a damaged
    // image, a full stdout, a COMPORT naming no port. Device nodes are made
    // in the test's folder (as root only); the system's are never touched.
    void hostileFilesAndTargets_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("setup"); // ">F": stdout to F, "<F": stdin from F, "COMPORT=X"
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err"); // in stderr; empty: nothing on stderr
        QTest::addColumn<int>("outSize");
        QTest::addColumn<bool>("sent"); // anything written to the port
        const QString rule = "; edid write takes a 256-byte image or a 128-byte base block";
        const auto read = [](const char* file) {
            return QStringList{"edid", "read", "1", "-o", file};
        };
        const auto write = [](const char* file) { return QStringList{"edid", "write", "1", file}; };
        QTest::newRow("null device") << read("null") << "" << 0 << "" << 0 << true;
        QTest::newRow("full device")
            << read("full") << "" << 1 << "cannot write full: No space left on device" << 0 << true;
        QTest::newRow("pipe, no reader") << read("pipe") << "" << 1
                                         << "cannot write pipe: no program reads the named pipe "
                                            "(waited 2 s)"
                                         << 0 << false;
        QTest::newRow("stdout") << read("-") << "" << 0 << "" << 256 << true;
        QTest::newRow("full stdout")
            << QStringList{"--json", "status"} << ">full" << 1
            << "cannot write to standard output: No space left on device" << 0 << true;
        QTest::newRow("damaged image")
            << QStringList{"--json", "edid", "read", "2", "-o", "x.bin"} << "" << 0
            << "warning: edid read: the image of input 2 is no EDID" << -1 << true;
        QTest::newRow("127 bytes") << write("127.bin") << "" << 1
                                   << "127.bin: 127 bytes: the file is short of the 128-byte base "
                                      "block" +
                                          rule
                                   << 0 << false;
        QTest::newRow("128, announcing 1")
            << write("128.bin") << "" << 1
            << "128.bin: 128 bytes and its base block announces 1 extension block" + rule << 0
            << false;
        QTest::newRow("3 blocks") << write("384.bin") << "" << 1
                                  << "384.bin: 384 bytes and its base block announces 1 extension "
                                     "block" +
                                         rule
                                  << 0 << false;
        QTest::newRow("base block alone") << write("base.bin") << "" << 0 << "" << 0 << true;
        QTest::newRow("COMPORT 10")
            << QStringList{"status"} << "COMPORT=10" << 2
            << "COMPORT holds \"10\", not a port index from 0 to 9" << 0 << false;
        QTest::newRow("decode stdin")
            << QStringList{"edid", "decode", "-"} << "<base.bin" << 0 << "" << -1 << false;
    }
    void hostileFilesAndTargets() {
        Rig r;
        QVERIFY(r.ok);
        const QByteArray dir = QFile::encodeName(r.dir.path()) + '/';
        if (::mknod(dir + "null", S_IFCHR | 0600, makedev(1, 3)) != 0 ||
            ::mknod(dir + "full", S_IFCHR | 0600, makedev(1, 7)) != 0)
            QSKIP("device nodes can only be made as root");
        QCOMPARE(::mkfifo(dir + "pipe", 0600), 0);
        edid::Image base = r.device.edid.images[0];
        const QByteArray image((const char*)base.data(), 256);
        base[126] = 0; // no extension, and block 1 goes as zeros
        std::fill(base.begin() + 128, base.end(), 0);
        edid::setChecksums(base);
        QVERIFY(writeFile(r.path("127.bin"), image.left(127)) &&
                writeFile(r.path("128.bin"), image.left(128)) &&
                writeFile(r.path("384.bin"), image + image.left(128)) &&
                writeFile(r.path("base.bin"), QByteArray((const char*)base.data(), 128)));
        r.device.edid.images[1][0] = 1;
        QFETCH(QString, setup);
        if (setup.startsWith("COMPORT="))
            QVERIFY(writeFile(r.path("COMPORT"), setup.mid(8).toLatin1()));
        QProcess p;
        if (setup.startsWith('>'))
            p.setStandardOutputFile(r.path(setup.mid(1)));
        if (setup.startsWith('<'))
            p.setStandardInputFile(r.path(setup.mid(1)));
        QFETCH(QStringList, args);
        r.start(p, args);
        const Run run = Rig::finish(p);
        QFETCH(QString, err);
        QVERIFY2(err.isEmpty() ? run.err.isEmpty() : run.err.contains(err), qPrintable(run.err));
        QFETCH(int, status);
        QCOMPARE(run.status, status);
        QFETCH(int, outSize);
        if (outSize >= 0)
            QCOMPARE(run.out.size(), outSize);
        else
            QVERIFY(run.out.startsWith("{\"file\":\"x.bin\",\"findings\":[\"byte 0: ") ||
                    run.out.startsWith("1920x1080 60 Hz preferred"));
        QFETCH(bool, sent);
        QCOMPARE(!r.wire.isEmpty(), sent);
        if (args.contains("base.bin") && status == 0)
            QVERIFY(r.device.edid.images[0] == base);
        for (const char* node : {"null", "full"})
            QVERIFY(QFileInfo(r.path(node)).exists() && !QFileInfo(r.path(node)).isFile());
    }

    // A server that accepts and closes at once turned the tool away (busy,
    // or refusing the address); one that keeps a mode entry unanswered may
    // have lent the line to another client.
    void aServerThatClosesOrStaysSilent_data() {
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::newRow("closes at once")
            << true << QStringList{"--json", "status"} << 3
            << "status: the server %1 closed the connection at once after accepting it (busy "
               "with another client, or this address is not let in)\n";
        QTest::newRow("no mode echo")
            << false << QStringList{"ir", "read", "-o", "-"} << 1
            << "ir read: no \"irm\" echo from %1 within 2 s: the device did not enter IR mode "
               "(another client of the server may hold the line)\n";
    }
    void aServerThatClosesOrStaysSilent() {
        QFETCH(bool, closes);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket* s = server.nextPendingConnection();
            if (closes)
                s->close();
        });
        const QString target = QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort());
        QProcess p;
        QFETCH(QStringList, args);
        p.start(QStringLiteral(HDMI_CTL_PATH), QStringList{"-p", target} + args);
        const Run run = Rig::finish(p);
        QFETCH(int, status);
        QCOMPARE(run.status, status);
        QFETCH(QString, err);
        QCOMPARE(run.err, "hdmi-matrix-ctl: " + err.arg(target));
        QCOMPARE(run.out, QByteArray());
    }

    // A switcher with something already waiting on its line, answering the
    // route command with a script. What waited is never an answer, and an
    // "err" is not undone by a report after it.
    void answersBelongToTheirCommand_data() {
        QTest::addColumn<QByteArray>("waiting");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::newRow("old report, dead switcher")
            << QByteArray("s13\r\n") << QByteArray()
            << QStringList{"--timeout", "0.3", "route", "1", "3"} << 1
            << "route: no report for output 1";
        QTest::newRow("old report, live switcher") << QByteArray("s12\r\n") << QByteArray("s11\r\n")
                                                   << QStringList{"route", "1", "1"} << 0 << "";
        QTest::newRow("-v tells") << QByteArray("s12\r\n") << QByteArray("s11\r\n")
                                  << QStringList{"-v", "route", "1", "1"} << 0
                                  << "discarded before the first command: \"s12\\r\"";
        QTest::newRow("cut-off line") << QByteArray("s1") << QByteArray("s11\r\n")
                                      << QStringList{"route", "1", "1"} << 0 << "";
        QTest::newRow("err, then a report")
            << QByteArray() << QByteArray("err\r\ns11\r\n") << QStringList{"route", "1", "1"} << 1
            << "route: the device answered \"err\"";
    }
    void answersBelongToTheirCommand() {
        QFETCH(QByteArray, waiting);
        QFETCH(QByteArray, answer);
        Rig r;
        QVERIFY(r.ok);
        r.line.onReceive = [&](const QByteArray& bytes) {
            if (bytes.contains("cir 00\r\n"))
                r.line.send(answer);
        };
        // Left on the line while no program has it open.
        r.line.send(waiting);
        QFETCH(QStringList, args);
        const Run run = r.run(QStringList{"--json"} + args);
        QFETCH(int, status);
        QCOMPARE(run.status, status);
        // Success prints its object; a failure prints nothing on stdout.
        if (status == 0)
            QCOMPARE(QJsonDocument::fromJson(run.out).object().value("input").toInt(), 1);
        else
            QCOMPARE(run.out, QByteArray());
        QFETCH(QString, err);
        QVERIFY2(err.isEmpty() ? run.err.isEmpty() : run.err.contains(err), qPrintable(run.err));
    }

    // A line that never falls quiet: send ends after --timeout in all, with
    // what came, and says it was cut short.
    void aStreamIsCutShort() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QTcpSocket* client = nullptr;
        connect(&server, &QTcpServer::newConnection, &server, [&] {
            client = server.nextPendingConnection();
            client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        });
        QTimer talk;
        connect(&talk, &QTimer::timeout, &server, [&] {
            if (client)
                client->write("s11\r\n");
        });
        talk.start(10);
        QProcess p;
        p.start(QStringLiteral(HDMI_CTL_PATH),
                {"-p", QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort()), "--timeout",
                 "0.3", "--json", "send", "bc"});
        const Run run = Rig::finish(p, 5000);
        QCOMPARE(run.status, 0);
        const QJsonObject o = QJsonDocument::fromJson(run.out).object();
        QVERIFY2(o.value("cut_short").toBool() && o.value("received").toArray().size() > 5,
                 run.out.constData());
        QVERIFY2(run.err.contains("warning: send: cut short: tcp://"), qPrintable(run.err));
    }

    // Either way round: the tool on a port another program holds, and
    // another program (the window's port) on one the tool holds.
    void aPortInUseIsBusy() {
        Rig r;
        QVERIFY(r.ok);
        platform::QtSerialPort other;
        QVERIFY(other.open(r.line.slavePath()));
        Run run = r.run({"status"});
        QCOMPARE(run.status, 3);
        QCOMPARE(run.err, "hdmi-matrix-ctl: status: Cannot open " + r.line.linkPath() +
                              ": port busy (another program has it open)\n");
        other.close();
        r.device.faults.silentModes = true;
        QProcess p;
        r.start(p, {"edid", "read", "1", "-o", "x.bin"});
        QVERIFY(SimHarness::waitFor([&] { return r.wire.contains("edm"); }));
        QVERIFY(!other.open(r.line.slavePath()));
        QVERIFY(other.errorText().contains("port busy"));
        QCOMPARE(Rig::finish(p).status, 1);
        QCOMPARE(r.wire, QByteArray("edm\r\nedo\r\n"));
    }

    // A backup restored onto a fresh switcher; files refused whole write
    // nothing; a switcher that goes silent is reported with what was
    // written; a stop leaves the device's mode.
    void backupAndRestore() {
        Rig a, b;
        QVERIFY(a.ok && b.ok);
        a.device.routing[1] = 6;
        for (int input : {1, 4}) {
            a.device.edid.images[input][0x12] ^= 0x10;
            edid::setChecksums(a.device.edid.images[input]);
        }
        a.device.ir.codes[9] = 0x70;
        a.device.ir.routing[2] = 5;
        a.device.settings.edidMode = 3;
        Run run = a.run({"backup", "-o", "unit.json"});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.status, 0);
        const QByteArray file = fileBytes(a.path("unit.json"));
        QVERIFY(writeFile(b.path("unit.json"), file));

        const QList<std::pair<QByteArray, QByteArray>> refused = {
            {"not JSON", file.left(file.size() / 2)},
            {"format", QByteArray(file).replace("hdmi-matrix-backup", "other")},
            {"newer", QByteArray(file).replace("\"version\": 1", "\"version\": 2")},
            {"model", QByteArray(file).replace("\"8x8\"", "\"4x4\"")},
            {"checksum", QByteArray(file).replace("00ffffffffffff00", "00ffffffffffff01")}};
        for (const auto& [why, bytes] : refused) {
            QVERIFY(writeFile(b.path("bad.json"), bytes));
            run = b.run({"restore", "bad.json"});
            QCOMPARE(run.status, 1);
            QVERIFY2(run.err.contains("nothing written"), qPrintable(why + run.err));
        }
        QCOMPARE(b.wire, QByteArray());

        run = b.run({"restore", "--dry-run", "unit.json"});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains("output 2: input 2 \u2192 input 7\n"), run.out);
        QVERIFY(run.out.contains("input 5 EDID: 2 bytes differ, the first at 0x12") &&
                run.out.contains("IR code 9"));
        QVERIFY(!b.wire.contains("wed ") && !b.wire.contains("cir "));
        run = b.run({"restore", "unit.json"});
        QCOMPARE(run.err, QString());
        QVERIFY(b.device.edid.images == a.device.edid.images &&
                b.device.ir.codes == a.device.ir.codes);
        QVERIFY(b.device.ir.routing == a.device.ir.routing && b.device.routing == a.device.routing);
        QCOMPARE(b.device.settings.edidMode, 3);

        Rig c;
        QVERIFY(c.ok && writeFile(c.path("unit.json"), file));
        c.line.onReceive = [&c](const QByteArray& bytes) {
            c.wire += bytes;
            c.device.faults.silent = c.wire.contains("swe 4 0");
            c.line.send(c.device.receive(bytes));
        };
        run = c.run({"restore", "unit.json"});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("input 5 EDID: no answer") &&
                     run.err.contains("written: input 2 EDID; not written: input 5 EDID,"),
                 qPrintable(run.err));
        QVERIFY(!c.wire.contains("cir "));
    }

    void aStoppedBackupLeavesTheMode() {
        Rig r(true);
        QVERIFY(r.ok);
        QProcess p;
        r.start(p, {"backup", "-o", "unit.json"});
        QVERIFY(SimHarness::waitFor([&] { return r.wire.contains("red 20 "); }, 10000));
        p.terminate();
        const Run run = Rig::finish(p);
        QCOMPARE(run.status, 143);
        QVERIFY2(run.err.contains("stopped by SIGTERM at input 1 EDID"), qPrintable(run.err));
        QVERIFY(r.wire.endsWith("edo\r\n"));
        QVERIFY(!QFile::exists(r.path("unit.json")));
    }

    // SIGTERM in the middle of a paced read: the exit word goes out, the
    // file is left as it was, and the status is 128 + 15.
    void anInterruptedReadLeavesTheModeAndTheFile() {
        Rig r(true);
        QVERIFY(r.ok);
        QVERIFY(writeFile(r.path("old.bin"), "old"));
        QProcess p;
        r.start(p, {"edid", "read", "2", "-o", "old.bin"});
        QVERIFY(SimHarness::waitFor([&] { return r.wire.contains("red 20 "); }, 10000));
        p.terminate();
        const Run run = Rig::finish(p);
        QCOMPARE(run.status, 143);
        QVERIFY2(run.err.contains("edid read: stopped by SIGTERM at byte 0x2"),
                 qPrintable(run.err));
        QVERIFY(SimHarness::waitFor([&] { return r.wire.endsWith("edo\r\n"); }));
        QCOMPARE(fileBytes(r.path("old.bin")), QByteArray("old"));
        QCOMPARE(QDir(r.dir.path()).entryList(QDir::Files | QDir::NoSymLinks),
                 QStringList{"old.bin"});
    }

    // On a terminal, and only there, a transfer draws its bar; the port
    // comes from COMPORT, which is only read.
    void aTerminalShowsTheBar() {
        Rig r;
        QVERIFY(r.ok);
        QVERIFY(QFile::link(r.line.slavePath(), r.path("COM4")));
        QVERIFY(writeFile(r.path("COMPORT"), " 3 \r\n"));
        QTemporaryDir ttyDir;
        sim::PtyTransport tty;
        QString error;
        QVERIFY(tty.start(ttyDir.path(), 1, &error));
        QByteArray shown;
        tty.onReceive = [&](const QByteArray& bytes) { shown += bytes; };
        QProcess p;
        p.setStandardErrorFile(tty.slavePath());
        r.start(p, {"edid", "read", "3", "-o", "in3.bin"});
        QCOMPARE(Rig::finish(p).status, 0);
        QVERIFY(SimHarness::waitFor([&] { return shown.endsWith("\r\x1b[K"); }));
        QVERIFY(shown.contains("\redid read input 3 [...............") && shown.contains(" 50%"));
        QVERIFY(shown.contains("[##############################] 100%"));
        QCOMPARE(fileBytes(r.path("COMPORT")), QByteArray(" 3 \r\n"));
    }

    // The simulator and the tool both taking --model 4x4: the tool's ranges
    // are the model's, and so are the simulator's answers.
    void aSmallerModel() {
        QProcess sim;
        sim.start(QStringLiteral(HDMI_SIM_PATH), {"--model", "4x4", "--tcp", "0", "--quiet"});
        QByteArray banner;
        QVERIFY(SimHarness::waitFor([&] {
            banner += sim.readAllStandardOutput();
            return banner.contains('\n');
        }));
        const QString target = QString::fromLatin1(banner.mid(banner.indexOf("tcp://"))).trimmed();
        const struct {
            QStringList args;
            int status;
            QByteArray out;
            QString err;
        } rows[] = {
            {{"--json", "route", "4", "2"}, 0, "{\"input\":2,\"output\":4}\n", ""},
            {{"--json", "status"}, 0, "{\"outputs\":[1,2,3,2]}\n", ""},
            {{"route", "5", "1"}, 2, "", "route: OUT must be a number from 1 to 4, not \"5\""},
        };
        QTemporaryDir dir;
        for (const auto& row : rows) {
            QProcess p;
            p.setWorkingDirectory(dir.path());
            p.start(QStringLiteral(HDMI_CTL_PATH),
                    QStringList{"--model", "4x4", "-p", target} + row.args);
            const Run run = Rig::finish(p);
            QCOMPARE(run.status, row.status);
            QCOMPARE(run.out, row.out);
            QVERIFY2(run.err.contains(row.err), qPrintable(run.err));
        }
        sim.kill();
        sim.waitForFinished();
        // A model neither knows is a usage error naming the known ones.
        for (const QString& program :
             {QStringLiteral(HDMI_CTL_PATH), QStringLiteral(HDMI_SIM_PATH)}) {
            QProcess p;
            p.setWorkingDirectory(dir.path());
            p.start(program, {"--model", "9x9", "status"});
            const Run run = Rig::finish(p);
            QCOMPARE(run.status, 2);
            QVERIFY2(run.err.contains("unknown model \"9x9\" (known: 8x8, 4x4)"),
                     qPrintable(run.err));
        }
    }

    void overTcp() {
        QTemporaryDir dir;
        QProcess sim;
        sim.start(QStringLiteral(HDMI_SIM_PATH), {"--tcp", "0", "--quiet"});
        QByteArray banner;
        QVERIFY(SimHarness::waitFor([&] {
            banner += sim.readAllStandardOutput();
            return banner.contains('\n');
        }));
        const QString target = QString::fromLatin1(banner.mid(banner.indexOf("tcp://"))).trimmed();
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(HDMI_CTL_PATH), {"--port", target, "--json", "status"});
        Run run = Rig::finish(p);
        QCOMPARE(run.out, QByteArray("{\"outputs\":[1,2,3,4,5,6,7,8]}\n"));
        p.start(QStringLiteral(HDMI_CTL_PATH), {"-p", target, "edid", "read", "5", "-o", "5.bin"});
        run = Rig::finish(p);
        QCOMPARE(run.status, 0);
        QCOMPARE(fileBytes(dir.filePath("5.bin")).size(), 256);
        sim.kill();
        sim.waitForFinished();

        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        p.start(QStringLiteral(HDMI_CTL_PATH),
                {"-p", QStringLiteral("tcp://127.0.0.1:%1").arg(port), "status"});
        run = Rig::finish(p);
        QCOMPARE(run.status, 3);
        QCOMPARE(run.err, QStringLiteral("hdmi-matrix-ctl: status: Cannot reach the server "
                                         "127.0.0.1:%1: connection refused\n")
                              .arg(port));
    }
};

QTEST_MAIN(CliEndToEnd)
#include "test_cli_end_to_end.moc"

#include "frontends/cli/command.h"

#include "core/device/terminal.h"
#include "core/network/ip_address.h"
#include "core/platform/tcp_target.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace cli {

namespace {

const QString kProgram = QStringLiteral("hdmi-matrix-ctl");

struct Synopsis {
    const char* group;
    const char* form;
    const char* what;
};

// One table for the general help and each command's usage, so that they
// cannot disagree.
const Synopsis kSynopses[] = {
    {"status", "status", "print the input shown on each of the 8 outputs"},
    {"route", "route OUT IN", "route output OUT (1-8) to input IN (1-8)"},
    {"all", "all IN", "route every output to input IN (1-8)"},
    {"preset", "preset save N", "store the routing as preset N (1-3)"},
    {"preset", "preset recall N", "recall preset N (1-3); print the routing"},
    {"send", "send TEXT...", "send TEXT and CR LF; print the lines that come back"},
    {"send", "send --hex HH...", "send the bytes HH... as they are; print the answer"},
    {"edid", "edid read IN -o FILE", "read input IN's EDID into FILE (256 bytes)"},
    {"edid", "edid write IN FILE", "download FILE (raw or hex dump) to IN, verify it"},
    {"edid", "edid decode FILE", "decode an EDID file; needs no port"},
    {"edid", "edid edit IN -o OUT ...", "fix an EDID file (edid edit --help); no port"},
    {"edid", "edid template NAME -o OUT", "write a ready EDID: 1080p-stereo, 4k30-stereo..."},
    {"ir", "ir read -o FILE", "read the 81 IR codes into FILE, one entry a line"},
    {"ir", "ir write FILE", "write, check and save the 81 IR codes of FILE"},
    {"ir", "ir route OUT IN", "route IR output OUT (1-8) to IR input IN (1-8)"},
    {"ip", "ip dhcp", "the switcher obtains its network address itself"},
    {"ip", "ip static A.B.C.D", "give the switcher a fixed network address"},
};

const char kOptions[] =
    "Options:\n"
    "  -p, --port P       COM1..COM10, a device such as /dev/ttyUSB0, or\n"
    "                     tcp://HOST:PORT; without it, the port remembered in\n"
    "                     COMPORT in the working directory, else COM1\n"
    "      --json         print one JSON object on stdout\n"
    "      --timeout S    seconds to wait for a routing, status, send or address\n"
    "                     answer (default 1)\n"
    "  -o, --output FILE  the file edid read, ir read, edid edit and edid template\n"
    "                     write\n"
    "      --hex          send: the text is hexadecimal bytes\n"
    "  -v, --verbose      say on stderr what waited on the line before the first\n"
    "                     command (it is discarded, never taken for an answer)\n"
    "  -h, --help         this text; COMMAND --help gives that command's usage\n";

const char kStatuses[] =
    "Exit status: 0 done; 1 the device failed (no answer in time, \"err\", a\n"
    "verify mismatch, the mode left or never confirmed) or a file was refused;\n"
    "2 usage error; 3 the port cannot be opened or is busy; 128+N stopped by\n"
    "signal N (130 Ctrl+C, 143 SIGTERM), after leaving the device's mode.\n";

bool isGroup(const QString& name) {
    for (const Synopsis& s : kSynopses)
        if (name == QLatin1String(s.group))
            return true;
    return false;
}

QString line(const Synopsis& s) {
    return QStringLiteral("  %1%2\n")
        .arg(QString::fromLatin1(s.form), -26)
        .arg(QString::fromLatin1(s.what));
}

QString generalHelp() {
    QString t = QStringLiteral("Usage: %1 [--port P] [--json] [--timeout S] [-v] COMMAND ...\n\n"
                               "Drives the 8x8 HDMI matrix switcher from scripts: each command "
                               "sends what\nthe window sends for the same operation.\n\n"
                               "Commands:\n")
                    .arg(kProgram);
    for (const Synopsis& s : kSynopses)
        t += line(s);
    return t + '\n' + QLatin1String(kOptions) + '\n' + QLatin1String(kStatuses);
}

QString groupUsage(const QString& group) {
    QString t;
    for (const Synopsis& s : kSynopses)
        if (group == QLatin1String(s.group))
            t += QStringLiteral("%1 %2 [options] %3\n")
                     .arg(t.isEmpty() ? QStringLiteral("Usage:") : QStringLiteral("      "),
                          kProgram, QString::fromLatin1(s.form));
    return t.isEmpty() ? QStringLiteral("Usage: %1 [options] COMMAND ...\n").arg(kProgram) : t;
}

QString groupHelp(const QString& group) {
    QString t = groupUsage(group) + '\n';
    for (const Synopsis& s : kSynopses)
        if (group == QLatin1String(s.group))
            t += line(s);
    return t + '\n' + QLatin1String(kOptions);
}

// The one spelling of numbers on the command line: decimal digits only, no
// sign, no blank before or after (a script that produces " 3" has a bug to
// be told about). A number lo..hi written as one or two decimal digits.
std::optional<int> smallNumber(const QString& text, int lo, int hi) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,2}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int v = text.toInt();
    if (v < lo || v > hi)
        return std::nullopt;
    return v;
}

// --timeout: seconds as digits with an optional decimal point and fraction,
// from 1 ms to an hour; the milliseconds.
std::optional<int> timeoutMs(const QString& text) {
    static const QRegularExpression seconds(QStringLiteral("^([0-9]+(\\.[0-9]*)?|\\.[0-9]+)$"));
    if (!seconds.match(text).hasMatch())
        return std::nullopt;
    const double ms = text.toDouble() * 1000;
    if (ms < 1 || ms > 3600 * 1000)
        return std::nullopt;
    return qRound(ms);
}

// Why an address cannot be a host's: this network (0.x.x.x), loopback,
// multicast, the reserved class E and the broadcast address. Empty for a
// host address.
QString notAHost(const network::Octets& a) {
    if (a[0] == 0)
        return QStringLiteral("0.x.x.x means this network, not a host");
    if (a[0] == 127)
        return QStringLiteral("127.x.x.x is the loopback network");
    if (a[0] >= 224 && a[0] <= 239)
        return QStringLiteral("224.x.x.x to 239.x.x.x are multicast groups");
    if (a == network::Octets{255, 255, 255, 255})
        return QStringLiteral("255.255.255.255 is the broadcast address");
    if (a[0] >= 240)
        return QStringLiteral("240.x.x.x and above are reserved");
    return {};
}

QString portProblem(const QString& port) {
    static const QRegularExpression com(QStringLiteral("^COM([0-9]+)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (port.isEmpty())
        return QStringLiteral("--port needs COM1..COM10, a device or tcp://HOST:PORT");
    if (const QRegularExpressionMatch m = com.match(port); m.hasMatch()) {
        if (!smallNumber(m.captured(1), 1, 10))
            return QStringLiteral("--port: %1 is not one of COM1 to COM10").arg(port);
        return {};
    }
    if (platform::isNetworkTarget(port)) {
        const platform::TcpTarget t = platform::parseTcpTarget(port);
        if (!t.isValid())
            return QStringLiteral("--port: %1").arg(t.error);
    }
    return {};
}

// The address as the address window sends it, or why it is none. The
// window ignores parts after the fourth and blanks around a part; a script
// that gives them has made a mistake, so here they are refused.
QString addressProblem(const QString& text, QString* address) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return QStringLiteral("ip static: \"%1\" is not an address A.B.C.D").arg(text);
    static const QRegularExpression octet(QStringLiteral("^[0-9]{1,3}$"));
    for (int i = 0; i < 4; ++i)
        if (!octet.match(parts[i]).hasMatch() || parts[i].toInt() > 255)
            return QStringLiteral("ip static: part %1 of \"%2\" (\"%3\") must be a number "
                                  "from 0 to 255")
                .arg(i + 1)
                .arg(text, parts[i]);
    const network::ParsedAddress a = network::parseAddress(text);
    if (const QString why = notAHost(a.octets); !why.isEmpty())
        return QStringLiteral("ip static: %1 cannot be the switcher's address: %2").arg(text, why);
    *address = QStringLiteral("%1.%2.%3.%4")
                   .arg(a.octets[0])
                   .arg(a.octets[1])
                   .arg(a.octets[2])
                   .arg(a.octets[3]);
    return {};
}

} // namespace

QString verbName(Verb verb) {
    switch (verb) {
    case Verb::Status:
        return QStringLiteral("status");
    case Verb::Route:
        return QStringLiteral("route");
    case Verb::All:
        return QStringLiteral("all");
    case Verb::PresetSave:
        return QStringLiteral("preset save");
    case Verb::PresetRecall:
        return QStringLiteral("preset recall");
    case Verb::Send:
        return QStringLiteral("send");
    case Verb::EdidRead:
        return QStringLiteral("edid read");
    case Verb::EdidWrite:
        return QStringLiteral("edid write");
    case Verb::EdidDecode:
        return QStringLiteral("edid decode");
    case Verb::IrRead:
        return QStringLiteral("ir read");
    case Verb::IrWrite:
        return QStringLiteral("ir write");
    case Verb::IrRoute:
        return QStringLiteral("ir route");
    case Verb::IpDhcp:
        return QStringLiteral("ip dhcp");
    case Verb::IpStatic:
        break;
    }
    return QStringLiteral("ip static");
}

Parsed parseArguments(const QStringList& arguments) {
    QCommandLineParser p;
    const QCommandLineOption portOption({"p", "port"}, {}, "P");
    const QCommandLineOption jsonOption("json");
    const QCommandLineOption timeoutOption("timeout", {}, "S");
    const QCommandLineOption outputOption({"o", "output"}, {}, "FILE");
    const QCommandLineOption hexOption("hex");
    const QCommandLineOption helpOption(QStringList{"h", "help"});
    const QCommandLineOption verboseOption(QStringList{"v", "verbose"});
    p.addOptions({portOption, jsonOption, timeoutOption, outputOption, hexOption, helpOption,
                  verboseOption});

    Parsed r;
    const QStringList a = p.parse(arguments) ? p.positionalArguments() : QStringList();
    const QString group = a.value(0);
    const auto fail = [&](const QString& error) {
        r.error = error;
        r.usage = groupUsage(group);
        return r;
    };
    if (!p.errorText().isEmpty())
        return fail(p.errorText());
    if (p.isSet(helpOption) || group == QLatin1String("help")) {
        const QString topic = group == QLatin1String("help") ? a.value(1) : group;
        r.help = isGroup(topic) ? groupHelp(topic) : generalHelp();
        return r;
    }
    if (group.isEmpty())
        return fail(QStringLiteral("no command given (try --help)"));
    if (!isGroup(group))
        return fail(QStringLiteral("unknown command \"%1\" (try --help)").arg(group));

    Command c;
    c.json = p.isSet(jsonOption);
    c.verbose = p.isSet(verboseOption);
    if (p.isSet(portOption)) {
        c.port = p.value(portOption);
        if (const QString problem = portProblem(c.port); !problem.isEmpty())
            return fail(problem);
    }
    if (p.isSet(timeoutOption)) {
        const std::optional<int> ms = timeoutMs(p.value(timeoutOption));
        if (!ms)
            return fail(QStringLiteral("--timeout takes seconds from 0.001 up to 3600, written "
                                       "as digits with an optional decimal point, not \"%1\"")
                            .arg(p.value(timeoutOption)));
        c.timeoutMs = *ms;
    }

    // The words after the command (and its sub-command, when it has one).
    const bool twoWords = group == QLatin1String("preset") || group == QLatin1String("edid") ||
                          group == QLatin1String("ir") || group == QLatin1String("ip");
    const QString sub = twoWords ? a.value(1) : QString();
    const QStringList args = a.mid(twoWords ? 2 : 1);
    const QString name = twoWords ? group + ' ' + sub : group;
    struct Form {
        const char* group;
        const char* sub;
        Verb verb;
        const char* words; // the arguments it takes, as its usage names them
    };
    static const Form forms[] = {
        {"status", "", Verb::Status, ""},
        {"route", "", Verb::Route, "OUT IN"},
        {"all", "", Verb::All, "IN"},
        {"preset", "save", Verb::PresetSave, "N"},
        {"preset", "recall", Verb::PresetRecall, "N"},
        {"send", "", Verb::Send, "TEXT..."},
        {"edid", "read", Verb::EdidRead, "IN"},
        {"edid", "write", Verb::EdidWrite, "IN FILE"},
        {"edid", "decode", Verb::EdidDecode, "FILE"},
        {"ir", "read", Verb::IrRead, ""},
        {"ir", "write", Verb::IrWrite, "FILE"},
        {"ir", "route", Verb::IrRoute, "OUT IN"},
        {"ip", "dhcp", Verb::IpDhcp, ""},
        {"ip", "static", Verb::IpStatic, "A.B.C.D"},
    };
    const Form* form = nullptr;
    for (const Form& f : forms)
        if (group == QLatin1String(f.group) && sub == QLatin1String(f.sub))
            form = &f;
    if (!form)
        return fail(sub.isEmpty()
                        ? QStringLiteral("%1 needs a sub-command").arg(group)
                        : QStringLiteral("%1: unknown sub-command \"%2\"").arg(group, sub));
    c.verb = form->verb;
    const QStringList words = QString::fromLatin1(form->words).split(' ', Qt::SkipEmptyParts);
    const bool rest = words.value(0).endsWith(QLatin1String("..."));
    if (args.size() < words.size())
        return fail(QStringLiteral("%1 needs %2").arg(name, QLatin1String(form->words)));
    if (!rest && args.size() > words.size())
        return fail(QStringLiteral("%1: unexpected argument \"%2\"").arg(name, args[words.size()]));

    const bool reads = c.verb == Verb::EdidRead || c.verb == Verb::IrRead;
    if (p.isSet(outputOption) != reads)
        return fail(reads ? QStringLiteral("%1 needs -o FILE").arg(name)
                          : QStringLiteral("-o is for edid read and ir read only"));
    if (reads) {
        if (p.values(outputOption).size() > 1)
            return fail(QStringLiteral("%1: -o given %2 times; a read writes one file")
                            .arg(name)
                            .arg(p.values(outputOption).size()));
        c.file = p.value(outputOption);
        if (c.file.isEmpty())
            return fail(QStringLiteral("%1: -o needs a file name").arg(name));
        if (c.file == QLatin1String("-") && c.json)
            return fail(QStringLiteral("%1: -o - and --json would both write to standard output")
                            .arg(name));
    }
    if (p.isSet(hexOption) && c.verb != Verb::Send)
        return fail(QStringLiteral("--hex is for send only"));

    for (int i = 0; i < words.size() && !rest; ++i) {
        const QString& w = words[i];
        const QString& v = args[i];
        if (w == QLatin1String("FILE")) {
            if (v.isEmpty())
                return fail(QStringLiteral("%1: FILE is empty").arg(name));
            c.file = v;
            continue;
        }
        if (w == QLatin1String("A.B.C.D")) {
            if (const QString problem = addressProblem(v, &c.address); !problem.isEmpty())
                return fail(problem);
            continue;
        }
        const int hi = w == QLatin1String("N") ? 3 : 8;
        const std::optional<int> n = smallNumber(v, 1, hi);
        if (!n)
            return fail(QStringLiteral("%1: %2 must be a number from 1 to %3, not \"%4\"")
                            .arg(name, w)
                            .arg(hi)
                            .arg(v));
        (w == QLatin1String("OUT") ? c.output : w == QLatin1String("N") ? c.preset : c.input) = *n;
    }

    if (c.verb == Verb::Send) {
        const QString text = args.join(QLatin1Char(' '));
        if (p.isSet(hexOption)) {
            // The window's hexadecimal mode lets nothing else be typed.
            static const QRegularExpression hexText(QStringLiteral("^[0-9A-Fa-f \\t]*$"));
            if (!hexText.match(text).hasMatch())
                return fail(QStringLiteral("send --hex: \"%1\" holds more than hexadecimal "
                                           "digits and blanks")
                                .arg(text));
            c.bytes = device::hexTextToBytes(text);
            if (c.bytes.isEmpty())
                return fail(QStringLiteral("send --hex needs HH..."));
        } else {
            if (text.isEmpty())
                return fail(QStringLiteral("send needs TEXT..."));
            // Typed into the send box and ended with Enter: every line end
            // is CR LF on the wire.
            const bool ended = text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r'));
            c.bytes = device::sendBoxBytes(ended ? text : text + QLatin1Char('\n'));
        }
    }
    r.command = c;
    return r;
}

} // namespace cli

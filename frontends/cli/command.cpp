#include "frontends/cli/command.h"

#include "core/cmdline/option_help.h"
#include "core/platform/port_names.h"
#include "core/protocol/model.h"
#include "core/protocol/numbers.h"

#include "core/device/terminal.h"
#include "core/network/ip_address.h"
#include "core/platform/tcp_target.h"
#include "frontends/cli/edid_edit.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <algorithm>

namespace cli {

namespace {

const QString kProgram = QStringLiteral("hdmi-matrix-ctl");

// Every command's form: its words, the file -o names (for a command that
// writes one) and what it does. One table for the parser, the general help
// and each command's usage, so that they cannot disagree.
struct Form {
    const char* group;
    const char* sub;
    Verb verb;
    const char* words; // the arguments it takes, as its usage names them
    const char* output;
    const char* what; // {O}, {I}, {P}, {R}, {E}: the model's counts
};

const Form kForms[] = {
    {"status", "", Verb::Status, "", nullptr, "print the input shown on each of the {O} outputs"},
    {"route", "", Verb::Route, "OUT IN", nullptr, "route output OUT (1-{O}) to input IN (1-{I})"},
    {"all", "", Verb::All, "IN", nullptr, "route every output to input IN (1-{I})"},
    {"preset", "save", Verb::PresetSave, "N", nullptr, "store the routing as preset N (1-{P})"},
    {"preset", "recall", Verb::PresetRecall, "N", nullptr,
     "recall preset N (1-{P}); print the routing"},
    {"send", "", Verb::Send, "TEXT...", nullptr,
     "send TEXT and CR LF; print the lines that come back"},
    // Only for the help: --hex is an option of send.
    {"send", "--hex", Verb::Send, "HH...", nullptr,
     "send the bytes HH... as they are; print the answer"},
    {"edid", "read", Verb::EdidRead, "IN", "FILE", "read input IN's EDID into FILE (256 bytes)"},
    {"edid", "write", Verb::EdidWrite, "IN FILE", nullptr,
     "download FILE (raw or hex dump) to IN, verify it"},
    {"edid", "decode", Verb::EdidDecode, "FILE", nullptr, "decode an EDID file; needs no port"},
    {"edid", "edit", Verb::EdidEdit, "IN", "OUT", "fix an EDID file (edid edit --help); no port"},
    {"edid", "template", Verb::EdidTemplate, "NAME", "OUT",
     "write a ready EDID: 1080p-stereo, 4k30-stereo..."},
    {"ir", "read", Verb::IrRead, "", "FILE", "read the {E} IR codes into FILE, one entry a line"},
    {"ir", "write", Verb::IrWrite, "FILE", nullptr,
     "write, check and save the {E} IR codes of FILE"},
    {"ir", "route", Verb::IrRoute, "OUT IN", nullptr,
     "route IR output OUT (1-{R}) to IR input IN (1-{R})"},
    {"ip", "dhcp", Verb::IpDhcp, "", nullptr, "the switcher obtains its network address itself"},
    {"ip", "static", Verb::IpStatic, "A.B.C.D", nullptr,
     "give the switcher a fixed network address"},
    {"backup", "", Verb::Backup, "", "FILE",
     "read routing, EDIDs, IR codes and routing, settings into FILE"},
    {"restore", "", Verb::Restore, "FILE", nullptr,
     "write what differs from FILE (backup's file) to the switcher"},
};

const Form* formOf(const QString& group, const QString& sub) {
    for (const Form& f : kForms)
        if (group == QLatin1String(f.group) && sub == QLatin1String(f.sub))
            return &f;
    return nullptr;
}

bool isEdit(Verb verb) {
    return verb == Verb::EdidEdit || verb == Verb::EdidTemplate;
}

// "edid read IN -o FILE"
QString synopsis(const Form& f) {
    QStringList parts{QLatin1String(f.group)};
    for (const char* part : {f.sub, f.words})
        if (*part)
            parts << QLatin1String(part);
    if (f.output)
        parts << QStringLiteral("-o") << QLatin1String(f.output);
    if (f.verb == Verb::EdidEdit)
        parts << QStringLiteral("...");
    return parts.join(QLatin1Char(' '));
}

const char kStatuses[] =
    "Exit status: 0 done; 1 the device failed (no answer in time, \"err\", a\n"
    "verify mismatch, the mode left or never confirmed) or a file was refused;\n"
    "2 usage error; 3 the port cannot be opened or is busy, or the server closed\n"
    "the connection at once; 128+N stopped by signal N (130 Ctrl+C, 143 SIGTERM),\n"
    "after leaving the device's mode.\n";

QCommandLineOption option(const QStringList& names, const char* value, const char* description) {
    QCommandLineOption o(names, QString::fromUtf8(description));
    if (value)
        o.setValueName(QLatin1String(value));
    return o;
}

// The tool's own options, in the order its help lists them; each
// description is the help's text, a line for each line. --model's names
// the models the program knows.
QList<QCommandLineOption> toolOptions() {
    return {
        option({"p", "port"}, "P",
               "COM1..COM10, a device such as /dev/ttyUSB0, or\ntcp://HOST:PORT; without it, the "
               "port remembered in\nCOMPORT in the working directory, else COM1"),
        option({"json"}, nullptr, "print one JSON object on stdout"),
        option({"timeout"}, "S",
               "seconds to wait for a routing, status, send or address\nanswer (default 1)"),
        option({"o", "output"}, "FILE",
               "the file edid read, ir read, edid edit, edid template\nand backup write"),
        option({"presets"}, nullptr,
               "backup: recall each preset to read it (every output\nswitches briefly), then "
               "put the routing back"),
        option({"dry-run"}, nullptr, "restore: print what differs, one a line; write nothing"),
        option({"only"}, "LIST", "restore: only routing, edid, ir, settings (comma list)"),
        option({"hex"}, nullptr, "send: the text is hexadecimal bytes"),
        option({"v", "verbose"}, nullptr,
               "say on stderr what waited on the line before the first\ncommand (it is "
               "discarded, never taken for an answer)"),
        option({"h", "help"}, nullptr, "this text; COMMAND --help gives that command's usage"),
        QCommandLineOption(QStringList{QStringLiteral("model")},
                           QStringLiteral("the switcher's model: %1 (default %2)")
                               .arg(protocol::Model::names().join(QStringLiteral(", ")),
                                    protocol::Model::standard().name),
                           QStringLiteral("M")),
    };
}

QString options() {
    return QStringLiteral("Options:\n") +
           cmdline::optionLines(toolOptions(), {.column = 21, .alignLongNames = true});
}

bool isGroup(const QString& name) {
    return std::any_of(std::begin(kForms), std::end(kForms),
                       [&](const Form& f) { return name == QLatin1String(f.group); });
}

// A form's text with the model's counts in place of {O}, {I}, {P}, {R}, {E}.
QString what(const Form& f, const protocol::Model& m) {
    QString t = QLatin1String(f.what);
    const std::pair<const char*, int> counts[] = {{"{O}", m.outputs},
                                                  {"{I}", m.inputs},
                                                  {"{P}", m.presets},
                                                  {"{R}", m.irPorts},
                                                  {"{E}", m.irCodeEntries}};
    for (const auto& [token, n] : counts)
        t.replace(QLatin1String(token), QString::number(n));
    return t;
}

QString line(const Form& f, const protocol::Model& m) {
    return QStringLiteral("  %1%2\n").arg(synopsis(f), -26).arg(what(f, m));
}

QString generalHelp(const protocol::Model& m) {
    QString t = QStringLiteral(
                    "Usage: %1 [--port P] [--model M] [--json] [--timeout S] [-v] COMMAND ...\n\n"
                    "Drives the %2 HDMI matrix switcher from scripts: each command "
                    "sends what\nthe window sends for the same operation.\n\n"
                    "Commands:\n")
                    .arg(kProgram, m.name);
    for (const Form& f : kForms)
        t += line(f, m);
    return t + '\n' + options() + '\n' + QLatin1String(kStatuses);
}

QString groupUsage(const QString& group) {
    QString t;
    for (const Form& f : kForms)
        if (group == QLatin1String(f.group))
            t += QStringLiteral("%1 %2 [options] %3\n")
                     .arg(t.isEmpty() ? QStringLiteral("Usage:") : QStringLiteral("      "),
                          kProgram, synopsis(f));
    return t.isEmpty() ? QStringLiteral("Usage: %1 [options] COMMAND ...\n").arg(kProgram) : t;
}

QString groupHelp(const QString& group, const protocol::Model& m) {
    QString t = groupUsage(group) + '\n';
    for (const Form& f : kForms)
        if (group == QLatin1String(f.group))
            t += line(f, m);
    return t + '\n' + options();
}

// "help", "-h": the general help, a group's, or edid edit's.
QString helpText(const QString& group, const QString& sub, const protocol::Model& m) {
    const Form* form = formOf(group, sub);
    return form && isEdit(form->verb) ? editUsage(true)
           : isGroup(group)           ? groupHelp(group, m)
                                      : generalHelp(m);
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
    if (port.isEmpty())
        return QStringLiteral("--port needs COM1..COM10, a device or tcp://HOST:PORT");
    if (const int n = platform::comNumber(port); n != 0)
        return n < 0 ? QStringLiteral("--port: %1 is not one of COM1 to COM10").arg(port)
                     : QString();
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

// The options into c; the first one wrong, or given to a command that
// takes no such option, is the error.
QString readOptions(const QCommandLineParser& p, const Form& form, Command& c) {
    const QString name = verbName(c.verb);
    c.json = p.isSet("json");
    c.verbose = p.isSet("verbose");
    if (p.isSet("port")) {
        c.port = p.value("port");
        if (const QString problem = portProblem(c.port); !problem.isEmpty())
            return problem;
    }
    if (p.isSet("timeout")) {
        const std::optional<int> ms = timeoutMs(p.value("timeout"));
        if (!ms)
            return QStringLiteral("--timeout takes seconds from 0.001 up to 3600, written as "
                                  "digits with an optional decimal point, not \"%1\"")
                .arg(p.value("timeout"));
        c.timeoutMs = *ms;
    }
    if (p.isSet("output") != bool(form.output))
        return form.output ? QStringLiteral("%1 needs -o %2").arg(name, form.output)
                           : QStringLiteral("-o is for edid read, ir read and backup only (and "
                                            "edid edit and edid template)");
    if (form.output) {
        if (p.values("output").size() > 1)
            return QStringLiteral("%1: -o given %2 times; it writes one file")
                .arg(name)
                .arg(p.values("output").size());
        c.file = p.value("output");
        if (c.file.isEmpty())
            return QStringLiteral("%1: -o needs a file name").arg(name);
        if (c.file == QLatin1String("-") && c.json)
            return QStringLiteral("%1: -o - and --json would both write to standard output")
                .arg(name);
    }
    if (p.isSet("hex") && c.verb != Verb::Send)
        return QStringLiteral("--hex is for send only");
    if (c.verb == Verb::EdidTemplate && c.json)
        return QStringLiteral("edid template takes no --json");
    c.presets = p.isSet("presets");
    c.dryRun = p.isSet("dry-run");
    if (c.presets && c.verb != Verb::Backup)
        return QStringLiteral("--presets is for backup only");
    if ((c.dryRun || p.isSet("only")) && c.verb != Verb::Restore)
        return QStringLiteral("--%1 is for restore only")
            .arg(c.dryRun ? QStringLiteral("dry-run") : QStringLiteral("only"));
    if (p.isSet("only")) {
        const std::optional<backup::Parts> parts = backup::parseParts(p.value("only"));
        if (!parts)
            return QStringLiteral("--only takes a comma list of routing, edid, ir, settings, "
                                  "not \"%1\"")
                .arg(p.value("only"));
        c.parts = *parts;
    }
    return readEdits(p, c.verb, &c.edits);
}

// send: the bytes of its words, as the terminal's text or hexadecimal mode
// makes them.
QString readSendText(const QString& text, bool hex, Command& c) {
    if (hex) {
        // The window's hexadecimal mode lets nothing else be typed.
        static const QRegularExpression hexText(QStringLiteral("^[0-9A-Fa-f \\t]*$"));
        if (!hexText.match(text).hasMatch())
            return QStringLiteral("send --hex: \"%1\" holds more than hexadecimal digits and "
                                  "blanks")
                .arg(text);
        c.bytes = device::hexTextToBytes(text);
        return c.bytes.isEmpty() ? QStringLiteral("send --hex needs HH...") : QString();
    }
    if (text.isEmpty())
        return QStringLiteral("send needs TEXT...");
    // Typed into the send box and ended with Enter: every line end is CR LF
    // on the wire.
    const bool ended = text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r'));
    c.bytes = device::sendBoxBytes(ended ? text : text + QLatin1Char('\n'));
    return {};
}

// The words after the command (and its sub-command) into c.
QString readWords(const Form& form, const QStringList& args, Command& c, bool hex) {
    const QString name = verbName(c.verb);
    const QStringList words = QString::fromLatin1(form.words).split(' ', Qt::SkipEmptyParts);
    if (c.verb == Verb::Send)
        return readSendText(args.join(QLatin1Char(' ')), hex, c);
    if (args.size() < words.size())
        return QStringLiteral("%1 needs %2").arg(name, QLatin1String(form.words));
    if (args.size() > words.size())
        return QStringLiteral("%1: unexpected argument \"%2\"").arg(name, args[words.size()]);
    for (int i = 0; i < words.size(); ++i) {
        const QString& w = words[i];
        const QString& v = args[i];
        // edid edit's IN is a file, edid template's NAME a template.
        const bool source = isEdit(c.verb);
        if (w == QLatin1String("FILE") || source) {
            if (v.isEmpty())
                return QStringLiteral("%1: %2 is empty").arg(name, w);
            (source ? c.source : c.file) = v;
            continue;
        }
        if (w == QLatin1String("A.B.C.D")) {
            if (const QString why = addressProblem(v, &c.address); !why.isEmpty())
                return why;
            continue;
        }
        const int hi = w == QLatin1String("N")     ? c.model.presets
                       : c.verb == Verb::IrRoute   ? c.model.irPorts
                       : w == QLatin1String("OUT") ? c.model.outputs
                                                   : c.model.inputs;
        const int n = protocol::portNumber(v, hi);
        if (!n)
            return QStringLiteral("%1: %2 must be a number from 1 to %3, not \"%4\"")
                .arg(name, w)
                .arg(hi)
                .arg(v);
        (w == QLatin1String("OUT") ? c.output : w == QLatin1String("N") ? c.preset : c.input) = n;
    }
    if (c.verb == Verb::EdidTemplate && !edid::templateNames().contains(c.source))
        return QStringLiteral("edid template: no template \"%1\" (%2)")
            .arg(c.source, edid::templateNames().join(QStringLiteral(", ")));
    return {};
}

} // namespace

QString verbName(Verb verb) {
    for (const Form& f : kForms)
        if (f.verb == verb)
            return *f.sub
                       ? QStringLiteral("%1 %2").arg(QLatin1String(f.group), QLatin1String(f.sub))
                       : QLatin1String(f.group);
    return {};
}

Parsed parseArguments(const QStringList& arguments) {
    QCommandLineParser p;
    p.addOptions(toolOptions());
    p.addOptions(editOptions());

    Parsed r;
    const QStringList a = p.parse(arguments) ? p.positionalArguments() : QStringList();
    const QString group = a.value(0);
    const bool twoWords = !formOf(group, {});
    const QString sub = twoWords ? a.value(1) : QString();
    const Form* form = formOf(group, sub);
    const auto fail = [&](const QString& error) {
        r.error = error;
        r.usage = form && isEdit(form->verb) ? editUsage(false) : groupUsage(group);
        return r;
    };
    if (!p.errorText().isEmpty())
        return fail(p.errorText());
    Command c;
    if (p.isSet("model")) {
        const protocol::Model* model = protocol::Model::find(p.value("model"));
        if (!model)
            return fail(QStringLiteral("--model: ") +
                        protocol::Model::unknownMessage(p.value("model")));
        c.model = *model;
    }
    if (p.isSet("help") || group == QLatin1String("help")) {
        const QStringList topic = group == QLatin1String("help") ? a.mid(1) : a;
        r.help = helpText(topic.value(0), topic.value(1), c.model);
        return r;
    }
    if (group.isEmpty())
        return fail(QStringLiteral("no command given (try --help)"));
    if (!isGroup(group))
        return fail(QStringLiteral("unknown command \"%1\" (try --help)").arg(group));
    if (!form)
        return fail(sub.isEmpty()
                        ? QStringLiteral("%1 needs a sub-command").arg(group)
                        : QStringLiteral("%1: unknown sub-command \"%2\"").arg(group, sub));
    c.verb = form->verb;
    if (const QString why = readOptions(p, *form, c); !why.isEmpty())
        return fail(why);
    if (const QString why = readWords(*form, a.mid(twoWords ? 2 : 1), c, p.isSet("hex"));
        !why.isEmpty())
        return fail(why);
    r.command = c;
    return r;
}

} // namespace cli

#pragma once

#include "core/backup/backup_file.h"
#include "core/edid/edit/edid_edit.h"

#include "core/protocol/model.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The command line of hdmi-matrix-ctl, read into one plain struct before
// anything touches the port: a usage error never writes a byte.
namespace cli {

// Exit statuses. An interrupted run ends 128 + the signal's number, as a
// shell reports a program a signal stopped.
enum ExitStatus {
    kDone = 0,
    kFailed = 1,     // the device failed, or a file's content was refused
    kUsage = 2,      // the command line is wrong
    kPortFailed = 3, // the port cannot be opened or is in use
};
inline int interruptedStatus(int signalNumber) {
    return 128 + signalNumber;
}

enum class Verb {
    Status,
    Route,
    All,
    PresetSave,
    PresetRecall,
    Send,
    EdidRead,
    EdidWrite,
    EdidDecode,
    EdidEdit,
    EdidTemplate,
    IrRead,
    IrWrite,
    IrRoute,
    IpDhcp,
    IpStatic,
    Backup,
    Restore,
};

struct Command {
    Verb verb = Verb::Status;
    QString port;         // as given; empty: the one COMPORT remembers
    bool json = false;    // one JSON object on stdout instead of plain lines
    bool verbose = false; // say what was discarded from the line before the first command
    // The switcher's model (--model): the ranges below and the commands.
    protocol::Model model = protocol::Model::standard();
    int timeoutMs = protocol::kRoutingTimeoutMs; // for a routing, status, send or address answer
    int output = 0;                              // route, ir route: from 1
    int input = 0;                               // route, all, edid read/write, ir route: from 1
    int preset = 0;                              // from 1
    QByteArray bytes;                            // send: what goes on the wire
    QString file;                                // the file read (write, decode) or written (-o)
    QString address;                             // ip static: A.B.C.D, each part 0..255
    // edid edit: the file IN and the edits; edid template: the NAME in source.
    QString source;
    QList<edid::Edit> edits;
    // backup --presets: every preset recalled and read.
    bool presets = false;
    // restore: --dry-run prints what differs; --only the parts written.
    bool dryRun = false;
    backup::Parts parts;
};

// What the command line asks for: a command to run, a help text for stdout,
// or a usage error (one line) with the usage of the command concerned.
struct Parsed {
    std::optional<Command> command;
    QString help;
    QString error;
    QString usage;
};

// arguments[0] is the program, as QCoreApplication::arguments() gives it.
Parsed parseArguments(const QStringList& arguments);

// "edid read", "status", ...: how messages name the command.
QString verbName(Verb verb);

} // namespace cli

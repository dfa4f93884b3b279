#pragma once

#include "core/protocol/commands.h"

#include <QString>

// The switcher's reply lines, read into typed events. Every line the
// connection cuts from the byte stream is read here once; the reply router
// and the requests act on the event, the features on its fields. The line
// itself stays with the event (with its terminator, as it came), for the
// receive log and for the features that take a value out of it.
namespace protocol {

struct Reply {
    enum class Kind {
        RoutingReport,   // "sOI": output O shows input I (one digit each)
        IrRoutingReport, // "srp O I": IR output O carries IR input I
        ModeEcho,        // an entry or exit word of a mode, echoed
        Ack,             // "Ack": a command was done
        Err,             // "err": a command was refused
        Ready,           // "rdy": an EDID port is open for the transfer
        ByteAnswer,      // "ok ...": an EDID byte written or read
        IrCodeAnswer,    // "rok", "wok", "rir": an IR code read, written, learned
        SettingsReply,   // a settings value or confirmation
        Other,           // anything else: the terminal's text
    };
    // Which settings reply (Kind::SettingsReply).
    enum class Setting { LongCable, EdidMode, WorkMode, Equalizer, Utp, EdidCopy, Reset };
    // Which IR code answer (Kind::IrCodeAnswer).
    enum class IrCode { Read, Written, Learned };

    Kind kind = Kind::Other;
    QString line;
    // RoutingReport: the output's and the input's digits, 0..9 (the
    // switcher counts from 1).
    int output = 0;
    int input = 0;
    // IrRoutingReport: the characters at positions 6 and 9, where the
    // device places the IR output and input (0-based digits, when it sends
    // digits at all).
    QString irOutput;
    QString irInput;
    // ModeEcho.
    Mode mode = Mode::Setup;
    bool entry = false;
    Setting setting = Setting::LongCable;
    IrCode irCode = IrCode::Read;

    bool isEcho(Mode m, bool entryWord) const {
        return kind == Kind::ModeEcho && mode == m && entry == entryWord;
    }
};

Reply parseReply(const QString& line);

} // namespace protocol

#pragma once

#include <QMetaType>
#include <QString>
#include <optional>

namespace transfer {

// How a transfer with the device (an EDID image, the IR code table) ended.
// The front ends give each kind their own words: the windows the status
// texts and boxes the operator knows, the tool its messages.
enum class Error {
    None,
    TimedOut,       // an answer did not come within its time
    DeviceError,    // the device answered with something other than the answer
    OutOfStep,      // an answer came that no command waited for
    VerifyMismatch, // what was read back differs from what was written
    NotEdid,        // the image read has no EDID header
    BadChecksum,    // a block of the image read fails its checksum
    WriteFailed,    // a command could not be written to the port
    ModeLeft,       // the device left the mode during the transfer
    Stopped,        // the front end ended it (its window closed)
};

// The part of a transfer it stood in.
enum class Phase {
    Download, // EDID bytes written
    Read,     // EDID bytes or IR codes read
    Verify,   // the EDID bytes read back after a download
    Write,    // IR codes written
    Check,    // the IR codes read back after a write
};

struct Outcome {
    Error error = Error::None;
    Phase phase = Phase::Read;
    // The byte or entry the transfer stood at; -1 before the first.
    int index = -1;
    // The reply line that ended it, without its terminator; empty when none
    // did (a time-out, a failed write).
    QString lastLine;
    // For a mismatch: the value written and the value read back at index
    // (nothing where the answer held no value).
    std::optional<int> written;
    std::optional<int> readBack;

    bool ok() const { return error == Error::None; }
};

} // namespace transfer

Q_DECLARE_METATYPE(transfer::Outcome)
Q_DECLARE_METATYPE(transfer::Phase)

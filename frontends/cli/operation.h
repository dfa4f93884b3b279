#pragma once

#include "core/device/mode_session.h"
#include "core/files/write_file.h"
#include "frontends/cli/command.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace device {
class Switcher;
}
namespace platform {
class Platform;
class Timer;
} // namespace platform

namespace cli {

class Console;

// What an operation works with: the device core on an open port, the
// machine's timers, the command and where to print.
struct Context {
    device::Switcher& device;
    platform::Platform& platform;
    const Command& command;
    Console& console;
    QString port; // how messages name the port
};

// One command run against the device, driven by the core's signals: it
// starts, the device's answers (or a time-out) carry it on, and it ends by
// emitting finished() with the exit status, exactly once.
class Operation : public QObject {
    Q_OBJECT
public:
    explicit Operation(const Context& context);

    // Before the port opens: the files it reads are read and checked, the
    // file it writes is made ready. False once it failed; nothing has then
    // touched the port. While waitingToStart(), startable() follows.
    virtual bool prepare() { return true; }
    bool waitingToStart() const { return waitingForReader_; }
    // The port is open.
    virtual void start() = 0;
    // A signal asks the program to stop.
    virtual void interrupt(int signalNumber);
    // Prints "COMMAND: message" on stderr and ends with the status.
    void fail(const QString& message, int status = kFailed);
    bool over() const { return over_; }
    // The status it ended with, once over().
    int status() const { return status_; }

signals:
    void finished(int status);
    void startable();

protected:
    // How long a named pipe given to -o may have no reader, and how often
    // it is tried meanwhile.
    static constexpr int kPipeWaitMs = 2000;
    static constexpr int kPipeRetryMs = 50;
    // Opens the file -o names before the port opens. A named pipe no
    // program reads yet is tried again until kPipeWaitMs have passed, then
    // refused; the run starts (startable()) once it is open. False once
    // the run failed.
    bool openOutput(files::OutputFile& file);

    // Ends the run: wrapUp(), then finished(), at once or, when wrapUp()
    // returned false, once release() is called.
    void finish(int status);
    // Whatever must happen before the run ends, however it ends; false when
    // the end must wait for release().
    virtual bool wrapUp() { return true; }
    void release();
    // A one-shot timer of the machine (so that tests could drive it).
    platform::Timer* oneShot(int ms);
    // "1 s", "0.5 s": how messages give the time-out.
    QString timeoutText() const;

    Context c_;

private:
    bool over_ = false;
    bool released_ = false;
    platform::Timer* outputWait_ = nullptr;
    int pipeTries_ = 0;
    bool waitingForReader_ = false;
    int status_ = kDone;
};

// An operation inside one of the device's modes, in the core's mode session
// (device::ModeSession): the entry word, the wait for its echo, the work,
// and the exit word however the work ends (done, failed, the device gone
// silent, interrupted).
//
// A missing echo is fatal. The device answers transfer commands only in
// the mode, and an echo that came late would be taken for the first answer
// of the transfer; a script is better told at once that the device is not
// listening than left to a transfer that fails further on.
//
// Once the entry was confirmed, the run ends only when the exit word's echo
// came too (or kExitEchoMs passed): the device is out of the mode before
// the next command of a script starts, and the echo is not left on the line
// for that command to read.
class ModeOperation : public Operation {
public:
    using Mode = device::DeviceModes::Mode;
    static constexpr int kExitEchoMs = 1000;
    ModeOperation(const Context& context, Mode mode);
    void start() final;
    void interrupt(int signalNumber) override;

protected:
    // The device echoed the entry word: the work starts.
    virtual void confirmed() = 0;
    // Stops the core's part of the work, without a word to the device.
    virtual void stopWork() = 0;
    // Where the work stands, for a message: "at byte 0x50", or empty.
    virtual QString progressText() const { return {}; }
    bool wrapUp() override;
    QString modeName() const;
    // The last reply line of the run, without its terminator.
    QString lastLine() const { return lastLine_; }
    // Runs then once the reply line being handled (if any) counts as
    // lastLine(): the core reports a line before this sees it.
    void failAfterLine(std::function<void()> then);

    Mode mode_;

private:
    // The exit word's echo came (or not, within kExitEchoMs): the run ends.
    void left(bool confirmed);

    device::ModeSession* session_ = nullptr;
    bool entered_ = false;
    bool waitingExit_ = false;
    QString lastLine_;
    std::function<void()> afterLine_;
    // An interruption's message, printed once it is known whether the
    // device confirmed leaving its mode.
    QString stopMessage_;
};

// The operation for a command that needs the port (every one but
// edid decode).
std::unique_ptr<Operation> makeOperation(const Context& context);

// By group, in their own files.
std::unique_ptr<Operation> makeRoutingOperation(const Context& context);
std::unique_ptr<Operation> makeTransferOperation(const Context& context);
std::unique_ptr<Operation> makeBackupOperation(const Context& context);

} // namespace cli

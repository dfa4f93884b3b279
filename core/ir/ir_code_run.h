#pragma once

#include "core/ir/ir_codes.h"
#include "core/protocol/replies.h"
#include "core/transfer/outcome.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>

namespace platform {
class Platform;
class Timer;
} // namespace platform
namespace seriallink {
class Wire;
}

namespace ir {

// The device's table of 81 IR codes and the runs that read it or write it,
// one entry per answer: the first command goes out from here, and each
// answer sends the next. A write is checked entry by entry before the
// table is written, and afterwards read back entry by entry before the
// device is told to save it. A run stalled for a second ends timed out.
//
// Answers carry no entry number. So that a doubled answer, which shifts
// every later entry by one, does not end a run as a success, an answer
// that comes while no command of its kind waits for one ends the run
// failed, and a finished read is judged only once the line has stayed free
// of further answers for kSettleMs. (A write's check compares every entry
// with the table, so a shifted answer fails it without waiting.)
//
// The table is held here as the entries' texts (as typed: one or two
// characters, letter case kept) with a mark each for the checks; the IR
// code window shows them and hands its edits back. A run reports its
// progress and ends with finished() and a typed outcome; whoever shows it
// picks the words.
class IrCodeRun : public QObject {
    Q_OBJECT
public:
    enum class Mark { Normal, FormatError, Duplicate };
    // What the checks before a write found.
    enum class Check { Passed, FormatError, Duplicate };
    static constexpr int kAnswerMs = 1000;
    static constexpr int kSettleMs = 100;

    IrCodeRun(seriallink::Wire& wire, platform::Platform& platform);

    // The IR code window opens: no run, an empty table, learned codes land
    // in entry 1 first.
    void prepare();
    // The window closes: the device leaves IR mode, nothing more can answer.
    void end() { stopRun(); }

    const QString& code(int k) const { return codes_.at(k); }
    const QStringList& codes() const { return codes_; }
    // Replaces an entry's text; the window follows.
    void setCode(int k, const QString& text);
    // The operator edited a box: the table follows, nothing is echoed.
    void codeEdited(int k, const QString& text);
    Mark mark(int k) const { return marks_.at(k); }
    void setMark(int k, Mark m);

    // Entry k takes the next learned data code (never the custom-code
    // entry), and loses its error mark.
    void learnInto(int k);
    // "Read Code": empties the table and reads it. Nothing starts, and the
    // table stays, when the port is closed.
    void readCode();
    // "Write Code": the format and duplicate checks, then the first entry.
    // Nothing is sent when a check failed (the marks say where); a duplicate
    // is reported over a format error.
    Check writeCode();

    // A run is in progress from its first command until it ends with a
    // final status or times out.
    bool runInProgress() const { return running_; }
    // A read is over and waits to be judged.
    bool settling() const;
    // The IR codes' part of IR mode: the code answers ("rok", "wok", "rir");
    // true when the reply was one of them.
    bool reply(const protocol::Reply& r);

    // The phase of the run in progress or last run: Read, Write or Check.
    transfer::Phase phase() const { return phase_; }

    // Whether the last run started was a write (else a read).
    bool lastRunWrote() const { return writing_; }
    // The entry that receives the next learned data code, 1 to the last.
    int learnTarget() const { return learnTarget_; }
    // The entry the last read or write command addressed.
    int currentEntry() const { return entry_; }
    // The last custom and data code the device's IR receiver decoded.
    const QString& lastCustomCode() const { return custom_; }
    const QString& lastDataCode() const { return data_; }
    // A command of the run went out and its answer is awaited.
    bool awaitingAnswer() const;

signals:
    void codeChanged(int k, const QString& text);
    void markChanged(int k);
    // The run's phase began or went on: entry done of total was answered.
    void progress(int done, int total);
    // The device's IR receiver decoded a key: custom and data code.
    void learned(const QString& custom, const QString& data);
    // The entry that takes the next learned code; the window focuses it.
    void focusRequested(int k);
    // A run came to its end. A write that passed its check ends before
    // the save command goes out.
    void finished(const transfer::Outcome& outcome);

private:
    void startRun(const QString& command, bool write);
    void sendRunCommand(const QString& command, bool write);
    void endRun(transfer::Error error, const QString& line = {});
    void stopRun();
    void onAnswerTimeout();
    void setProgress(int value);
    void codeRead(const QString& line);
    void codeWritten(const QString& line);
    void codeLearned(const QString& line);
    void settled();
    // An answer came that no command waits for.
    void desynchronised(const QString& line);
    // The check read back another code than was written.
    void checkFailed(const QString& line, const QString& code);

    seriallink::Wire& wire_;
    bool writing_ = false;
    int learnTarget_ = 1;
    int entry_ = 0;
    QString custom_;
    QString data_;
    platform::Timer* answerTimer_ = nullptr;
    QStringList codes_;
    std::array<Mark, kEntries> marks_{};
    transfer::Phase phase_ = transfer::Phase::Read;
    bool running_ = false;
    bool waiting_ = false;      // a command of the run waits for its answer
    bool waitingWrite_ = false; // that command is a "wic"
    // Runs while a plain read's last answer waits out the quiet that
    // judges it: settling().
    platform::Timer* settleTimer_ = nullptr;
};

} // namespace ir

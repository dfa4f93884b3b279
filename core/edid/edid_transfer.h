#pragma once

#include "core/edid/edid_image.h"
#include "core/protocol/replies.h"
#include "core/transfer/outcome.h"

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace platform {
class Platform;
class Timer;
} // namespace platform
namespace seriallink {
class Wire;
}

namespace edid {

// The byte-by-byte transfer of one input's EDID image with the device.
//
// A download takes the 256 bytes to send, each as the two characters that
// go on the wire (so that a byte goes out as the operator spelled it); a
// read yields the 256 bytes received. The device's answers drive a transfer
// forward: each accepted byte sends the next, the end of a download starts
// a verification read, a read retries a byte that did not come. Every
// command gets one second to be answered.
//
// Answers carry no byte number. So that a doubled answer, which shifts every
// later byte by one, is not taken for a good read, a finished read is judged
// only once the line has stayed free of further answers for kSettleMs. (The
// read that verifies a download needs no such wait: it compares every byte
// with what was sent.)
//
// A transfer reports where it stands (started(), progress(), byteRead())
// and ends with finished() and a typed outcome; whoever shows it picks the
// words.
class EdidTransfer : public QObject {
    Q_OBJECT
public:
    static constexpr int kAnswerMs = 1000;
    static constexpr int kSettleMs = 100;
    // The bytes of a download as they go on the wire: two characters each
    // as a rule, the hexadecimal digits of the byte.
    using Cells = std::array<QString, kImageSize>;

    EdidTransfer(seriallink::Wire& wire, platform::Platform& platform);

    // The EDID window opens: input 1, counters back, nothing running.
    void prepare();
    // The device leaves EDID mode or its front end is done with it: nothing
    // can go on. A transfer that ran ends Stopped.
    void end();

    // The input port, counted from 0, that a transfer addresses.
    void choosePort(int index) { input_ = index; }
    int input() const { return input_; }
    // "Download" and "Read EDID".
    void startDownload(const Image& image);
    void startDownload(const Cells& cells);
    void startRead();
    // The bytes the last read received (0 where an answer held no byte).
    const Image& image() const { return received_; }
    // The cells a download of image sends: upper-case hexadecimal.
    static Cells cellsOf(const Image& image);
    // What the image's own tests say of it: NotEdid (no header),
    // BadChecksum, or None.
    static transfer::Error imageError(const Image& image);

    // The transfer's part of EDID mode: true when a running transfer took
    // the line (every line but the exit echo while one runs), or when the line was a
    // stray answer after a read. Anything else is the mode's own business
    // (the entry and exit echoes); an exit echo during a transfer ends it
    // ModeLeft first.
    bool reply(const protocol::Reply& r);
    bool running() const { return downloading_ || reading_; }
    bool downloading() const { return downloading_; }
    // A read runs, on its own or verifying a download.
    bool reading() const { return reading_; }
    bool verifying() const { return verifying_; }
    // A plain read is over and waits to be judged.
    bool settling() const;
    // A command went out and its answer is awaited.
    bool awaitingAnswer() const;
    // The byte the next command sends or asks for.
    int nextByte() const { return next_; }
    // The bytes the running or last read has shown.
    int bytesShown() const { return shown_; }
    // The byte a read is asking for again, and how often in a row.
    int retryingByte() const { return retryAt_; }
    int retries() const { return retries_; }
    // The phase of the transfer running or last run.
    transfer::Phase phase() const { return phase_; }
    // The value of the byte a download sent at index (none where its cell
    // was not two hexadecimal digits, or before it went out).
    std::optional<std::uint8_t> sentByte(int index) const { return sent_[index]; }

signals:
    // A phase began: its first command went out (Download, Read), or the
    // download was accepted whole and its verification read asked for.
    void started(transfer::Phase phase);
    // done of total bytes: the index of the command just sent.
    void progress(int done, int total);
    // A read received a byte: the answer's two characters as they came, the
    // count of bytes shown before it, and whether it was the last.
    void byteRead(int shown, const QString& answer, bool last);
    void finished(const transfer::Outcome& outcome);

private:
    // Sends the next byte of a download / asks for the next byte of a read.
    void sendNextByte();
    bool askNextByte();
    // Sends one command of a running transfer and restarts the answer timer.
    // A failed write ends the transfer (reported once); false then.
    bool sendTransferCommand(const QString& command);
    void beginRead(transfer::Phase phase);
    void downloadReply(const protocol::Reply& r);
    void readReply(const protocol::Reply& r);
    void retry(const QString& line);
    void settled();
    // Ends the transfer with this outcome; the running flags are down first,
    // so that a line that comes while a box reports on it finds nothing
    // running.
    void stop(transfer::Error error, const QString& line = {});
    transfer::Outcome judged(bool verifying) const;

    seriallink::Wire& wire_;
    int input_ = 0;
    int next_ = 0;
    bool downloading_ = false;
    bool reading_ = false;
    bool verifying_ = false;
    int shown_ = 0;
    // A read asks again for a byte that did not come, and gives up after
    // the fifth failure in a row at one byte. The count goes on from one
    // read to the next, as the device's users know it.
    int retryAt_ = 0;
    int retries_ = 0;
    // The values of the last download's bytes as sent, and of the bytes a
    // read received (nothing where a byte was not two hexadecimal digits);
    // the verification compares the two in full.
    std::array<std::optional<std::uint8_t>, kImageSize> sent_{};
    std::array<std::optional<std::uint8_t>, kImageSize> read_{};
    Cells cells_;
    Image received_{};
    transfer::Phase phase_ = transfer::Phase::Read;
    // Runs while a plain read's last answer waits out the quiet that
    // judges it: settling().
    platform::Timer* settleTimer_ = nullptr;
    // Every command gets kAnswerMs to be answered.
    platform::Timer* answerTimer_ = nullptr;
};

} // namespace edid

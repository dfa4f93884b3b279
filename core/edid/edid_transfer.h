#pragma once

#include "core/edid/edid_image.h"
#include "core/protocol/replies.h"

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
class Connection;
}

namespace edid {

// The EDID image of one input and its byte-by-byte transfer with the device.
//
// The image is held as the text of the hexadecimal view, its only stored
// form: a download sends each cell as the text holds it, a read appends each
// byte it receives. The device's answers drive a transfer forward: each
// accepted byte sends the next, the end of a download starts a verification
// read, a read retries a byte that did not come. Every command gets one
// second to be answered.
//
// Answers carry no byte number. So that a doubled answer, which shifts every
// later byte by one, is not taken for a good read, a finished read is judged
// only once the line has stayed free of further answers for kSettleMs. (The
// read that verifies a download needs no such wait: it compares every byte
// with what was sent.)
//
// What the operator should see comes out as signals: the text's changes, the
// progress, the status text and the notices that deserve a message box.
class EdidTransfer : public QObject {
    Q_OBJECT
public:
    static constexpr int kAnswerMs = 1000;
    static constexpr int kSettleMs = 100;

    // Whose box a notice is: about a file, about the device's data, or about
    // the exchange itself. The windows give each its title.
    enum class Notice { File, Device, App };

    EdidTransfer(seriallink::Connection& link, platform::Platform& platform);

    // The EDID window opens: input 1, counters back, nothing running, an
    // empty view.
    void prepare();
    // The window closes: the device leaves EDID mode, so nothing can go on.
    void end();

    // The input port 0..7 a transfer addresses.
    void choosePort(int index) { Port = std::uint8_t(index); }
    // "Download" and "Read EDID".
    void startDownload();
    void startRead();
    // "Open EDID": the view is emptied before the file is chosen; a chosen
    // image is then tested and shown whatever the tests say.
    void beginOpen();
    void showLoaded(const Image& image);
    // The chosen file is a text that holds no dump: the view and the status
    // come back as they were before beginOpen(), and a box says why.
    void refuseOpened(const QString& why);
    // The image the view holds, read from its first cell on (for "Save as").
    Image viewImage();

    // Sends the byte at slave / asks for the byte at slave.
    void Download();
    void ReadEDID();
    // Tests the image the view holds after a read and reports the outcome.
    void check();
    // The same for a read already over (start_Read and Verify back at 0);
    // verifying: it was the verification read after a download.
    void checkFinishedRead(bool verifying);
    // The answer of the transfer did not come in time.
    void Timer1_Timer();
    // Sends one command of a running transfer and restarts the answer timer.
    // A failed write ends the transfer (reported once); false then.
    bool sendTransferCommand(const QString& command);
    void stopAnswerTimer();
    void forgetReadBytes() { readBytes.fill(std::nullopt); }

    // The transfer's part of EDID mode: true when a running transfer took
    // the line (every line but "edo" while one runs), or when the line was a
    // stray answer after a read. Anything else is the mode's own business
    // (the "edm" and "edo" echoes).
    bool reply(const protocol::Reply& r);
    bool running() const { return start_Load == 1 || start_Read == 1; }
    // A plain read is over and waits to be judged.
    bool settling() const;

    // The view text, in the form the view hands out (every line break as
    // CR LF).
    const QString& text() const { return text_; }
    // Replaces the text (a load, a test); the view follows.
    void setText(const QString& text);
    // The operator edited the view: the text follows it, nothing is echoed.
    void viewEdited(const QString& text);

    const QString& statusText() const { return status_; }
    void setStatus(const QString& text);
    int progress() const { return progress_; }

    std::uint8_t Port = 0;
    std::int16_t slave = 0;
    std::uint8_t start_Load = 0;
    std::uint8_t start_Read = 0;
    std::uint8_t Verify = 0;
    std::int16_t edid_Len = 0;
    QString WriteChkSum1;
    QString WriteChkSum2;
    QString ReadChkSum1;
    QString ReadChkSum2;
    std::int16_t temp_slave = 0;
    std::uint8_t temp_errs = 0;
    std::int16_t cell_Pos = 1;
    // The values of the last download's bytes as sent, and of the bytes a
    // read received (nothing where a byte was not two hexadecimal digits);
    // the verification compares the two in full.
    std::array<std::optional<std::uint8_t>, kImageSize> sentBytes{};
    std::array<std::optional<std::uint8_t>, kImageSize> readBytes{};
    platform::Timer* Timer1 = nullptr;

signals:
    void statusChanged(const QString& text);
    void progressChanged(int value);
    void textCleared();
    void textAppended(const QString& text);
    void textReplaced(const QString& text);
    // Worth a message box.
    // whose: which kind of box it is, for the title the window gives it.
    void notice(const QString& text, edid::EdidTransfer::Notice whose);
    // A read or a download came to its end; ok: the image is in and good
    // (read and tested, or downloaded and verified).
    void finished(bool ok);

private:
    void downloadReply(const QString& line);
    void readReply(const QString& line);
    void clearText();
    void appendText(const QString& text);
    void setProgress(int value);
    void settle();
    void settled();
    bool verificationMatches() const;
    bool report(bool verifying, bool reading);

    seriallink::Connection& link_;
    QString text_;
    QString status_;
    // What beginOpen() cleared, for refuseOpened().
    QString textBeforeOpen_;
    QString statusBeforeOpen_;
    int progress_ = 0;
    // Runs while a plain read's last answer waits out the quiet that
    // judges it: settling().
    platform::Timer* settleTimer_ = nullptr;
};

} // namespace edid

#pragma once

#include "edid/edid_image.h"
#include "main_window/feature_window.h"

#include <array>
#include <cstdint>
#include <optional>

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStatusBar;

namespace edid {
class HexView;
}
namespace platform {
class Timer;
}

inline const QString kEdidFileTitle = QStringLiteral("TARVIK-QE7");

// The EDID window: one 256-byte image of one input, shown as an editable
// hexadecimal dump, loaded from and saved to ".bin" files, and moved to and
// from the device byte by byte. The reply interpreter drives each transfer
// forward through the public operations and variables below, which keep
// their values while the window is closed.
class EDIDSet : public FeatureWindow {
    Q_OBJECT
public:
    explicit EDIDSet(Form1& form1);
    void Form_Load() override;

    // Operator actions.
    void Option1_Click(int index);
    void Command1_Click();    // "Open EDID"
    void DownloadBtn_Click(); // "Download"
    void ReadEDIDBtn_Click(); // "Read EDID"
    void Command5_Click();    // "Save as"
    void Timer1_Timer();      // the transfer's answer did not come in time

    // Sends the byte at slave / asks for the byte at slave.
    void Download();
    void ReadEDID();
    // Tests the image the view holds after a read and reports the outcome.
    void check();
    // The same for a read already marked over (start_Read and Verify back
    // at 0); verifying: it was the verification read after a download.
    void checkFinishedRead(bool verifying);
    // The device left EDID mode by itself.
    void quit();

    // The first panel of the status bar.
    void setStatus(const QString& text);
    QString statusText() const;
    // Sends one command of a running transfer and restarts the answer timer.
    // A failed write ends the transfer (reported once); false then.
    bool sendTransferCommand(const QString& command);
    // Ends a transfer that is over: no answer timer may follow.
    void stopAnswerTimer();
    // Forgets the bytes of an earlier read before a new one starts.
    void forgetReadBytes() { readBytes.fill(std::nullopt); }

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
    std::array<std::optional<std::uint8_t>, edid::kImageSize> sentBytes{};
    std::array<std::optional<std::uint8_t>, edid::kImageSize> readBytes{};

    // Controls.
    QGroupBox* Frame1 = nullptr; // "Port Select"
    std::array<QRadioButton*, 8> Option1{};
    QPushButton* Command1 = nullptr;
    QPushButton* DownloadBtn = nullptr;
    QPushButton* ReadEDIDBtn = nullptr;
    QPushButton* Command5 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* Label1 = nullptr; // "0%"
    QLabel* Label2 = nullptr; // "100%"
    QLabel* Label3 = nullptr; // column headings
    QLabel* Label4 = nullptr; // row headings
    edid::HexView* Text1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    platform::Timer* Timer1 = nullptr;

signals:
    // Every status text, as it is shown.
    void statusChanged(const QString& text);

protected:
    void done(int result) override;

private:
    void buildUi();
    bool verificationMatches() const;
    void report(bool verifying, bool reading);

    QLabel* statusPanel_ = nullptr;
};

#pragma once

#include "ir/ir_codes.h"
#include "main_window/feature_window.h"

#include <QColor>
#include <QLineEdit>
#include <array>

class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;
namespace platform {
class Timer;
}

namespace ir {

// A box of the code grid: at most two characters, typed keys filtered to
// hexadecimal digits and Backspace, and it tells when it gains focus.
class CodeBox : public QLineEdit {
    Q_OBJECT
public:
    CodeBox(int index, QWidget* parent);
    int index() const { return index_; }

signals:
    void focused(int index);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    int index_;
};

inline const QColor kNormal{255, 255, 255};
inline const QColor kFormatError{255, 128, 0};
inline const QColor kDuplicate{0, 255, 0};

} // namespace ir

// The IR code window: the device's table of 81 IR codes as a grid of boxes,
// checked and then read from or written to the device one entry per reply,
// and the last code the device's IR receiver learned from a remote.
class IrSet : public FeatureWindow {
    Q_OBJECT
public:
    explicit IrSet(Form1& form1);
    void Form_Load() override;
    // The device left IR mode by itself: tells the operator and closes.
    void quit();

    void codetxt_GotFocus(int k);
    void Command1_Click(); // "Read Code"
    void Command2_Click(); // "Write Code"

    // Box colours and the status text, as the operator sees them.
    QColor boxColor(int k) const;
    void setBoxColor(int k, const QColor& c);
    QString statusText() const;
    void setStatusText(const QString& text);

    // The run the reply interpreter drives. A run is in progress from its
    // first command until it ends with a final status or times out; each
    // command sent during it gives the device another second to answer.
    bool runInProgress() const { return running_; }
    // Sends a command of the run; a failed write ends the run.
    void sendRunCommand(const QString& command);
    // Ends the run with a final status text.
    void endRun(const QString& status);
    static constexpr int kAnswerMs = 1000;

    // Public variables read and written by the reply interpreter.
    int method = 0;    // 0: the run reads, otherwise it writes
    int codefocus = 1; // box that receives the next learned data code, 1..80

    std::array<ir::CodeBox*, ir::kEntries> codetxt{};
    QLineEdit* CstCode = nullptr;
    QLineEdit* DataCode = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    platform::Timer* answerTimer = nullptr;

private:
    void buildUi();
    // Starts a run with its first command; nothing starts when the port is
    // closed or the write fails.
    void startRun(const QString& command);
    void stopRun();
    void onAnswerTimeout();

    QLabel* status_ = nullptr;
    bool running_ = false;
};

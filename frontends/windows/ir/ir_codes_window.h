#pragma once

#include "core/ir/ir_code_run.h"
#include "core/ir/ir_codes.h"
#include "frontends/windows/widgets/feature_window.h"

#include <QColor>
#include <QLineEdit>

class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;

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

// The IR code window: the device's table of the model's IR code entries as
// a grid of boxes, checked and then read from or written to the device one
// entry per reply, and the last code the device's IR receiver learned from a
// remote. The table and its runs live in the IR code run; the window shows
// them and hands back what the operator types.
class IrCodesWindow : public FeatureWindow {
    Q_OBJECT
public:
    // A box for each of the model's IR code entries.
    IrCodesWindow(DeviceContext& context, ir::IrCodeRun& run, const protocol::Model& model);
    void prepare() override;
    bool busy() const override { return run_.runInProgress() || run_.settling(); }
    // The device left IR mode by itself: tells the operator and closes.
    void quit();

    ir::IrCodeRun& run() { return run_; }

    void onCodeFocused(int k);
    void onReadClicked();  // "Read Code"
    void onWriteClicked(); // "Write Code"

    // Box colours and the status text, as the operator sees them.
    QColor boxColor(int k) const;
    void setBoxColor(int k, const QColor& c);
    QString statusText() const;

    // codeBoxes[k]: entry k, the custom code first.
    QList<ir::CodeBox*> codeBoxes;
    QLineEdit* receivedCustomCode = nullptr;
    QLineEdit* receivedDataCode = nullptr;
    QPushButton* readButton = nullptr;
    QPushButton* writeButton = nullptr;
    QProgressBar* progressBar = nullptr;
    QStatusBar* statusBar = nullptr;

private:
    void buildUi(int entries);
    void showCode(int k, const QString& text);
    void showMark(int k);
    void showProgress(int done);
    void runEnded(const transfer::Outcome& outcome);

    ir::IrCodeRun& run_;
    QLabel* status_ = nullptr;
    // A box is being set from the table: its change is no edit.
    bool showing_ = false;
};

#pragma once

#include <QPlainTextEdit>

namespace main_window {

// The receive log. It keeps the exact text the interpreter gave it
// (terminators included) and shows it with CR, LF and CR LF as line breaks.
// Appending costs the same however long the log has grown.
class ReceiveLog : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ReceiveLog(QWidget* parent = nullptr);
    void appendText(const QString& s);
    // Caret after the last character, newest text in view.
    void scrollToEnd();
    void clearLog();
    const QString& text() const { return text_; }

private:
    QString text_;
    bool lastWasCr_ = false;
    bool heldLf_ = false;
};

} // namespace main_window

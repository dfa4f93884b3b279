#pragma once

#include <QPlainTextEdit>

class QMenu;

namespace main_window {

inline const QString kSaveLogCaption = QStringLiteral("Save log as...");

// The receive log. It keeps the exact text the interpreter gave it
// (terminators included) and shows it with CR, LF and CR LF as line breaks.
// Appending costs the same however long the log has grown.
//
// It holds the newest traffic only: past a limit of lines shown or of
// characters kept, the oldest go. A device that never stops talking would
// otherwise take all memory (each line shown costs some 600 bytes).
class ReceiveLog : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 200000;
    static constexpr qsizetype kMaxChars = qsizetype(1) << 22;

    explicit ReceiveLog(QWidget* parent = nullptr);
    void setLimits(int lines, qsizetype chars);
    void appendText(const QString& s);
    // Caret after the last character, newest text in view.
    void scrollToEnd();
    void clearLog();
    const QString& text() const { return text_; }
    // The standard menu (Copy, Select All) and "Save log as...".
    QMenu* createContextMenu(const QPoint& pos);

signals:
    // "Save log as..." was chosen.
    void saveRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QString text_;
    int maxLines_ = kMaxLines;
    qsizetype maxChars_ = kMaxChars;
    bool lastWasCr_ = false;
    bool heldLf_ = false;
};

} // namespace main_window

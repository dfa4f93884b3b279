#include "main_window/receive_log.h"

#include <QScrollBar>
#include <QTextBlock>

namespace main_window {

ReceiveLog::ReceiveLog(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void ReceiveLog::appendText(const QString& s) {
    if (s.isEmpty())
        return;
    text_ += s;
    QString shown;
    shown.reserve(s.size());
    for (QChar c : s) {
        if (c == QChar('\r')) {
            shown += QChar('\n');
            lastWasCr_ = true;
        } else if (c == QChar('\n')) {
            if (!lastWasCr_)
                shown += QChar('\n');
            lastWasCr_ = false;
        } else {
            shown += c;
            lastWasCr_ = false;
        }
    }
    if (shown.isEmpty())
        return;
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(shown);
}

void ReceiveLog::scrollToEnd() {
    QTextCursor c = textCursor();
    c.movePosition(QTextCursor::End);
    setTextCursor(c);
    ensureCursorVisible();
}

void ReceiveLog::clearLog() {
    text_.clear();
    lastWasCr_ = false;
    clear();
}

} // namespace main_window

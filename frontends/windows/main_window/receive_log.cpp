#include "frontends/windows/main_window/receive_log.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>

namespace main_window {

ReceiveLog::ReceiveLog(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void ReceiveLog::setLimits(int lines, qsizetype chars) {
    maxLines_ = qMax(lines, 10);
    maxChars_ = qMax<qsizetype>(chars, 1);
}

void ReceiveLog::appendText(const QString& s) {
    if (s.isEmpty())
        return;
    text_ += s;
    if (text_.size() > maxChars_) {
        // A quarter goes at once, up to a line's end, so trimming the front
        // costs little per character appended.
        qsizetype cut = text_.size() - maxChars_ * 3 / 4;
        const qsizetype lf = text_.indexOf(QChar('\n'), cut);
        if (lf >= 0 && lf < text_.size() - 1)
            cut = lf + 1;
        text_.remove(0, cut);
    }
    // The echo of a line is its text and CR, then the LF on its own; a
    // routing report starts with CR LF. A lone LF is held back until the next
    // text shows whether a CR follows, so "In1" LF CR LF "HDMI" is one break.
    QString shown;
    shown.reserve(s.size() + 1);
    for (QChar c : s) {
        if (c == QChar('\r')) {
            shown += QChar('\n');
            lastWasCr_ = true;
            heldLf_ = false;
        } else if (c == QChar('\n')) {
            if (!lastWasCr_)
                heldLf_ = true;
            lastWasCr_ = false;
        } else {
            if (heldLf_)
                shown += QChar('\n');
            heldLf_ = false;
            shown += c;
            lastWasCr_ = false;
        }
    }
    if (shown.isEmpty())
        return;
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(shown);
    // A tenth of the lines goes at once when the limit is passed: dropping
    // the oldest line on every append would make each append at the limit
    // cost a removal too.
    const int lines = document()->blockCount();
    if (lines > maxLines_) {
        QTextCursor oldest(document());
        oldest.movePosition(QTextCursor::Start);
        oldest.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor,
                            lines - (maxLines_ - maxLines_ / 10));
        oldest.removeSelectedText();
    }
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
    heldLf_ = false;
    clear();
}

QMenu* ReceiveLog::createContextMenu(const QPoint& pos) {
    QMenu* menu = createStandardContextMenu(pos);
    menu->addSeparator();
    menu->addAction(kSaveLogCaption, this, &ReceiveLog::saveRequested);
    return menu;
}

void ReceiveLog::contextMenuEvent(QContextMenuEvent* event) {
    // Popped up, not run with exec() as QPlainTextEdit's own menu is: the
    // program waits in no nested event loop.
    QMenu* menu = createContextMenu(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

} // namespace main_window

#include "frontends/windows/edid/hex_view.h"

#include <QFontDatabase>
#include <QPainter>
#include <QTextCursor>

namespace edid {

namespace {

QString toEditor(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

} // namespace

HexView::HexView(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
}

QString HexView::text() const {
    QString text = toPlainText();
    text.replace(u'\n', QLatin1String("\r\n"));
    return text;
}

void HexView::setText(const QString& text) {
    setPlainText(toEditor(text));
}

void HexView::append(const QString& text) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(toEditor(text));
}

void HexView::setFramedCells(const QList<Range>& cells) {
    if (cells == framed_)
        return;
    framed_ = cells;
    viewport()->update();
}

void HexView::paintEvent(QPaintEvent* event) {
    QPlainTextEdit::paintEvent(event);
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    const int end = document()->characterCount() - 1;
    for (const auto& [from, to] : std::as_const(framed_)) {
        if (to > end)
            continue; // marked for a text since replaced; marked again soon
        QTextCursor cursor(document());
        cursor.setPosition(from);
        const QRect first = cursorRect(cursor);
        cursor.setPosition(to);
        painter.drawRect(QRect(first.topLeft(), cursorRect(cursor).bottomLeft()));
    }
}

QFont hexViewFont() {
    const QString family = QStringLiteral("Microsoft Sans Serif");
    if (QFontDatabase::families().contains(family, Qt::CaseInsensitive))
        return QFont(family, 9);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPointSize(9);
    return font;
}

} // namespace edid

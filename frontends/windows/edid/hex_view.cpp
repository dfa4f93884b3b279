#include "frontends/windows/edid/hex_view.h"

#include <QFontDatabase>
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

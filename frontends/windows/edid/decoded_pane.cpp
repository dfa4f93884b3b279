#include "frontends/windows/edid/decoded_pane.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QSyntaxHighlighter>

namespace edid {

namespace {

class Marks : public QSyntaxHighlighter {
public:
    Marks(QTextDocument* document, const QColor& warning) : QSyntaxHighlighter(document) {
        summary_.setFontWeight(QFont::Bold);
        finding_.setFontWeight(QFont::Bold);
        finding_.setForeground(warning);
    }

protected:
    void highlightBlock(const QString& text) override {
        if (currentBlock().blockNumber() == 0)
            setFormat(0, int(text.size()), summary_);
        else if (text.startsWith(QLatin1String("! ")))
            setFormat(0, int(text.size()), finding_);
    }

private:
    QTextCharFormat summary_;
    QTextCharFormat finding_;
};

} // namespace

DecodedPane::DecodedPane(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    // Long descriptor lines wrap rather than hide behind a scroll bar.
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Timing lines line up their values only in a fixed-pitch face.
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Dark red reads on a light base, a light red on a dark one.
    const bool darkBase = palette().color(QPalette::Base).lightness() < 128;
    new Marks(document(), darkBase ? QColor(0xff, 0x80, 0x80) : QColor(0xa0, 0x00, 0x00));
}

void DecodedPane::showText(const QString& text, bool sameImage) {
    if (text == toPlainText())
        return;
    const int scrolled = verticalScrollBar()->value();
    setPlainText(text);
    if (sameImage)
        verticalScrollBar()->setValue(scrolled);
}

} // namespace edid

#pragma once

#include <QFont>
#include <QPlainTextEdit>

namespace edid {

// The editable hexadecimal view of the EDID window. The editor keeps line
// breaks as paragraph ends; text() hands them out as CR LF, which is what the
// cell grid counts on (a row break is one two-character cell), and
// setText()/append() take CR LF back. A lone CR cannot survive in the editor
// and comes back as CR LF.
class HexView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit HexView(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    void append(const QString& text);

    // Cells (document positions from, to) framed apart from the extra
    // selections, which a comparison fills: what the chosen edit would
    // change, visible on top of what differs from a file.
    using Range = std::pair<int, int>;
    void setFramedCells(const QList<Range>& cells);
    const QList<Range>& framedCells() const { return framed_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<Range> framed_;
};

// "Microsoft Sans Serif" 9 pt where the face exists, else the system's
// fixed-pitch face at 9 pt, so the cells stay under their column headings.
QFont hexViewFont();

} // namespace edid

#pragma once

#include "core/edid/edid_image.h"
#include "core/edid/edid_transfer.h"

#include <QObject>
#include <QString>

namespace edid {

// The text of the EDID window's hexadecimal view: what the operator sees
// and types, loads and saves. It is read as two-character cells ("  "
// separates bytes, CR LF ends a row, anything else is a byte cell); a
// download sends the cells as the text holds them.
class ViewText : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // In the form the view hands out (every line break as CR LF).
    const QString& text() const { return text_; }
    // Replaces the text (a load, an edit applied); the view follows.
    void setText(const QString& text);
    // The operator edited the view: the text follows it, nothing is echoed.
    void viewEdited(const QString& text);
    void clear();
    void append(const QString& text);

    // The image the text holds, read from its first cell on (for "Save as");
    // cursorCell is left after the last cell read.
    Image viewImage();
    // The 256 cells a download sends, from the first cell on; cursorCell is
    // left after the last.
    EdidTransfer::Cells downloadCells();
    // The image, or nothing while the text holds no byte at all; cursorCell
    // stays where it is.
    std::optional<Image> image() const;

    std::int16_t cursorCell = 1;

signals:
    void textCleared();
    void textAppended(const QString& text);
    void textReplaced(const QString& text);

private:
    QString text_;
};

} // namespace edid

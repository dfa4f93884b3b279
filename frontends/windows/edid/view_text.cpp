#include "frontends/windows/edid/view_text.h"

namespace edid {

void ViewText::setText(const QString& text) {
    text_ = viewForm(text);
    emit textReplaced(text);
}

void ViewText::viewEdited(const QString& text) {
    text_ = viewForm(text);
}

void ViewText::clear() {
    text_.clear();
    emit textCleared();
}

void ViewText::append(const QString& text) {
    text_ += viewForm(text);
    emit textAppended(text);
}

Image ViewText::viewImage() {
    int pos = cursorCell = 1;
    const Image image = parseView(text_, pos);
    cursorCell = std::int16_t(pos);
    return image;
}

EdidTransfer::Cells ViewText::downloadCells() {
    EdidTransfer::Cells cells;
    int pos = cursorCell = 1;
    for (QString& cell : cells) {
        cell = nextByteCell(text_, pos);
        ++pos;
    }
    cursorCell = std::int16_t(pos);
    return cells;
}

std::optional<Image> ViewText::image() const {
    int pos = 1;
    if (nextByteCell(text_, pos).isEmpty())
        return std::nullopt;
    pos = 1;
    return parseView(text_, pos);
}

} // namespace edid

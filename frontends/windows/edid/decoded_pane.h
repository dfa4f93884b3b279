#pragma once

#include <QPlainTextEdit>

namespace edid {

// A read-only text beside the hexadecimal view: the decoded image, or its
// comparison with a file. The first line (the summary) is bold and the
// findings ("! " lines) bold in a warning colour, so they stand out in
// colour and without it; the "!" stays in the text for a screen reader.
class DecodedPane : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit DecodedPane(QWidget* parent = nullptr);

    // Replaces the text. sameImage: the image was edited, not replaced, so
    // the operator keeps the place they were reading.
    void showText(const QString& text, bool sameImage);
};

} // namespace edid

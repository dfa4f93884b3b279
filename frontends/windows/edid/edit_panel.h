#pragma once

#include "core/edid/edit/edid_edit.h"

#include <QGroupBox>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QUndoStack;

namespace edid {

class ViewText;

// The EDID window's editor: the installers' fixes, the templates and the
// name, serial and physical address, each applied to the image the view
// shows as one step the operator can undo and redo. What the chosen edit
// changes, and any finding of the decoder it would add, is shown before
// the edit is applied: a first click on "Apply" after the image changed
// only shows it.
class EditPanel : public QGroupBox {
    Q_OBJECT
public:
    EditPanel(ViewText& view, QWidget* parent);

    // The window's Edit menu: undo, redo, and each choice of the panel.
    QMenu* menu() const { return menu_; }
    QUndoStack* undoStack() const { return undo_; }

    // Picks choice index of the list and shows what it would do.
    void choose(int index);
    void apply();
    QString previewText() const;
    // The view's image may have changed (a read is over, a byte was
    // typed): the preview and Apply follow it.
    void follow();
    // The bytes the previewed edit changes, for the window to mark.
    const QList<int>& changedOffsets() const { return changed_; }

    QComboBox* Choice = nullptr;
    QSpinBox* VicBox = nullptr;
    QLineEdit* NameBox = nullptr;
    QLineEdit* SerialBox = nullptr;
    QLineEdit* AddressBox = nullptr;
    QLabel* Preview = nullptr;
    QPushButton* ApplyBtn = nullptr;

signals:
    void previewShown();

private:
    struct Outcome {
        std::optional<Image> image;
        QString problem;
        QStringList notes = {}; // what the edit gives up besides what it names
    };
    Outcome outcome() const;
    void showPreview();
    // What the outcome changes in the previewed image, in words.
    QString changeText(const Image& after, const QStringList& notes);

    ViewText& view_;
    QUndoStack* undo_ = nullptr;
    QMenu* menu_ = nullptr;
    // The view text, image and choice the preview was made for.
    QString previewedText_;
    std::optional<Image> previewedImage_;
    QString previewedChoice_;
    QList<int> changed_;
    // An undo or redo is setting the view text.
    bool applying_ = false;
};

} // namespace edid

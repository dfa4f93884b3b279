#pragma once

#include "core/edid/edid_image.h"
#include "core/protocol/model.h"
#include "core/transfer/outcome.h"
#include "frontends/windows/widgets/feature_window.h"

#include <optional>

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTabWidget;

namespace edid {
class DecodedPane;
class EdidTransfer;
class EditPanel;
class HexView;
class ViewText;
} // namespace edid

// The EDID window: one 256-byte image of one input, shown as an editable
// hexadecimal dump, loaded from ".bin" files or text dumps, saved to ".bin"
// files, and moved to and from the device byte by byte. The view's text is
// the image; the EDID transfer moves it, and the window words what the
// transfer reports. Beside the dump, the image decoded, and its
// comparison with another file once one was chosen.
class EdidWindow : public FeatureWindow {
    Q_OBJECT
public:
    // A port button for each of the model's inputs.
    EdidWindow(DeviceContext& context, edid::EdidTransfer& transfer, const protocol::Model& model);
    void prepare() override;
    bool busy() const override;

    edid::EdidTransfer& transfer() { return transfer_; }
    edid::ViewText& view() { return *view_; }
    // Tests the image the view holds and reports it as a read's end does.
    void check();

    // Operator actions.
    void onInputChosen(int index);
    void onOpenClicked();     // "Open EDID"
    void onDownloadClicked(); // "Download"
    void onReadClicked();     // "Read EDID"
    void onSaveAsClicked();   // "Save as"
    void onExportClicked();   // "Export decoded..."
    void onCompareClicked();  // "Compare with file..."
    // The device left EDID mode by itself.
    void quit();

    // The first panel of the status bar.
    void setStatus(const QString& text);
    QString statusText() const;

    // Controls.
    QGroupBox* portGroup = nullptr; // "Port Select"
    // portChoices[k]: input k + 1.
    QList<QRadioButton*> portChoices;
    QPushButton* openButton = nullptr;
    QPushButton* downloadButton = nullptr;
    QPushButton* readButton = nullptr;
    QPushButton* saveAsButton = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* progressStartLabel = nullptr;  // "0%"
    QLabel* progressEndLabel = nullptr;    // "100%"
    QLabel* columnHeadingsLabel = nullptr; // column headings
    QLabel* rowHeadingsLabel = nullptr;    // row headings
    edid::HexView* hexView = nullptr;
    QStatusBar* statusBar = nullptr;
    // The decoded image and the comparison, each a tab; the comparison's
    // tab shows only once a file was compared.
    QTabWidget* decodedTabs = nullptr;
    edid::DecodedPane* decodedPane = nullptr;
    edid::DecodedPane* comparisonPane = nullptr;
    QPushButton* exportButton = nullptr;
    QPushButton* compareButton = nullptr;
    // The editor, under the dump; its menu is the window's Edit menu.
    edid::EditPanel* editPanel = nullptr;

signals:
    // Every status text, as it is shown.
    void statusChanged(const QString& text);

protected:
    void done(int result) override;

private:
    void buildUi(int inputs);
    void showText(const QString& text, bool append);
    void showStatus(const QString& text);
    void showLoaded(const edid::Image& image);
    void transferStarted(transfer::Phase phase);
    void transferEnded(const transfer::Outcome& outcome);
    // The box and status of a judged image; success: the status when it
    // passed (none: the status stays).
    void report(transfer::Error error, const QString& success);
    QLayout* buildDecodedPane();
    // Decodes the view (and compares it) again.
    void showDecoded(bool sameImage);
    // Marks the cells of these bytes in the dump.
    void markDifferences(const QList<int>& offsets);
    // Frames the cells the chosen edit would change.
    void markEdit();
    // Where the cells of these bytes are in the dump (document positions).
    QList<std::pair<int, int>> cellsOf(const QList<int>& offsets) const;

    edid::EdidTransfer& transfer_;
    edid::ViewText* view_ = nullptr;
    QLabel* statusPanel_ = nullptr;
    QString status_;
    // The view is being set from the transfer: its change is no edit.
    bool showing_ = false;
    // A read appended to the view since it was last decoded; decoded when
    // the read is over.
    bool decodedStale_ = false;
    // The file the view is compared with.
    QString comparedPath_;
    std::optional<edid::Image> compared_;
};

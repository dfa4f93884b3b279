#include "frontends/windows/widgets/feature_window.h"

#include "frontends/windows/widgets/device_context.h"

#include <QKeyEvent>

FeatureWindow::FeatureWindow(DeviceContext& context) : QDialog(context.owner()), context_(context) {
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void FeatureWindow::keyPressEvent(QKeyEvent* event) {
    // Closing sends the exit word and so ends a transfer of several seconds;
    // one stray Escape must not do that. The close box still does.
    if (event->matches(QKeySequence::Cancel) && busy()) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

#include "widgets/feature_window.h"

#include "widgets/device_context.h"

FeatureWindow::FeatureWindow(DeviceContext& context) : QDialog(context.owner()), context_(context) {
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

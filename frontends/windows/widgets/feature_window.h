#pragma once

#include <QDialog>

class DeviceContext;

// A window the main window opens modally: settings, EDID, IR code, IR
// routing, network address. One object lives for the whole run; prepare
// puts its controls back to how they look on every opening.
class FeatureWindow : public QDialog {
    Q_OBJECT
public:
    explicit FeatureWindow(DeviceContext& context);
    // Runs each time before the window is shown.
    virtual void prepare() {}
    // A transfer with the device is in progress that closing would end.
    virtual bool busy() const { return false; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

    DeviceContext& context_;
};

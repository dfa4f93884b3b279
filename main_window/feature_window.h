#pragma once

#include <QDialog>

class Form1;

// A window the main window opens modally: settings, EDID, IR code, IR
// routing, network address. One object lives for the whole run, so its
// public variables keep their values while it is closed; Form_Load puts its
// controls back to how they look on every opening.
class FeatureWindow : public QDialog {
    Q_OBJECT
public:
    explicit FeatureWindow(Form1& form1);
    // Runs each time before the window is shown.
    virtual void Form_Load() {}

protected:
    Form1& form1_;
};

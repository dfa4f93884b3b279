#include "frontends/windows/settings/password_window.h"

#include "frontends/windows/settings/settings_window.h"
#include "frontends/windows/titles.h"
#include "frontends/windows/widgets/device_context.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>

namespace {

// Every typed character shows as "*", whatever the platform's own mask is.
class StarMaskStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == QStyle::SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

} // namespace

PasswordWindow::PasswordWindow(DeviceContext& context, SettingsWindow& settingsWindow)
    : QDialog(&settingsWindow), context_(context), settingsWindow_(settingsWindow) {
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QStringLiteral("Password"));
    setFont(QFont(QStringLiteral("Verdana"), 9));

    auto* label = new QLabel(QStringLiteral("Password:"), this);
    passwordBox = new QLineEdit(this);
    passwordBox->setEchoMode(QLineEdit::Password);
    auto* style = new StarMaskStyle;
    style->setParent(passwordBox);
    passwordBox->setStyle(style);
    passwordBox->setAccessibleName(QStringLiteral("Password"));
    label->setBuddy(passwordBox);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0);
    grid->addWidget(passwordBox, 0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    grid->addLayout(buttons, 1, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(okButton, &QPushButton::clicked, this, &PasswordWindow::onOkClicked);
    connect(cancelButton, &QPushButton::clicked, this, &PasswordWindow::onCancelClicked);
}

void PasswordWindow::prepare() {
    passwordBox->clear();
    passwordBox->setFocus();
}

void PasswordWindow::onOkClicked() {
    // Exactly the code: no trimming, same length, character for character.
    if (passwordBox->text() == SettingsWindow::kAccessCode) {
        settingsWindow_.longCableUnlocked = true;
        accept();
        return;
    }
    context_.message(QStringLiteral("Password wrong!"), kDeviceTitle);
    settingsWindow_.longCableUnlocked = false;
    reject();
}

// The close box and Escape end here as well, through reject().
void PasswordWindow::onCancelClicked() {
    reject();
}

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

PasswordWindow::PasswordWindow(DeviceContext& context, SettingsWindow& setting)
    : QDialog(&setting), context_(context), setting_(setting) {
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QStringLiteral("Password"));
    setFont(QFont(QStringLiteral("Verdana"), 9));

    auto* label = new QLabel(QStringLiteral("Password:"), this);
    Text1 = new QLineEdit(this);
    Text1->setEchoMode(QLineEdit::Password);
    auto* style = new StarMaskStyle;
    style->setParent(Text1);
    Text1->setStyle(style);
    Text1->setAccessibleName(QStringLiteral("Password"));
    label->setBuddy(Text1);

    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setDefault(true);
    Command2 = new QPushButton(QStringLiteral("Cancel"), this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0);
    grid->addWidget(Text1, 0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    grid->addLayout(buttons, 1, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(Command1, &QPushButton::clicked, this, &PasswordWindow::onOkClicked);
    connect(Command2, &QPushButton::clicked, this, &PasswordWindow::onCancelClicked);
}

void PasswordWindow::prepare() {
    Text1->clear();
    Text1->setFocus();
}

void PasswordWindow::onOkClicked() {
    // Exactly the code: no trimming, same length, character for character.
    if (Text1->text() == SettingsWindow::kAccessCode) {
        setting_.pswd = 1;
        accept();
        return;
    }
    context_.message(QStringLiteral("Password wrong!"), kDeviceTitle);
    setting_.pswd = 0;
    reject();
}

// The close box and Escape end here as well, through reject().
void PasswordWindow::onCancelClicked() {
    reject();
}

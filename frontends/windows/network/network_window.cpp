#include "frontends/windows/network/network_window.h"

#include "core/device/requests.h"
#include "core/network/ip_address.h"
#include "core/seriallink/connection.h"
#include "frontends/windows/network/ipbox.h"
#include "frontends/windows/widgets/device_context.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

NetworkWindow::NetworkWindow(DeviceContext& context) : FeatureWindow(context) {
    setWindowTitle(QStringLiteral("Set IP"));
    setFont(QFont(QStringLiteral("Verdana"), 9));

    automaticChoice = new QRadioButton(QStringLiteral("Automatically obtain IP address"), this);
    staticChoice = new QRadioButton(QStringLiteral("Set static IP address"), this);

    addressFrame = new QFrame(this);
    addressFrame->setFrameShape(QFrame::StyledPanel);
    auto* frameRow = new QHBoxLayout(addressFrame);
    auto* label = new QLabel(QStringLiteral("IP address:"), addressFrame);
    addressBox = new ipBox(addressFrame);
    label->setBuddy(addressBox);
    frameRow->addWidget(label);
    frameRow->addWidget(addressBox);
    frameRow->addStretch(1);
    // The window keeps its size whether the address is shown or not.
    QSizePolicy keep = addressFrame->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    addressFrame->setSizePolicy(keep);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto* column = new QVBoxLayout(this);
    column->addWidget(automaticChoice);
    column->addWidget(staticChoice);
    column->addWidget(addressFrame);
    column->addLayout(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);

    connect(automaticChoice, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            onAutomaticChosen();
    });
    connect(staticChoice, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            onStaticChosen();
    });
    connect(okButton, &QPushButton::clicked, this, &NetworkWindow::onOkClicked);
    connect(cancelButton, &QPushButton::clicked, this, &NetworkWindow::onCancelClicked);
}

void NetworkWindow::prepare() {
    automaticAddress = true;
    addressBox->setAddress(QStringLiteral("0.0.0.1"));
    automaticChoice->setChecked(true);
    addressFrame->setVisible(false);
    automaticChoice->setFocus();
}

void NetworkWindow::onAutomaticChosen() {
    addressFrame->setVisible(false);
    automaticAddress = true;
}

void NetworkWindow::onStaticChosen() {
    addressFrame->setVisible(true);
    automaticAddress = false;
}

void NetworkWindow::onOkClicked() {
    const QString command = automaticAddress ? network::kAutoAddressCommand
                                             : network::fixedAddressCommand(addressBox->Address());
    context_.write(new device::WriteRequest(seriallink::wireBytes(command),
                                            device::WriteRequest::Check::Reported));
    accept();
}

void NetworkWindow::onCancelClicked() {
    reject();
}

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

    Option1 = new QRadioButton(QStringLiteral("Automatically obtain IP address"), this);
    Option2 = new QRadioButton(QStringLiteral("Set static IP address"), this);

    AddressFrame = new QFrame(this);
    AddressFrame->setFrameShape(QFrame::StyledPanel);
    auto* frameRow = new QHBoxLayout(AddressFrame);
    auto* label = new QLabel(QStringLiteral("IP address:"), AddressFrame);
    ipBox1 = new ipBox(AddressFrame);
    label->setBuddy(ipBox1);
    frameRow->addWidget(label);
    frameRow->addWidget(ipBox1);
    frameRow->addStretch(1);
    // The window keeps its size whether the address is shown or not.
    QSizePolicy keep = AddressFrame->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    AddressFrame->setSizePolicy(keep);

    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setDefault(true);
    Command2 = new QPushButton(QStringLiteral("Cancel"), this);
    Command2->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* column = new QVBoxLayout(this);
    column->addWidget(Option1);
    column->addWidget(Option2);
    column->addWidget(AddressFrame);
    column->addLayout(buttons);
    column->setSizeConstraint(QLayout::SetFixedSize);

    connect(Option1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            onAutomaticChosen();
    });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            onStaticChosen();
    });
    connect(Command1, &QPushButton::clicked, this, &NetworkWindow::onOkClicked);
    connect(Command2, &QPushButton::clicked, this, &NetworkWindow::onCancelClicked);
}

void NetworkWindow::prepare() {
    AutoIPFlg = 1;
    ipBox1->setAddress(QStringLiteral("0.0.0.1"));
    Option1->setChecked(true);
    AddressFrame->setVisible(false);
    Option1->setFocus();
}

void NetworkWindow::onAutomaticChosen() {
    AddressFrame->setVisible(false);
    AutoIPFlg = 1;
}

void NetworkWindow::onStaticChosen() {
    AddressFrame->setVisible(true);
    AutoIPFlg = 0;
}

void NetworkWindow::onOkClicked() {
    const QString command = AutoIPFlg == 1 ? network::kAutoAddressCommand
                                           : network::fixedAddressCommand(ipBox1->Address());
    context_.write(new device::WriteRequest(seriallink::wireBytes(command),
                                            device::WriteRequest::Check::Reported));
    accept();
}

void NetworkWindow::onCancelClicked() {
    reject();
}

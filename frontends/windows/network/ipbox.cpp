#include "frontends/windows/network/ipbox.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>

namespace {

// One field: up to three decimal digits worth 0..255, or nothing yet.
class OctetValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        if (input.size() > 3)
            return Invalid;
        for (const QChar c : input)
            if (c.unicode() < '0' || c.unicode() > '9')
                return Invalid;
        if (!input.isEmpty() && input.toInt() > 255)
            return Invalid;
        return Acceptable;
    }
};

} // namespace

ipBox::ipBox(QWidget* parent) : QWidget(parent) {
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    outer->addWidget(frame);
    auto* row = new QHBoxLayout(frame);
    row->setContentsMargins(2, 1, 2, 1);
    row->setSpacing(0);
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            row->addWidget(new QLabel(QStringLiteral("."), frame));
        auto* e = new QLineEdit(frame);
        e->setFrame(false);
        e->setAlignment(Qt::AlignCenter);
        e->setMaxLength(3);
        e->setValidator(new OctetValidator(e));
        e->setAccessibleName(QStringLiteral("IP address field %1").arg(i + 1));
        e->setFixedWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 6);
        e->installEventFilter(this);
        row->addWidget(e);
        fields_[i] = e;
        connect(e, &QLineEdit::textChanged, this, &ipBox::nameAddress);
        connect(e, &QLineEdit::textEdited, this, [this, i, e](const QString& text) {
            if (i < 3 && text.size() == 3 && e->cursorPosition() == 3)
                focusField(i + 1, false);
        });
    }
    setFocusProxy(fields_[0]);
    setAddress(QStringLiteral("0.0.0.0"));
}

QString ipBox::Address() const {
    QStringList parts;
    for (const QLineEdit* e : fields_)
        parts << QString::number(e->text().isEmpty() ? 0 : e->text().toInt());
    return parts.join(QLatin1Char('.'));
}

std::optional<IpError> ipBox::setAddress(const QString& NewIP) {
    const network::ParsedAddress a = network::parseAddress(NewIP);
    if (a.error)
        return a.error;
    // One announcement for the new address, not one for each field on the way.
    naming_ = false;
    for (int i = 0; i < 4; ++i)
        fields_[i]->setText(QString::number(a.octets[i]));
    naming_ = true;
    nameAddress();
    return std::nullopt;
}

void ipBox::nameAddress() {
    if (!naming_)
        return;
    // A screen reader hears each field on its own; the box as a whole reads
    // as the address it shows.
    setAccessibleName(QStringLiteral("IP address: ") + Address());
}

int ipBox::indexOf(QObject* o) const {
    for (int i = 0; i < 4; ++i)
        if (fields_[i] == o)
            return i;
    return -1;
}

void ipBox::focusField(int i, bool atEnd) {
    QLineEdit* e = fields_[i];
    e->setFocus(Qt::OtherFocusReason);
    if (atEnd) {
        e->deselect();
        e->setCursorPosition(e->text().size());
    } else {
        e->selectAll();
    }
}

bool ipBox::eventFilter(QObject* watched, QEvent* event) {
    const int i = indexOf(watched);
    if (i < 0 || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    QLineEdit* e = fields_[i];
    const bool noSelection = !e->hasSelectedText();
    switch (key->key()) {
    case Qt::Key_Period:
        // An empty field stays where it is, so a stray dot skips nothing.
        if (i < 3 && !e->text().isEmpty())
            focusField(i + 1, false);
        return true;
    case Qt::Key_Backspace:
        if (i > 0 && noSelection && e->cursorPosition() == 0) {
            focusField(i - 1, true);
            return true;
        }
        break;
    case Qt::Key_Left:
        if (i > 0 && noSelection && e->cursorPosition() == 0) {
            focusField(i - 1, true);
            return true;
        }
        break;
    case Qt::Key_Right:
        if (i < 3 && noSelection && e->cursorPosition() == e->text().size()) {
            fields_[i + 1]->setFocus(Qt::OtherFocusReason);
            fields_[i + 1]->setCursorPosition(0);
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

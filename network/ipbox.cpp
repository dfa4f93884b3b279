#include "network/ipbox.h"

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

// A part of the written text as a field value, or nothing when it is none.
std::optional<int> octet(const QString& part) {
    const QString t = part.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    for (const QChar c : t)
        if (c.unicode() < '0' || c.unicode() > '9')
            return std::nullopt;
    bool ok = false;
    const uint v = t.toUInt(&ok);
    if (!ok || v > 255)
        return std::nullopt;
    return static_cast<int>(v);
}

} // namespace

ipBox::ipBox(QWidget* parent) : QWidget(parent) {
    setAccessibleName(QStringLiteral("IP address"));
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
    if (CountIF(NewIP, QLatin1Char('.')) < 3)
        return IpError{kTooFewDots, kFormatError};
    const QStringList parts = NewIP.split(QLatin1Char('.'));
    std::array<int, 4> values{};
    for (int i = 0; i < 4; ++i) {
        // A dot counted in a non-ASCII character leaves fewer parts than
        // dots; a missing part is as wrong as an empty one.
        const std::optional<int> v = octet(parts.value(i));
        if (!v)
            return IpError{kBadPart,
                           QStringLiteral("Ip 地址格式错误\r\n第 %1 段 \"%2\" 应为 0 到 255 的数字")
                               .arg(QString::number(i + 1), parts.value(i))};
        values[i] = *v;
    }
    for (int i = 0; i < 4; ++i)
        fields_[i]->setText(QString::number(values[i]));
    return std::nullopt;
}

std::int16_t ipBox::CountIF(const QString& lzExpr, QChar nChar) {
    const char16_t code = nChar.unicode();
    std::int16_t count = 0;
    for (const QChar c : lzExpr) {
        const char16_t u = c.unicode();
        if ((u & 0xFF) == code)
            ++count;
        if ((u >> 8) == code)
            ++count;
    }
    return count;
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

#include "frontends/windows/widgets/lamp.h"

#include <QPainter>

namespace widgets {

Lamp::Lamp(const QColor& color, const QString& name, QWidget* parent)
    : QWidget(parent), color_(color), name_(name) {
    setAccessibleName(name_ + QStringLiteral(": dark"));
    setAttribute(Qt::WA_TranslucentBackground);
}

void Lamp::setLit(bool lit) {
    if (lit == lit_)
        return;
    lit_ = lit;
    // The state is in the name, not the description: a screen reader is
    // told when a name changes (setAccessibleName sends Qt's NameChanged
    // event) and reads it first.
    setAccessibleName(name_ + (lit ? QStringLiteral(": lit") : QStringLiteral(": dark")));
    update();
}

void Lamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(outline_, 1.2));
    p.setBrush(lit_ ? QBrush(color_) : Qt::NoBrush);
    p.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
}

} // namespace widgets

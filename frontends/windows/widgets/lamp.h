#pragma once

#include <QColor>
#include <QWidget>

namespace widgets {

// A round indicator: filled with its colour when lit, only its outline when
// dark. Screen readers hear its name with ": lit" or ": dark" after it.
class Lamp : public QWidget {
    Q_OBJECT
public:
    Lamp(const QColor& color, const QString& name, QWidget* parent = nullptr);
    void setLit(bool lit);
    bool isLit() const { return lit_; }
    void setOutline(const QColor& c) { outline_ = c; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor color_;
    QString name_;
    QColor outline_{Qt::black};
    bool lit_ = false;
};

} // namespace widgets

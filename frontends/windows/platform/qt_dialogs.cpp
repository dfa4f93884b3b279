#include "frontends/windows/platform/qt_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace platform {

void QtDialogs::message(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtDialogs::confirm(QWidget* parent, const QString& text, const QString& details,
                        const QString& title) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    box.setDetailedText(details);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtDialogs::openFileName(QWidget* parent, const QString& filter) {
    const QString name =
        QFileDialog::getOpenFileName(parent, QString(), QString(), qtFileFilter(filter));
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

std::optional<QString> QtDialogs::saveFileName(QWidget* parent, const QString& filter,
                                               bool confirmOverwrite) {
    const QString name = QFileDialog::getSaveFileName(
        parent, QString(), QString(), qtFileFilter(filter), nullptr,
        confirmOverwrite ? QFileDialog::Options() : QFileDialog::DontConfirmOverwrite);
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

QString qtFileFilter(const QString& filter) {
    if (filter.contains(QLatin1String(";;"))) {
        QStringList parts = filter.split(QLatin1String(";;"));
        for (QString& part : parts)
            part = qtFileFilter(part);
        return parts.join(QLatin1String(";;"));
    }
    const qsizetype bar = filter.indexOf(QLatin1Char('|'));
    if (bar < 0)
        return filter;
    const QString name = filter.left(bar);
    if (name.contains(QLatin1Char('(')))
        return name;
    return name + QStringLiteral(" (") + filter.mid(bar + 1) + QLatin1Char(')');
}

} // namespace platform

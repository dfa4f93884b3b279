#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace platform {

// Message boxes and file dialogs. All of them block the caller until the
// operator answers, as native ones do; the fake answers at once.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A message box with one OK button.
    virtual void message(QWidget* parent, const QString& text, const QString& title) = 0;
    // A question with Yes and No (No the default): whether the operator
    // answered Yes. details: a longer text the box shows on request.
    virtual bool confirm(QWidget* parent, const QString& text, const QString& details,
                         const QString& title) = 0;
    // An open or save dialog with a filter in the "Name(*.ext)|*.ext" form,
    // or several such joined by ";;"; nothing when the operator cancels. A
    // save dialog asks before it names a file that exists only when told to.
    virtual std::optional<QString> openFileName(QWidget* parent, const QString& filter) = 0;
    virtual std::optional<QString> saveFileName(QWidget* parent, const QString& filter,
                                                bool confirmOverwrite = false) = 0;
};

} // namespace platform

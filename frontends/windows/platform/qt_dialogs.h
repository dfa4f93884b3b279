#pragma once

#include "frontends/windows/platform/dialogs.h"

namespace platform {

// Native message boxes and file dialogs.
class QtDialogs : public Dialogs {
public:
    void message(QWidget* parent, const QString& text, const QString& title) override;
    bool confirm(QWidget* parent, const QString& text, const QString& details,
                 const QString& title) override;
    std::optional<QString> openFileName(QWidget* parent, const QString& filter) override;
    std::optional<QString> saveFileName(QWidget* parent, const QString& filter,
                                        bool confirmOverwrite) override;
};

// "EDID(*.bin)|*.bin" -> "EDID(*.bin)", the form QFileDialog takes; each
// of several filters joined by ";;" alike.
QString qtFileFilter(const QString& filter);

} // namespace platform

#include "main_window/form1.h"
#include "replies/dispatcher.h"
#include "settings/setting.h"

namespace replies {

void settingsReply(Form1& f, const QString& line) {
    if (keyword(line, "stm")) {
        f.Timer2->stop();
        return;
    }
    if (keyword(line, "sto")) {
        f.setting().quit();
        return;
    }
}

} // namespace replies

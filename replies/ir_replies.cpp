#include "ir/irset.h"
#include "main_window/form1.h"
#include "replies/dispatcher.h"

namespace replies {

void irCodeReply(Form1& f, const QString& line) {
    if (keyword(line, "irm")) {
        f.Timer2->stop();
        return;
    }
    if (keyword(line, "iro")) {
        f.irSet().quit();
        return;
    }
}

} // namespace replies

#include "edid/edidset.h"
#include "main_window/form1.h"
#include "replies/dispatcher.h"

namespace replies {

void edidReply(Form1& f, const QString& line) {
    if (keyword(line, "edm")) {
        f.Timer2->stop();
        return;
    }
    if (keyword(line, "edo")) {
        f.edidSet().quit();
        return;
    }
}

} // namespace replies

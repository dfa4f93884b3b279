#include "ir/ir_link.h"

#include "main_window/form1.h"

namespace ir {

bool sendCommand(Form1& form1, const QString& command) {
    if (form1.link().sendLine(command))
        return true;
    form1.message(seriallink::kWriteFailedText, seriallink::kWriteFailedTitle);
    return false;
}

} // namespace ir

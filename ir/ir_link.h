#pragma once

#include <QString>

class Form1;

namespace ir {

// Sends one command line through the main window's port. When the port is
// closed or the write fails, the operator sees "open serial port fail！ "
// over the window on top, and the result is false.
bool sendCommand(Form1& form1, const QString& command);

} // namespace ir

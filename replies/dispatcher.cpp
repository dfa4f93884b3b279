#include "replies/dispatcher.h"

#include "ir/irmatrix.h"
#include "main_window/form1.h"

namespace replies {

namespace {

bool isDigit(QChar c) {
    return c.unicode() >= '0' && c.unicode() <= '9';
}

bool isRoutingReport(const QString& line) {
    return line.size() >= 3 && line[0] == QChar('s') && isDigit(line[1]) && isDigit(line[2]);
}

} // namespace

void findCmdProcess(Form1& f, const QString& line) {
    if (isRoutingReport(line)) {
        const QString out = chars(line, 2, 1);
        const QString in = chars(line, 3, 1);
        f.outled(out, in);
        f.appendLog(QStringLiteral("\r\nHDMI Out") + out + QStringLiteral(" -> HDMI In") + in);
        f.scrollLogToEnd();
        return;
    }
    if (keyword(line, "srp")) {
        f.IRout = chars(line, 6, 1);
        f.IRin = chars(line, 9, 1);
        f.irMatrix().Ledstatus(f.IRout, f.IRin);
        return;
    }
    if (keyword(line, "Ack"))
        return;
    if (f.IrMode == 1) {
        irCodeReply(f, line);
        return;
    }
    if (f.EdidMode == 1) {
        edidReply(f, line);
        return;
    }
    if (f.SetupMode == 1) {
        settingsReply(f, line);
        return;
    }
    // Late echoes of the word that closed a feature window.
    if (keyword(line, "sto") || keyword(line, "edo") || keyword(line, "iro"))
        return;
    f.appendLog(line);
    f.scrollLogToEnd();
}

} // namespace replies

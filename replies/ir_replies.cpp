#include "ir/ir_codes.h"
#include "ir/ir_link.h"
#include "ir/irset.h"
#include "main_window/form1.h"
#include "replies/dispatcher.h"

#include <QProgressBar>

namespace replies {

namespace {

// The device returned the entry addressed by the last "ric ".
void codeRead(Form1& f, IrSet& s, const QString& line) {
    // Only a run in progress is continued: a reply that comes after the run
    // ended or timed out must not start it again.
    if (!s.runInProgress())
        return;
    const QString code = ir::replyCode(line, 5);
    int& n = f.codeInt;
    if (n < 0 || n > ir::kLastEntry)
        return;
    if (n < ir::kLastEntry) {
        const int entry = n;
        // Codes are byte values: "5" written comes back as "05".
        if (s.method != 0 && !ir::sameCode(s.codetxt[entry]->text(), code)) {
            s.ProgressBar1->setValue(entry);
            s.endRun(QStringLiteral("Write error!"));
            return;
        }
        // The next command goes out before the window shows this answer:
        // the progress bar repaints at once, and the line need not wait.
        ++n;
        s.sendRunCommand(ir::readCodeCommand(n));
        s.ProgressBar1->setValue(entry);
        if (s.method == 0) {
            s.setStatusText(QStringLiteral("Reading"));
            s.codetxt[entry]->setText(code);
        } else {
            s.setStatusText(QStringLiteral("Write Checking!"));
        }
        return;
    }
    if (s.method == 0) {
        s.codetxt[n]->setText(code);
        s.endRun(QStringLiteral("Read OK!"));
    } else if (ir::sameCode(s.codetxt[n]->text(), code)) {
        s.endRun(QStringLiteral("Write OK!"));
        n = ir::kLastEntry + 1;
        ir::sendCommand(f, QStringLiteral("sav"));
    } else {
        s.endRun(QStringLiteral("Write error!"));
    }
}

// The device stored the entry written by the last "wic ".
void codeWritten(Form1& f, IrSet& s) {
    if (!s.runInProgress())
        return;
    int& n = f.codeInt;
    if (n < 0 || n > ir::kLastEntry)
        return;
    if (n < ir::kLastEntry) {
        const int entry = n;
        ++n;
        s.sendRunCommand(ir::writeCodeCommand(n, s.codetxt[n]->text()));
        s.ProgressBar1->setValue(entry);
        s.setStatusText(QStringLiteral("Writing"));
        return;
    }
    // All 81 entries are written; reading them back checks them.
    n = 0;
    s.sendRunCommand(ir::readCodeCommand(n));
}

// The device's IR receiver decoded a key of a remote.
void codeLearned(IrSet& s, const QString& line) {
    s.CstCode->setText(ir::replyCode(line, 5));
    s.DataCode->setText(ir::replyCode(line, 8));
    s.codetxt[0]->setText(s.CstCode->text());
    if (s.codefocus < 1 || s.codefocus > ir::kLastEntry)
        s.codefocus = 1;
    s.codetxt[s.codefocus]->setText(s.DataCode->text());
    if (s.codefocus < ir::kLastEntry)
        ++s.codefocus;
    const int k = s.codefocus;
    s.codetxt[k]->setFocus();
    // The focus event only comes while the window is active, and the box
    // may already have had the focus; the handler does the same either way.
    s.codetxt_GotFocus(k);
}

} // namespace

void irCodeReply(Form1& f, const QString& line) {
    if (keyword(line, "rok")) {
        codeRead(f, f.irSet(), line);
        return;
    }
    if (keyword(line, "wok")) {
        codeWritten(f, f.irSet());
        return;
    }
    if (keyword(line, "rir")) {
        codeLearned(f.irSet(), line);
        return;
    }
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

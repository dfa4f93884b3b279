#include "edid/edid_image.h"
#include "edid/edidset.h"
#include "edid/hex_view.h"
#include "main_window/form1.h"
#include "replies/dispatcher.h"

// The EDID transfer, driven by the device's answers: each accepted byte
// sends the next, a finished download starts its verification read, a read
// appends each byte to the view and retries a byte the device did not
// deliver.

namespace replies {

namespace {

bool isLoneLf(const QString& line) {
    return chars(line, 1, 1) == QLatin1String("\n");
}

void downloadReply(EDIDSet& w, const QString& line) {
    if (keyword(line, "rdy")) {
        w.Download();
        return;
    }
    if (chars(line, 1, 2) == QLatin1String("ok")) {
        if (w.slave < edid::kImageSize) {
            w.Download();
            return;
        }
        // Byte 255 is in: read the whole image back to verify it.
        w.Verify = 1;
        w.setStatus(QStringLiteral("DownLoad Over!"));
        w.start_Load = 0;
        w.slave = 0;
        w.start_Read = 1;
        w.edid_Len = 0;
        w.forgetReadBytes();
        if (!w.sendTransferCommand(edid::openCommand(w.Port, true)))
            return;
        w.Text1->clear();
        w.setStatus(QStringLiteral("EDID Verify... "));
        return;
    }
    if (isLoneLf(line))
        return;
    w.setStatus(QStringLiteral("DownLoad Err!"));
    w.start_Load = 0;
    w.stopAnswerTimer();
}

void readReply(EDIDSet& w, const QString& line) {
    if (keyword(line, "rdy")) {
        w.ReadEDID();
        return;
    }
    if (keyword(line, "ok ")) {
        const QString byte = chars(line, 4, 2);
        const int index = w.slave - 1;
        if (index >= 0 && index < edid::kImageSize)
            w.readBytes[index] = edid::strictHexByte(byte);
        if (w.slave < edid::kImageSize) {
            if (w.Verify == 1 && w.slave == 128)
                w.ReadChkSum1 = byte;
            const int shown = w.edid_Len++;
            // Ask for the next byte before showing this one: the view lays
            // the text out at once, and the line need not wait for that.
            w.ReadEDID();
            w.Text1->append(edid::readFormCell(byte, shown));
            return;
        }
        w.stopAnswerTimer();
        const bool verifying = w.Verify == 1;
        if (verifying) {
            w.Text1->append(byte + QStringLiteral("  "));
            w.ReadChkSum2 = byte;
        } else {
            w.setStatus(QStringLiteral("Read OK!"));
            w.Text1->append(byte + QStringLiteral("  "));
        }
        // The read is over before it is reported: the report may raise a
        // message box, and a line that comes in while the box is up must
        // find no transfer running, not pass for a 257th byte and raise the
        // box again.
        w.Verify = 0;
        w.start_Read = 0;
        w.slave = 0;
        w.checkFinishedRead(verifying);
        return;
    }
    if (isLoneLf(line))
        return;
    // The byte did not come: ask for it again, and give up after five
    // failures in a row at one position.
    if (w.slave > 0)
        --w.slave;
    if (w.temp_slave != w.slave) {
        w.temp_slave = w.slave;
        w.ReadEDID();
        w.temp_errs = 0;
        return;
    }
    w.ReadEDID();
    ++w.temp_errs;
    if (w.temp_errs >= 4) {
        w.setStatus(QStringLiteral("Read EDID Err!"));
        w.start_Read = 0;
        w.stopAnswerTimer();
        w.Verify = 0;
    }
}

} // namespace

void edidReply(Form1& f, const QString& line) {
    EDIDSet& w = f.edidSet();
    const bool exitWord = keyword(line, "edo");
    if (w.start_Load == 1 && !exitWord) {
        downloadReply(w, line);
        return;
    }
    if (w.start_Read == 1 && !exitWord) {
        readReply(w, line);
        return;
    }
    if (keyword(line, "edm")) {
        f.Timer2->stop();
        return;
    }
    if (exitWord) {
        w.quit();
        return;
    }
}

} // namespace replies

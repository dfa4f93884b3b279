#include "main_window/form1.h"
#include "replies/dispatcher.h"
#include "settings/setting.h"
#include "settings/setting_numbers.h"

#include <QRadioButton>
#include <cmath>

namespace replies {

namespace {

// The value argument of a settings reply: two characters from position 5.
QString argument(const QString& line) {
    return chars(line, 5, 2);
}

// A reply that reports a port mask when an all-ports command is pending, or
// confirms a single command otherwise.
void maskOrConfirm(Setting& s, const QString& line) {
    if (s.ALLFlg == 1)
        s.CheckALLCmd(settings::readHex(argument(line)));
    else if (s.SendCMDFlg == 1)
        s.CheckSendSuccess();
}

// Long-cable mode. A negative value is no mode at all and is ignored whole:
// nothing is shown and nothing is confirmed.
void longCable(Setting& s, const QString& line) {
    const double value = std::nearbyint(settings::readDecimal(argument(line)));
    if (value < 0 || value > 255)
        return;
    s.Clicked = 0;
    s.LCmode = static_cast<std::uint8_t>(value);
    if (s.LCmode <= 1)
        s.LCHDMIOpt[0]->setChecked(true);
    else if (s.LCmode <= 3)
        s.LCHDMIOpt[1]->setChecked(true);
    if (s.SendCMDFlg == 1)
        s.CheckSendSuccess();
    s.Clicked = -1;
}

// EDID mode. An index that names no option (outside 0..5, or not whole) is
// ignored whole, like an argument that is no number.
void edidMode(Setting& s, const QString& line) {
    s.Clicked = 0;
    const std::optional<double> n = settings::numberOf(argument(line));
    if (n && *n >= 0 && *n <= 5 && *n == std::floor(*n)) {
        s.EDID_opt[static_cast<int>(*n)]->setChecked(true);
        if (s.SendCMDFlg == 1)
            s.CheckSendSuccess();
    }
    s.Clicked = -1;
}

} // namespace

void settingsReply(Form1& f, const QString& line) {
    Setting& s = f.setting();
    if (keyword(line, "stm")) {
        f.Timer2->stop();
    } else if (keyword(line, "slc")) {
        longCable(s, line);
    } else if (keyword(line, "smd")) {
        edidMode(s, line);
    } else if (keyword(line, "swm")) {
        s.Clicked = 0;
        if (settings::numberOf(argument(line)) && s.SendCMDFlg == 1)
            s.CheckSendSuccess();
        s.Clicked = -1;
    } else if (keyword(line, "seq") || keyword(line, "utp")) {
        s.Clicked = 0;
        maskOrConfirm(s, line);
        s.Clicked = -1;
    } else if (keyword(line, "sed")) {
        maskOrConfirm(s, line);
    } else if (keyword(line, "rst")) {
        if (s.SendCMDFlg == 1)
            s.CheckSendSuccess();
    } else if (keyword(line, "sto")) {
        s.quit();
    }
}

} // namespace replies

#include "core/settings/settings_session.h"

#include "core/protocol/commands.h"
#include "core/protocol/reply_line.h"
#include "core/seriallink/connection.h"
#include "core/seriallink/wire.h"
#include "core/settings/setting_numbers.h"

#include <cmath>

namespace settings {

using protocol::chars;

namespace {

// The value argument of a settings reply: two characters from position 5.
QString argument(const QString& line) {
    return chars(line, 5, 2);
}

} // namespace

SettingsSession::SettingsSession(seriallink::Wire& wire, const protocol::Model& model)
    : wire_(wire), model_(model) {}

void SettingsSession::statusQuery() {
    wire_.raw(seriallink::wireBytes(protocol::settingsQueryCommand()));
}

void SettingsSession::setLongCable(int index) {
    // Bit 0 belongs to a setting this window does not offer; it is always on.
    LCmode = static_cast<std::uint8_t>(2 * index + 1);
    cmdstr = protocol::longCableCommand(hex(LCmode));
    SendCmd();
}

void SettingsSession::setEdidMode(int index) {
    cmdstr = protocol::edidModeCommand(hex(index));
    SendCmd();
}

void SettingsSession::copyEdid(int from, int to) {
    if (to == model_.inputs) { // every input
        cmdstr = protocol::copyEdidCommand(hex(from), QStringLiteral("10"));
        ALLFlg = 1;
    } else {
        cmdstr = protocol::copyEdidCommand(hex(from), hex(to));
    }
    SendCmd();
}

void SettingsSession::factoryReset() {
    cmdstr = protocol::factoryResetCommand();
    SendCmd();
}

void SettingsSession::SendCmd() {
    // The settings window opens only while the port is open, so there is no
    // check.
    wire_.raw(seriallink::wireBytes(cmdstr));
    SendCMDFlg = 1;
    setStatus(QStringLiteral("Set Command..."));
}

void SettingsSession::CheckSendSuccess() {
    if (SendCMDFlg != 1)
        return;
    SendCMDFlg = 0;
    setStatus(QStringLiteral("Set Command Successfully!"));
}

void SettingsSession::CheckALLCmd(double mask) {
    SendCMDFlg = 0;
    // Only a fully successful answer ends the all-ports state; after a
    // failure the next mask-carrying reply is read as a mask again.
    if (mask == allPortsMask(model_.inputs))
        ALLFlg = 0;
    setStatus(allPortsStatus(static_cast<int>(mask), model_.inputs));
}

int SettingsSession::Getbit(long value, int n) {
    return settings::Getbit(value, n);
}

void SettingsSession::forgetPending() {
    SendCMDFlg = 0;
    ALLFlg = 0;
    cmdstr.clear();
}

void SettingsSession::setStatus(const QString& text) {
    status_ = text;
    emit statusChanged(text);
}

// A reply that reports a port mask when an all-ports command is pending, or
// confirms a single command otherwise.
void SettingsSession::maskOrConfirm(const QString& line) {
    if (ALLFlg == 1)
        CheckALLCmd(readHex(argument(line)));
    else if (SendCMDFlg == 1)
        CheckSendSuccess();
}

// Long-cable mode. A negative value is no mode at all and is ignored whole:
// nothing is shown and nothing is confirmed.
void SettingsSession::longCable(const QString& line) {
    const double value = std::nearbyint(readDecimal(argument(line)));
    if (value < 0 || value > 255)
        return;
    Clicked = 0;
    LCmode = static_cast<std::uint8_t>(value);
    if (LCmode <= 1)
        emit longCableReported(0);
    else if (LCmode <= 3)
        emit longCableReported(1);
    if (SendCMDFlg == 1)
        CheckSendSuccess();
    Clicked = -1;
}

// EDID mode. An index that names no option (outside 0..5, or not whole) is
// ignored whole, like an argument that is no number.
void SettingsSession::edidMode(const QString& line) {
    Clicked = 0;
    const std::optional<double> n = numberOf(argument(line));
    if (n && *n >= 0 && *n <= 5 && *n == std::floor(*n)) {
        emit edidModeReported(static_cast<int>(*n));
        if (SendCMDFlg == 1)
            CheckSendSuccess();
    }
    Clicked = -1;
}

bool SettingsSession::reply(const protocol::Reply& r) {
    if (r.kind != protocol::Reply::Kind::SettingsReply)
        return false;
    const QString& line = r.line;
    using S = protocol::Reply::Setting;
    switch (r.setting) {
    case S::LongCable:
        longCable(line);
        break;
    case S::EdidMode:
        edidMode(line);
        break;
    case S::WorkMode:
        Clicked = 0;
        if (numberOf(argument(line)) && SendCMDFlg == 1)
            CheckSendSuccess();
        Clicked = -1;
        break;
    case S::Equalizer:
    case S::Utp:
        Clicked = 0;
        maskOrConfirm(line);
        Clicked = -1;
        break;
    case S::EdidCopy:
        maskOrConfirm(line);
        break;
    case S::Reset:
        if (SendCMDFlg == 1)
            CheckSendSuccess();
    }
    return true;
}

} // namespace settings

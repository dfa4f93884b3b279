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
    longCable_ = 2 * index + 1;
    command_ = protocol::longCableCommand(hex(longCable_));
    send();
}

void SettingsSession::setEdidMode(int index) {
    command_ = protocol::edidModeCommand(hex(index));
    send();
}

void SettingsSession::copyEdid(int from, int to) {
    if (to == model_.inputs) { // every input
        command_ = protocol::copyEdidCommand(hex(from), QStringLiteral("10"));
        allPending_ = true;
    } else {
        command_ = protocol::copyEdidCommand(hex(from), hex(to));
    }
    send();
}

void SettingsSession::factoryReset() {
    command_ = protocol::factoryResetCommand();
    send();
}

void SettingsSession::send() {
    // The settings window opens only while the port is open, so there is no
    // check.
    wire_.raw(seriallink::wireBytes(command_));
    pending_ = true;
    setStatus(QStringLiteral("Set Command..."));
}

void SettingsSession::confirm() {
    if (!pending_)
        return;
    pending_ = false;
    setStatus(QStringLiteral("Set Command Successfully!"));
}

void SettingsSession::confirmAll(double mask) {
    pending_ = false;
    // Only a fully successful answer ends the all-ports state; after a
    // failure the next mask-carrying reply is read as a mask again.
    if (mask == allPortsMask(model_.inputs))
        allPending_ = false;
    setStatus(allPortsStatus(static_cast<int>(mask), model_.inputs));
}

void SettingsSession::forgetPending() {
    pending_ = false;
    allPending_ = false;
    command_.clear();
}

void SettingsSession::setStatus(const QString& text) {
    status_ = text;
    emit statusChanged(text);
}

// A reply that reports a port mask when an all-ports command is pending, or
// confirms a single command otherwise.
void SettingsSession::maskOrConfirm(const QString& line) {
    if (allPending_)
        confirmAll(readHex(argument(line)));
    else if (pending_)
        confirm();
}

// Long-cable mode. A negative value is no mode at all and is ignored whole:
// nothing is shown and nothing is confirmed.
void SettingsSession::longCable(const QString& line) {
    const double value = std::nearbyint(readDecimal(argument(line)));
    if (value < 0 || value > 255)
        return;
    showingReply_ = true;
    longCable_ = static_cast<int>(value);
    if (longCable_ <= 1)
        emit longCableReported(0);
    else if (longCable_ <= 3)
        emit longCableReported(1);
    if (pending_)
        confirm();
    showingReply_ = false;
}

// EDID mode. An index that names no option (outside 0..5, or not whole) is
// ignored whole, like an argument that is no number.
void SettingsSession::edidMode(const QString& line) {
    showingReply_ = true;
    const std::optional<double> n = numberOf(argument(line));
    if (n && *n >= 0 && *n <= 5 && *n == std::floor(*n)) {
        emit edidModeReported(static_cast<int>(*n));
        if (pending_)
            confirm();
    }
    showingReply_ = false;
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
        showingReply_ = true;
        if (numberOf(argument(line)) && pending_)
            confirm();
        showingReply_ = false;
        break;
    case S::Equalizer:
    case S::Utp:
        showingReply_ = true;
        maskOrConfirm(line);
        showingReply_ = false;
        break;
    case S::EdidCopy:
        maskOrConfirm(line);
        break;
    case S::Reset:
        if (pending_)
            confirm();
    }
    return true;
}

} // namespace settings

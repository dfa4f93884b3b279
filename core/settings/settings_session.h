#pragma once

#include "core/protocol/model.h"
#include "core/protocol/replies.h"
#include <QObject>
#include <QString>

namespace seriallink {
class Wire;
}

namespace settings {

// The device settings exchange: every change goes out as one command that
// stays pending until a reply confirms it, and the outcome is a status text.
// Replies are not matched to commands: whatever confirms, confirms what is
// pending. Nothing is resent and nothing times out.
//
// The replies also report the device's current long-cable and EDID modes,
// which whoever shows them is told of.
class SettingsSession : public QObject {
    Q_OBJECT
public:
    SettingsSession(seriallink::Wire& wire, const protocol::Model& model);

    const protocol::Model& model() const { return model_; }

    // The status query the settings window sends on opening; nothing becomes
    // pending.
    void statusQuery();
    // The operations: long-cable mode 0 "OFF" / 1 "ON"; EDID mode 0..5; the
    // EDID of output `from` (list index, -1 for none) copied to input `to`
    // (from 0, the model's input count for all inputs, -1 for none); the
    // factory reset.
    void setLongCable(int index);
    void setEdidMode(int index);
    void copyEdid(int from, int to);
    void factoryReset();

    // Nothing pending any more: the settings window closed.
    void forgetPending();

    // The settings recogniser of setting mode: true when the line was one of
    // its replies (long cable, EDID mode, switch mode, equaliser, UTP, EDID
    // copy, factory reset).
    bool reply(const protocol::Reply& r);

    const QString& statusText() const { return status_; }

    // The settings window's guard: true while the program changes an option
    // or list (a reply shown), so that nothing is sent back; false while a
    // change comes from the operator and may send a command.
    bool showingReply() const { return showingReply_; }
    void setShowingReply(bool on) { showingReply_ = on; }
    // The last command sent, its reply awaited (pending()), and whether it
    // was a copy to every input, which a port mask answers.
    const QString& pendingCommand() const { return command_; }
    bool pending() const { return pending_; }
    bool allPending() const { return allPending_; }
    // The long-cable value last sent or reported.
    int longCableValue() const { return longCable_; }

signals:
    void statusChanged(const QString& text);
    // The device reports long-cable option 0 "OFF" or 1 "ON", or EDID mode
    // 0..5: shown without sending anything back.
    void longCableReported(int option);
    void edidModeReported(int option);

private:
    void send();
    void confirm();
    void confirmAll(double mask);
    void setStatus(const QString& text);
    void maskOrConfirm(const QString& line);
    void longCable(const QString& line);
    void edidMode(const QString& line);

    seriallink::Wire& wire_;
    const protocol::Model& model_;
    QString status_;
    bool showingReply_ = false;
    QString command_;
    bool pending_ = false;
    bool allPending_ = false;
    int longCable_ = 0;
};

} // namespace settings

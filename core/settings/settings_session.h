#pragma once

#include "core/protocol/model.h"
#include "core/protocol/replies.h"
#include <QObject>
#include <QString>
#include <cstdint>

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

    // The confirmed command path.
    void SendCmd();
    void CheckSendSuccess();
    void CheckALLCmd(double mask);
    static int Getbit(long value, int n);
    // Nothing pending any more: the settings window closed.
    void forgetPending();

    // The settings recogniser of setting mode: true when the line was one of
    // its replies (long cable, EDID mode, switch mode, equaliser, UTP, EDID
    // copy, factory reset).
    bool reply(const protocol::Reply& r);

    const QString& statusText() const { return status_; }

    // The settings window's guard: -1 while a change of an option or list
    // comes from the operator and may send a command; 0 while the program
    // changes them (a reply shown), so that nothing is sent back.
    std::int16_t Clicked = -1;
    QString cmdstr;
    std::uint8_t SendCMDFlg = 0;
    std::uint8_t ALLFlg = 0;
    std::uint8_t LCmode = 0;

signals:
    void statusChanged(const QString& text);
    // The device reports long-cable option 0 "OFF" or 1 "ON", or EDID mode
    // 0..5: shown without sending anything back.
    void longCableReported(int option);
    void edidModeReported(int option);

private:
    void setStatus(const QString& text);
    void maskOrConfirm(const QString& line);
    void longCable(const QString& line);
    void edidMode(const QString& line);

    seriallink::Wire& wire_;
    const protocol::Model& model_;
    QString status_;
};

} // namespace settings

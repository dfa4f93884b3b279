#pragma once

#include "core/protocol/shape.h"

#include <QObject>
#include <QString>
#include <array>

namespace seriallink {
class Wire;
}

namespace device {

// Which input each HDMI output shows, as the device last reported it, and the
// commands that change the routing: a routing button, the presets, the
// all-outputs selector and the status request. A command only goes out; the
// state changes when the device's report comes back.
class RoutingState : public QObject {
    Q_OBJECT
public:
    explicit RoutingState(seriallink::Wire& wire);

    // Relights output ledport (1..8) for input ss (1..8): an input above 8
    // stands for the first, one of 0 or below leaves the output dark, an
    // output outside 1..8 changes nothing.
    void outled(int ledport, int ss);
    // The same from the one-digit texts of a report.
    void outled(const QString& ledport, const QString& ss);
    // The lit lamp of output 1..8: input index 0..7, or -1 when dark.
    int litLamp(int output) const { return lit_.at(output - 1); }
    // The input 1..8 output 1..8 shows; 0 when none was reported.
    int input(int output) const { return lit_.at(output - 1) + 1; }

    // Routing button 11..90: writes its route command (a failed write is
    // reported) and returns the command text, CR LF included; empty for an
    // index that names no button.
    QString route(int n);
    // Preset save / recall i, behind the port-open guard.
    bool presetSave(int index);
    bool presetRecall(int index);
    // Every output to input 0..7, behind the port-open guard.
    bool allOutputs(int input0);
    // The status request, a failed write reported.
    bool status();

signals:
    // Output 1..8 shows another lamp.
    void outputChanged(int output);

private:
    seriallink::Wire& wire_;
    std::array<int, protocol::kOutputs> lit_;
};

} // namespace device

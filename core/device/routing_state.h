#pragma once

#include "core/protocol/model.h"

#include <QList>
#include <QObject>
#include <QString>

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
    RoutingState(seriallink::Wire& wire, const protocol::Model& model);

    // Relights output ledport for input ss (both from 1): an input past the
    // last stands for the first, one of 0 or below leaves the output dark,
    // an output the model does not have changes nothing.
    void outled(int ledport, int ss);
    // The same from the one-digit texts of a report.
    void outled(const QString& ledport, const QString& ss);
    // The lit lamp of an output (from 1): input index from 0, or -1 when
    // dark.
    int litLamp(int output) const { return lit_.at(output - 1); }
    // The input (from 1) an output shows; 0 when none was reported.
    int input(int output) const { return lit_.at(output - 1) + 1; }

    // Routes output to input (both from 1): writes the model's route command
    // raw (a failed write is reported) and returns its text, CR LF
    // included; empty for a port the model does not have.
    QString route(int output, int input);
    // Preset save / recall i, behind the port-open guard.
    bool presetSave(int index);
    bool presetRecall(int index);
    // Every output to input (from 0), behind the port-open guard.
    bool allOutputs(int input0);
    // The status request, a failed write reported.
    bool status();

signals:
    // An output (from 1) shows another lamp.
    void outputChanged(int output);

private:
    seriallink::Wire& wire_;
    const protocol::Model& model_;
    QList<int> lit_;
};

} // namespace device

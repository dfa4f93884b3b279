#pragma once

#include "core/protocol/model.h"

#include <QList>
#include <QObject>
#include <QString>
#include <optional>

namespace seriallink {
class Wire;
}

namespace ir {

// The IR output port (from 0) of a routing report's output text: exactly one
// digit naming one of the family's IR ports, else nullopt.
std::optional<int> reportedOutput(const QString& aa);
// The IR input port (from 0) of a routing report's input text: its leading
// digits; nullopt without a digit or past the family's IR ports, which name
// no input.
std::optional<int> reportedInput(const QString& bb);

// The IR routing: which IR input each of the model's IR outputs carries, as the
// device last reported it (reports come in every state, whether the IR
// routing window is open or not), and the commands that change it.
class IrRouting : public QObject {
    Q_OBJECT
public:
    IrRouting(seriallink::Wire& wire, const protocol::Model& model);

    const protocol::Model& model() const { return model_; }

    // The device reports IR output port `output` (from 0, as its text) is
    // connected to IR input port `input`. A report that names no output or
    // no input of the model changes nothing but the last report's texts.
    void reported(const QString& output, const QString& input);
    // The IR input an IR output carries (both from 0); -1 when never
    // reported.
    int input(int output) const { return input_.at(output); }

    // IR output to IR input (both from 0). A failed write is reported.
    bool route(int output, int input);
    // Every output to input (from 0).
    bool routeAll(int input);
    // The IR status request: the device reports every output.
    bool status();

    // The last report's output and input texts.
    const QString& lastReportedOutput() const { return lastOutput_; }
    const QString& lastReportedInput() const { return lastInput_; }

signals:
    void outputChanged(int output);

private:
    seriallink::Wire& wire_;
    const protocol::Model& model_;
    QList<int> input_;
    QString lastOutput_;
    QString lastInput_;
};

} // namespace ir

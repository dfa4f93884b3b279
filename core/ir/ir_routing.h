#pragma once

#include "core/protocol/shape.h"

#include <QObject>
#include <QString>
#include <array>
#include <optional>

namespace seriallink {
class Wire;
}

namespace ir {

// The IR output port (0..7) of a routing report's output text: exactly one
// digit 0..7, else nullopt.
std::optional<int> reportedOutput(const QString& aa);
// The IR input port (0..7) of a routing report's input text: its leading
// digits; nullopt without a digit or for 8 and more, which name no input.
std::optional<int> reportedInput(const QString& bb);

// The IR routing: which IR input each of the 8 IR outputs carries, as the
// device last reported it (reports come in every state, whether the IR
// routing window is open or not), and the commands that change it.
class IrRouting : public QObject {
    Q_OBJECT
public:
    explicit IrRouting(seriallink::Wire& wire);

    // IR output port aa (0..7) is connected to IR input port bb. A report
    // that names no output or no input changes nothing.
    void Ledstatus(const QString& aa, const QString& bb);
    // The IR input 0..7 IR output 0..7 carries; -1 when never reported.
    int input(int output) const { return input_.at(output); }

    // Button n (0..63): output n / 8 to input n % 8. A failed write is
    // reported.
    bool route(int n);
    // Every output to input 0..7.
    bool routeAll(int input);
    // The IR status request: the device reports every output.
    bool status();

    // The last report's output and input texts.
    QString IRout;
    QString IRin;

signals:
    void outputChanged(int output);

private:
    seriallink::Wire& wire_;
    std::array<int, protocol::kIrPorts> input_;
};

} // namespace ir

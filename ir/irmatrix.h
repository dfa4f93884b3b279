#pragma once

#include "main_window/feature_window.h"
#include "main_window/lamp.h"

#include <array>
#include <optional>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace ir {
// The IR output port (0..7) of a routing report's output text: exactly one
// digit 0..7, else nullopt.
std::optional<int> reportedOutput(const QString& aa);
// The IR input port (0..7) of a routing report's input text: its leading
// digits; nullopt without a digit or for 8 and more, which name no input.
std::optional<int> reportedInput(const QString& bb);
} // namespace ir

// The IR routing window: one panel per IR output port with a button and a
// lamp per IR input port. The lamps show what the device reports; they are
// the only record of the IR routing, so they survive the window's closing.
class IRMatrix : public FeatureWindow {
    Q_OBJECT
public:
    explicit IRMatrix(Form1& form1);
    void Form_Load() override;
    // IR output port aa (0..7) is connected to IR input port bb.
    void Ledstatus(const QString& aa, const QString& bb);

    void Command1_Click(int n); // route output n / 8 to input n % 8
    void Combo1_Click();        // route all outputs to the chosen input
    void Command2_Click();      // "Status"

    std::array<QFrame*, 8> Shape1{};
    std::array<QLabel*, 8> Label1{};
    std::array<QPushButton*, 64> Command1{};
    std::array<main_window::Lamp*, 64> Shape2{};
    QComboBox* Combo1 = nullptr;
    QPushButton* Command2 = nullptr;

private:
    void buildUi();
};

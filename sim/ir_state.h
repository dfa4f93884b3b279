#pragma once

#include <QByteArray>
#include <array>
#include <functional>

namespace sim {

// What the simulated switcher keeps for this feature: the IR code table the
// remote's keys are matched against, and which IR input each IR output
// carries.
struct IrState {
    IrState() {
        // A remote of custom code 00 whose keys send 01..50 (hex): every
        // data code distinct.
        codes[0] = 0x00;
        for (int e = 1; e < 81; ++e)
            codes[e] = e;
        for (int o = 0; o < 8; ++o)
            routing[o] = o;
    }

    std::array<int, 81> codes{};  // byte values
    std::array<int, 8> routing{}; // IR input 0..7 of each IR output
    bool saved = false;           // "sav" arrived since the last change
    int codeCommands = 0;         // "ric"/"wic" lines received so far

    // Faults.
    int dropAt = 0;         // says nothing to the n-th "ric"/"wic" (0: never)
    int repeatAt = 0;       // answers the n-th "ric"/"wic" twice (0: never)
    int corruptEntry = -1;  // "wic" of this entry stores a different value
    bool lowerCase = false; // answers hexadecimal digits in lower case

    // The line the IR receiver sends when it decodes a key: "rir cc dd",
    // custom code at characters 5-6, data code at 8-9.
    QByteArray learnedLine(int custom, int data) const {
        return "rir " + hex2(custom) + ' ' + hex2(data);
    }
    // The key of table entry 1..80 on a remote that matches the table.
    QByteArray keyPressed(int entry) const { return learnedLine(codes[0], codes[entry]); }
    // An IR report line: output digit at character 6, input digit at 9.
    static QByteArray routeReport(int output, int input) {
        return "srp  " + QByteArray::number(output) + "  " + QByteArray::number(input);
    }

    QByteArray hex2(int value) const {
        const QByteArray h = QByteArray::number(value & 0xFF, 16).rightJustified(2, '0');
        return lowerCase ? h.toLower() : h.toUpper();
    }

    // Where the console simulator sends lines the device speaks by itself.
    std::function<void(const QByteArray&)> sendLine;
};

} // namespace sim

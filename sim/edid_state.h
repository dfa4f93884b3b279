#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>

namespace sim {

// What the simulated switcher keeps for the EDID transfer: one image per
// input, and the download or read that "swe" opened.
struct EdidState {
    using Image = std::array<std::uint8_t, 256>;

    EdidState();
    // A valid two-block image of a 1080p monitor with a CEA-861 extension.
    static Image defaultImage();

    std::array<Image, 8> images;
    // The download in progress fills pending, which becomes the input's
    // image when byte FF arrives, so a broken-off download changes nothing.
    Image pending{};
    int port = -1;        // input of the open transfer, -1: none
    bool reading = false; // "swe p 1" (read) rather than "swe p 0"

    // Faults, each off at -1 / false.
    int corruptAt = -1;     // this byte is stored inverted
    int dropAt = -1;        // the first command for this byte goes unanswered
    int errorAt = -1;       // commands for this byte are answered "err"
    int repeatAt = -1;      // the first read of this byte is answered twice
    bool lowerCase = false; // read answers in lower-case hexadecimal
};

} // namespace sim

#pragma once

#include <QString>

namespace edid {

// A video format of CTA-861 by its Video Identification Code. Interlaced
// formats give the frame height and the field rate, as the formats are
// named ("1920x1080i 60 Hz").
struct VicFormat {
    int vic;
    int width;
    int height;
    bool interlaced;
    int rateHz; // nominal: the 1000/1001 variants share it
    const char* aspect;
    int pixelClockKhz; // at the nominal rate
};

// Nothing for a code without a format (0, 128..192, 220..255).
const VicFormat* vicFormat(int vic);
// "1920x1080p 60 Hz"; "VIC 250 (reserved)" for a code without a format.
QString vicName(int vic);

} // namespace edid

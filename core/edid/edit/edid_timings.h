#pragma once

#include <optional>

namespace edid {

// The full timing of a CTA-861 video format, for writing it as a detailed
// timing. Interlaced formats give the frame height and the blanking of one
// field.
struct CtaTiming {
    int vic;
    int width, height;
    bool interlaced;
    int rateHz;
    int hTotal, hFront, hSync;
    int vBlank, vFront, vSync;
    int pixelClockKhz;
    bool hPositive, vPositive;
};

// The formats an installer makes preferred: SD, 720p, 1080i/p, 2160p; none
// for the others.
std::optional<CtaTiming> ctaTiming(int vic);

} // namespace edid

#include "core/edid/edit/edid_timings.h"

namespace edid {

namespace {

constexpr CtaTiming kTimings[] = {
    {1, 640, 480, false, 60, 800, 16, 96, 45, 10, 2, 25175, false, false},
    {2, 720, 480, false, 60, 858, 16, 62, 45, 9, 6, 27000, false, false},
    {3, 720, 480, false, 60, 858, 16, 62, 45, 9, 6, 27000, false, false},
    {4, 1280, 720, false, 60, 1650, 110, 40, 30, 5, 5, 74250, true, true},
    {5, 1920, 1080, true, 60, 2200, 88, 44, 22, 2, 5, 74250, true, true},
    {16, 1920, 1080, false, 60, 2200, 88, 44, 45, 4, 5, 148500, true, true},
    {17, 720, 576, false, 50, 864, 12, 64, 49, 5, 5, 27000, false, false},
    {18, 720, 576, false, 50, 864, 12, 64, 49, 5, 5, 27000, false, false},
    {19, 1280, 720, false, 50, 1980, 440, 40, 30, 5, 5, 74250, true, true},
    {20, 1920, 1080, true, 50, 2640, 528, 44, 22, 2, 5, 74250, true, true},
    {31, 1920, 1080, false, 50, 2640, 528, 44, 45, 4, 5, 148500, true, true},
    {32, 1920, 1080, false, 24, 2750, 638, 44, 45, 4, 5, 74250, true, true},
    {33, 1920, 1080, false, 25, 2640, 528, 44, 45, 4, 5, 74250, true, true},
    {34, 1920, 1080, false, 30, 2200, 88, 44, 45, 4, 5, 74250, true, true},
    {93, 3840, 2160, false, 24, 5500, 1276, 88, 90, 8, 10, 297000, true, true},
    {94, 3840, 2160, false, 25, 5280, 1056, 88, 90, 8, 10, 297000, true, true},
    {95, 3840, 2160, false, 30, 4400, 176, 88, 90, 8, 10, 297000, true, true},
    {96, 3840, 2160, false, 50, 5280, 1056, 88, 90, 8, 10, 594000, true, true},
    {97, 3840, 2160, false, 60, 4400, 176, 88, 90, 8, 10, 594000, true, true},
    {98, 4096, 2160, false, 24, 5500, 1020, 88, 90, 8, 10, 297000, true, true},
    {99, 4096, 2160, false, 25, 5280, 968, 88, 90, 8, 10, 297000, true, true},
    {100, 4096, 2160, false, 30, 4400, 88, 88, 90, 8, 10, 297000, true, true},
    {101, 4096, 2160, false, 50, 5280, 968, 88, 90, 8, 10, 594000, true, true},
    {102, 4096, 2160, false, 60, 4400, 88, 88, 90, 8, 10, 594000, true, true},
};

} // namespace

std::optional<CtaTiming> ctaTiming(int vic) {
    for (const CtaTiming& t : kTimings)
        if (t.vic == vic)
            return t;
    return std::nullopt;
}

} // namespace edid

// The EDID hex view's parser takes whatever the operator typed.

#include "core/edid/edid_image.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(data),
                                            static_cast<qsizetype>(size / 2));
    int pos = 1;
    const edid::Image image = edid::parseView(text, pos);
    if (pos < 1)
        std::abort();
    // Whatever the text, the written form of its image parses back to it.
    const QString written = edid::writtenForm(image);
    if (written.size() != 1056)
        std::abort();
    int again = 1;
    if (edid::parseView(written, again) != image)
        std::abort();
    // The read form of the same bytes does too.
    QString read;
    for (int i = 0; i < edid::kImageSize; ++i)
        read += edid::readFormCell(
            QString::asprintf("%02X", static_cast<unsigned>(image[static_cast<std::size_t>(i)])),
            i);
    int fromRead = 1;
    if (edid::parseView(read, fromRead) != image)
        std::abort();
    (void)edid::headerOk(image);
    (void)edid::checksumOk(image);
    return 0;
}

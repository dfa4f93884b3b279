// The EDID editor takes any image and any sequence of edits: the first 256
// bytes are the image, each later byte pair one edit. No edit crashes;
// every edit that is taken leaves each block's checksum right, and taken
// again changes nothing.

#include "core/edid/edit/edid_edit.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

bool checksumsRight(const edid::Image& m) {
    for (int block = 0; block < edid::kImageSize; block += edid::kBlockSize) {
        int sum = 0;
        for (int i = block; i < block + edid::kBlockSize; ++i)
            sum += m[i];
        if (sum % 256 != 0)
            return false;
    }
    return true;
}

edid::Edit editOf(std::uint8_t kind, std::uint8_t arg) {
    using K = edid::Edit::Kind;
    static const K kinds[] = {K::Audio,     K::Max1080p,       K::NoHdr,     K::NoDeepColour,
                              K::Preferred, K::AddVic,         K::RemoveVic, K::Name,
                              K::Serial,    K::PhysicalAddress};
    edid::Edit e(kinds[kind % 10], arg);
    e.audio = edid::AudioLayout(arg % 4);
    e.text = QString::fromLatin1("NAME %1").arg(arg);
    e.serial = arg * 16777619u;
    e.address = {arg >> 4, arg & 15, 0, 0};
    if (e.address[0] == 0)
        e.address[1] = 0;
    return e;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    edid::Image image{};
    std::memcpy(image.data(), data, size < 256 ? size : 256);
    // Most inputs should get past the header test.
    static const std::uint8_t header[] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
    if (size > 0 && data[0] & 1)
        std::memcpy(image.data(), header, 8);
    for (std::size_t at = 256; at + 1 < size; at += 2) {
        const edid::Edit e = editOf(data[at], data[at + 1]);
        const edid::EditOutcome once = edid::applyEdit(image, e);
        check(once.image.has_value() != !once.refusal.isEmpty());
        if (!once.image)
            continue;
        check(checksumsRight(*once.image));
        const edid::EditOutcome twice = edid::applyEdit(*once.image, e);
        check(twice.image && *twice.image == *once.image);
        image = *once.image;
    }
    if (size > 0 && data[0] % 7 == 0)
        for (const QString& name : edid::templateNames())
            check(edid::buildTemplate(name).has_value());
    return 0;
}

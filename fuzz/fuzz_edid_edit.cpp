// The EDID editor takes any image and any sequence of edits: the first 256
// bytes are the image, each later byte pair one edit. No edit crashes;
// every edit that is taken leaves each block's checksum right and the base
// block's detailed timings first and together, and taken again changes
// nothing. A name is refused only when no descriptor, not even an
// alphanumeric data string, can take it.

#include "core/edid/edit/edid_edit.h"

#include <algorithm>
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

bool timingsFirst(const edid::Image& m) {
    bool other = false;
    for (int at = 54; at < 126; at += 18) {
        const bool timing = m[at] != 0 || m[at + 1] != 0;
        if (timing && other)
            return false;
        other = other || !timing;
    }
    return true;
}

bool hasString(const edid::Image& m) {
    for (int at = 54; at < 126; at += 18)
        if (m[at] == 0 && m[at + 1] == 0 && m[at + 3] == 0xFE)
            return true;
    return false;
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
    if (size > 0 && data[0] & 1)
        std::copy(edid::kHeader.begin(), edid::kHeader.end(), image.begin());
    for (std::size_t at = 256; at + 1 < size; at += 2) {
        const edid::Edit e = editOf(data[at], data[at + 1]);
        const edid::EditOutcome once = edid::applyEdit(image, e);
        check(once.image.has_value() != !once.refusal.isEmpty());
        if (e.kind == edid::Edit::Kind::Name && edid::headerOk(image))
            check(once.image || !hasString(image));
        if (!once.image)
            continue;
        check(checksumsRight(*once.image) && timingsFirst(*once.image));
        const edid::EditOutcome twice = edid::applyEdit(*once.image, e);
        check(twice.image && *twice.image == *once.image);
        image = *once.image;
    }
    if (size > 0 && data[0] % 7 == 0)
        for (const QString& name : edid::templateNames())
            check(edid::buildTemplate(name).has_value());
    return 0;
}

#pragma once

// The EDID editor: the changes installers make to fix an HDMI handshake,
// each on the 256 bytes the switcher holds (the base block and one CTA-861
// extension). Every edit rebuilds what it touches (the data block
// collection, the detailed timing offset, the count of native timings, the
// padding), adds a CTA-861 extension when it needs one, keeps the base
// block's detailed timings first and together, and leaves every block's
// checksum right. An edit applied twice gives the bytes of one.
// Qt Core only, like the decoder it sits beside.

#include "core/edid/edid_image.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace edid {

enum class AudioLayout {
    Stereo,     // LPCM 2 channels
    Surround51, // LPCM 2 channels, AC-3 and DTS 6 channels
    Surround71, // the 5.1 set and LPCM 8 channels
    None,       // no audio block, basic audio off
};

struct Edit {
    enum class Kind {
        Audio,
        Max1080p,
        NoHdr,
        NoDeepColour,
        Preferred, // number: the VIC
        AddVic,    // number
        RemoveVic, // number
        Name,      // text
        Serial,    // serial
        PhysicalAddress,
    };
    Edit() = default;
    explicit Edit(Kind k, int n = 0) : kind(k), number(n) {}
    Kind kind = Kind::Max1080p;
    AudioLayout audio = AudioLayout::Stereo;
    int number = 0;
    quint32 serial = 0;
    QString text;
    std::array<int, 4> address{};
};

// The image an edit gives, or why the image cannot take it; and what it
// gave up that the edit does not name (a text the name took the place of),
// for the caller to tell.
struct EditOutcome {
    std::optional<Image> image;
    QString refusal;
    QStringList notes = {};
};

EditOutcome applyEdit(const Image& image, const Edit& edit);
// In order; the first refusal ends it.
EditOutcome applyEdits(const Image& image, const QList<Edit>& edits);

// What an argument must be; each gives why not, empty when it is right.
// A VIC the image can list: one with a CTA-861 video format.
QString vicProblem(int vic);
// 1 to 13 printable ASCII characters.
QString nameProblem(const QString& name);
// Four parts 0..15; after a 0 part only 0 parts.
QString physicalAddressProblem(const std::array<int, 4>& address);

// The images built from nothing: "1080p-stereo", "1080p-5.1",
// "4k30-stereo", "4k60-hdr-7.1".
QStringList templateNames();
std::optional<Image> buildTemplate(const QString& name);

// The decoder's findings on after that it does not make on before, by text.
QStringList addedFindings(const Image& before, const Image& after);

} // namespace edid

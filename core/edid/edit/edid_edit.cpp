// The edits: the image is read into its base block and the CTA extension's
// parts (flags, data blocks, detailed timings), changed there and written
// back whole, so offsets, padding and checksums are always rebuilt.

#include "core/edid/edit/edid_edit.h"

#include "core/edid/decode/edid_decode.h"
#include "core/edid/decode/edid_vic.h"
#include "core/edid/edit/edid_timings.h"

#include <QByteArray>
#include <algorithm>
#include <cstring>

namespace edid {

namespace {

constexpr int kHdmiOui = 0x000C03;
constexpr int kHdmiForumOui = 0xC45DD8;
constexpr int kDescriptorSlots[] = {54, 72, 90, 108};
constexpr int kCtaRoom = 123; // bytes 4..126 of the extension

// The CTA extension taken apart.
struct Cta {
    int revision = 3;
    int flags = 0; // byte 3
    QList<QByteArray> blocks;
    QList<QByteArray> dtds;
};

int tagOf(const QByteArray& b) {
    return quint8(b[0]) >> 5;
}
int extTagOf(const QByteArray& b) {
    return tagOf(b) == 7 && b.size() > 1 ? quint8(b[1]) : -1;
}
int ouiOf(const QByteArray& b) {
    return tagOf(b) == 3 && b.size() >= 4 ? quint8(b[1]) | quint8(b[2]) << 8 | quint8(b[3]) << 16
                                          : -1;
}
bool isHdmi(const QByteArray& b) {
    return ouiOf(b) == kHdmiOui;
}
bool isHdmiForum(const QByteArray& b) {
    return ouiOf(b) == kHdmiForumOui || extTagOf(b) == 0x79;
}
bool isAudio(const QByteArray& b) {
    const int e = extTagOf(b);
    return tagOf(b) == 1 || tagOf(b) == 4 || (e >= 16 && e <= 20);
}
// A block of the given payload; the header byte is added.
QByteArray block(int tag, const QByteArray& payload) {
    return char(tag << 5 | payload.size()) + payload;
}
void setPayloadLength(QByteArray& b) {
    b[0] = char((quint8(b[0]) & 0xE0) | (b.size() - 1));
}

bool isDtd(const Image& img, int at) {
    return img[at] != 0 || img[at + 1] != 0;
}

// The extension's parts as they stand; a broken offset gives no blocks.
Cta readCta(const Image& img) {
    Cta c;
    c.revision = img[129];
    c.flags = img[131];
    const int d = img[130];
    if (d < 4 || d > 127)
        return c;
    for (int at = 132; at < 128 + d;) {
        const int length = img[at] & 31;
        if (at + 1 + length > 128 + d)
            break;
        c.blocks << QByteArray(reinterpret_cast<const char*>(&img[at]), 1 + length);
        at += 1 + length;
    }
    for (int at = 128 + d; at + 18 <= 255 && isDtd(img, at); at += 18)
        c.dtds << QByteArray(reinterpret_cast<const char*>(&img[at]), 18);
    return c;
}

// The detailed timings first and together, the other descriptors after
// them in their order, as EDID wants them: an edit that drops or moves a
// timing must leave no gap before the next one.
void keepTimingsFirst(Image& img) {
    QByteArray timings, others;
    for (int at : kDescriptorSlots)
        (isDtd(img, at) ? timings : others).append(reinterpret_cast<const char*>(&img[at]), 18);
    const QByteArray all = timings + others;
    std::memcpy(&img[kDescriptorSlots[0]], all.constData(), size_t(all.size()));
}

int baseDtdCount(const Image& img) {
    int n = 0;
    for (int at : kDescriptorSlots)
        n += isDtd(img, at);
    return n;
}

// Writes the extension back: blocks, then as many timings as fit, zero
// padding. False when the blocks alone do not fit.
bool writeCta(Image& img, Cta c) {
    int used = 0;
    for (const QByteArray& b : c.blocks)
        used += int(b.size());
    if (used > kCtaRoom)
        return false;
    while (used + 18 * c.dtds.size() > kCtaRoom)
        c.dtds.removeLast();
    std::memset(&img[128], 0, 128);
    img[128] = 2;
    img[129] = quint8(qMax(c.revision, 3));
    img[130] = quint8(4 + used);
    int at = 132;
    for (const QByteArray& b : c.blocks) {
        std::memcpy(&img[at], b.constData(), size_t(b.size()));
        at += int(b.size());
    }
    for (const QByteArray& t : c.dtds) {
        std::memcpy(&img[at], t.constData(), 18);
        at += 18;
    }
    const int total = baseDtdCount(img) + int(c.dtds.size());
    img[131] = quint8((c.flags & 0xF0) | qMin(c.flags & 0x0F, total));
    if (img[126] == 0)
        img[126] = 1;
    return true;
}

void fixChecksums(Image& img) {
    for (int block = 0; block < kImageSize; block += kBlockSize) {
        int sum = 0;
        for (int i = block; i < block + kBlockSize - 1; ++i)
            sum += img[i];
        img[block + kBlockSize - 1] = quint8(-sum & 0xFF);
    }
}

// The 18 bytes of a timing, the image size kept from what stood there.
void writeTiming(quint8* at, const CtaTiming& t, int widthMm, int heightMm) {
    const int pclk = t.pixelClockKhz / 10;
    const int hBlank = t.hTotal - t.width;
    const int vActive = t.interlaced ? t.height / 2 : t.height;
    const int vBlank = t.vBlank;
    at[0] = quint8(pclk & 0xFF);
    at[1] = quint8(pclk >> 8);
    at[2] = quint8(t.width & 0xFF);
    at[3] = quint8(hBlank & 0xFF);
    at[4] = quint8((t.width >> 8) << 4 | hBlank >> 8);
    at[5] = quint8(vActive & 0xFF);
    at[6] = quint8(vBlank & 0xFF);
    at[7] = quint8((vActive >> 8) << 4 | vBlank >> 8);
    at[8] = quint8(t.hFront & 0xFF);
    at[9] = quint8(t.hSync & 0xFF);
    at[10] = quint8((t.vFront & 15) << 4 | (t.vSync & 15));
    at[11] =
        quint8((t.hFront >> 8) << 6 | (t.hSync >> 8) << 4 | (t.vFront >> 4) << 2 | (t.vSync >> 4));
    at[12] = quint8(widthMm & 0xFF);
    at[13] = quint8(heightMm & 0xFF);
    at[14] = quint8((widthMm >> 8) << 4 | (heightMm >> 8 & 15));
    at[15] = 0;
    at[16] = 0;
    at[17] =
        quint8((t.interlaced ? 0x80 : 0) | 0x18 | (t.vPositive ? 4 : 0) | (t.hPositive ? 2 : 0));
}

void writeDummy(quint8* at) {
    std::memset(at, 0, 18);
    at[3] = 0x10;
}

std::optional<DetailedTiming> timingAt(const Image& img, int at) {
    return decodeDetailedTiming(QByteArrayView(reinterpret_cast<const char*>(&img[at]), 18), at);
}

bool within1080p60(const DetailedTiming& t) {
    return t.pixelClockKhz <= 148500 && t.hActive <= 1920 && t.frameHeight() <= 1080 &&
           t.refreshHz() < 60.5;
}
bool vicWithin1080p60(int vic) {
    const VicFormat* f = vicFormat(vic);
    return f && f->width <= 1920 && f->height <= 1080 && f->rateHz <= 60 &&
           f->pixelClockKhz <= 148500;
}

// The range limits descriptor, widened so that a format lies inside: up to
// its clock, its rate and the line rate it cannot exceed (the clock over the
// active width), down to its rate and the line rate it cannot fall below
// (its active lines a second).
void coverInRangeLimits(Image& img, int width, int lines, int rateHz, int pixelClockKhz) {
    const int maxH = (pixelClockKhz + width - 1) / width;
    const int minH = rateHz * lines / 1000;
    const int clock = (pixelClockKhz + 9999) / 10000;
    for (int at : kDescriptorSlots) {
        if (isDtd(img, at) || img[at + 3] != 0xFD)
            continue;
        const int offsets = img[at + 4]; // values above 255: left alone
        if (!(offsets & 0x02) && img[at + 6] < rateHz)
            img[at + 6] = quint8(qMin(rateHz, 255));
        if (!(offsets & 0x01) && img[at + 5] > rateHz)
            img[at + 5] = quint8(rateHz);
        if (!(offsets & 0x08) && img[at + 8] < maxH)
            img[at + 8] = quint8(qMin(maxH, 255));
        if (!(offsets & 0x04) && img[at + 7] > minH)
            img[at + 7] = quint8(minH);
        if (img[at + 9] < clock)
            img[at + 9] = quint8(qMin(clock, 255));
    }
}
void coverInRangeLimits(Image& img, const CtaTiming& t) {
    coverInRangeLimits(img, t.width, t.interlaced ? t.height / 2 : t.height, t.rateHz,
                       t.pixelClockKhz);
}
void coverInRangeLimits(Image& img, int vic) {
    if (const VicFormat* f = vicFormat(vic))
        coverInRangeLimits(img, f->width, f->interlaced ? f->height / 2 : f->height, f->rateHz,
                           f->pixelClockKhz);
}

// Detailed timing 1 set to the timing. A descriptor standing there moves to
// a slot that holds no timing the image needs: a dummy one, else the last.
QString setFirstTiming(Image& img, const CtaTiming& t) {
    int widthMm = 0, heightMm = 0;
    if (const auto old = timingAt(img, 54)) {
        widthMm = old->widthMm;
        heightMm = old->heightMm;
    } else {
        int free = -1;
        for (int at : {72, 90, 108})
            if (!isDtd(img, at) && img[at + 3] == 0x10)
                free = at;
        if (free < 0)
            return QStringLiteral("the base block has no free descriptor for detailed timing 1");
        std::memcpy(&img[free], &img[54], 18);
    }
    if (!widthMm) {
        widthMm = img[21] * 10;
        heightMm = img[22] * 10;
    }
    writeTiming(&img[54], t, widthMm, heightMm);
    coverInRangeLimits(img, t);
    return {};
}

// The VIC list as codes, and back into the video data block.
int vdbIndex(const Cta& c) {
    for (int i = 0; i < c.blocks.size(); ++i)
        if (tagOf(c.blocks[i]) == 2)
            return int(i);
    return -1;
}
QList<int> vicCodes(const Cta& c) {
    QList<int> out;
    for (const QByteArray& b : c.blocks)
        if (tagOf(b) == 2)
            for (int i = 1; i < b.size(); ++i)
                out << quint8(b[i]);
    return out;
}
int vicOfCode(int code) {
    return code >= 129 && code <= 192 ? code & 0x7F : code;
}

// The 4:2:0 capability map names VICs by their place in the list; after a
// change of the list each marked VIC is marked at its new place.
// The HDMI block's 3D formats name VICs by their place in the list too:
// after a change of the list they are dropped (the HDMI VICs stay).
void drop3dFormats(Cta& c) {
    for (QByteArray& b : c.blocks) {
        if (!isHdmi(b) || b.size() <= 8 || !(quint8(b[8]) & 0x20))
            continue;
        const int at = 9 + ((quint8(b[8]) & 0x80) ? 2 : 0) + ((quint8(b[8]) & 0x40) ? 2 : 0);
        if (at + 1 >= b.size())
            return;
        const int vics = quint8(b[at + 1]) >> 5;
        b[at] = char(quint8(b[at]) & 0x1F);
        b[at + 1] = char(vics << 5);
        b = b.left(qMin(int(b.size()), at + 2 + vics));
        setPayloadLength(b);
    }
}

void setVicCodes(Cta& c, const QList<int>& codes) {
    const QList<int> old = vicCodes(c);
    QList<int> oldVics, newVics;
    for (int code : old)
        oldVics << vicOfCode(code);
    for (int code : codes)
        newVics << vicOfCode(code);
    if (newVics.mid(0, oldVics.size()) != oldVics)
        drop3dFormats(c);
    QList<int> marked;
    int mapIndex = -1;
    for (int i = 0; i < c.blocks.size(); ++i)
        if (extTagOf(c.blocks[i]) == 15)
            mapIndex = int(i);
    if (mapIndex >= 0 && c.blocks[mapIndex].size() > 2) {
        const QByteArray& m = c.blocks[mapIndex];
        for (int i = 0; i < old.size() && 2 + i / 8 < m.size(); ++i)
            if (quint8(m[2 + i / 8]) >> (i % 8) & 1)
                marked << vicOfCode(old[i]);
    }
    // One video block holds 31 codes at most; more take as many as needed.
    int first = vdbIndex(c);
    for (int i = int(c.blocks.size()) - 1; i >= 0; --i)
        if (tagOf(c.blocks[i]) == 2)
            c.blocks.removeAt(i);
    int at = first < 0 ? 0 : qMin(first, int(c.blocks.size()));
    for (int from = 0; from < codes.size(); from += 31) {
        QByteArray vdb;
        vdb.append(char(2 << 5));
        for (int code : codes.mid(from, 31))
            vdb.append(char(code));
        setPayloadLength(vdb);
        c.blocks.insert(at++, vdb);
    }
    if (mapIndex < 0 || c.blocks.isEmpty())
        return;
    for (int i = 0; i < c.blocks.size(); ++i)
        if (extTagOf(c.blocks[i]) == 15 && c.blocks[i].size() > 2) {
            QByteArray m = c.blocks[i].left(2);
            for (int k = 0; k < codes.size(); ++k)
                if (marked.contains(vicOfCode(codes[k]))) {
                    while (m.size() < 3 + k / 8)
                        m.append(char(0));
                    m[2 + k / 8] = char(quint8(m[2 + k / 8]) | 1 << (k % 8));
                }
            if (m.size() == 2) {
                c.blocks.removeAt(i);
            } else {
                setPayloadLength(m);
                c.blocks[i] = m;
            }
            return;
        }
}

// A VIC listed as a regular one is no 4:2:0-only VIC.
void dropFrom420Only(Cta& c, int vic) {
    for (int i = int(c.blocks.size()) - 1; i >= 0; --i)
        if (extTagOf(c.blocks[i]) == 14) {
            QByteArray& b = c.blocks[i];
            for (int k = int(b.size()) - 1; k >= 2; --k)
                if (quint8(b[k]) == vic)
                    b.remove(k, 1);
            setPayloadLength(b);
            if (b.size() == 2)
                c.blocks.removeAt(i);
        }
}

// The VIC first in the list, marked native when its code can say so; no
// other VIC marked native.
void putVicFirst(Cta& c, int vic) {
    // Detailed timing 1 is the one native timing.
    c.flags = (c.flags & 0xF0) | qMin(c.flags & 0x0F, 1);
    QList<int> codes;
    codes << (vic <= 64 ? 0x80 | vic : vic);
    for (int code : vicCodes(c))
        if (vicOfCode(code) != vic)
            codes << vicOfCode(code);
    setVicCodes(c, codes);
    dropFrom420Only(c, vic);
}

// The image as parts, for the edits on the extension.
struct Work {
    Image img;
    Cta cta;
    bool ctaRead = false; // the extension is written back
    QStringList notes = {};
};

QString withCta(Work& w) {
    if (w.ctaRead)
        return {};
    w.ctaRead = true;
    if (w.img[126] == 0) {
        w.cta = Cta();
        return {};
    }
    if (w.img[128] != 2) {
        w.ctaRead = false;
        return QStringLiteral("its extension block is not a CTA-861 extension");
    }
    w.cta = readCta(w.img);
    return {};
}

QByteArray sad(int format, int channels, int rates, int third) {
    QByteArray s;
    s.append(char(format << 3 | (channels - 1)));
    s.append(char(rates));
    s.append(char(third));
    return s;
}

void editAudio(Cta& c, AudioLayout layout) {
    int at = -1;
    for (int i = 0; i < c.blocks.size() && at < 0; ++i)
        if (isAudio(c.blocks[i]))
            at = int(i);
    for (int i = int(c.blocks.size()) - 1; i >= 0; --i)
        if (isAudio(c.blocks[i])) {
            c.blocks.removeAt(i);
            at = at > i ? at - 1 : at;
        }
    if (at < 0)
        at = vdbIndex(c) + 1;
    at = qMin(at, int(c.blocks.size()));
    if (layout == AudioLayout::None) {
        c.flags &= ~0x40;
        return;
    }
    c.flags |= 0x40;
    QByteArray sads = sad(1, 2, 0x07, 0x07); // 32, 44.1, 48 kHz; 16, 20, 24 bits
    int speakers = 0x01;                     // FL/FR
    if (layout != AudioLayout::Stereo) {
        if (layout == AudioLayout::Surround71)
            sads += sad(1, 8, 0x07, 0x07);
        sads += sad(2, 6, 0x07, 640 / 8);  // AC-3 up to 640 kb/s
        sads += sad(7, 6, 0x06, 1536 / 8); // DTS 44.1, 48 kHz up to 1536 kb/s
        speakers = layout == AudioLayout::Surround71 ? 0x4F : 0x0F; // LFE FC RL/RR (RLC/RRC)
    }
    c.blocks.insert(at, block(1, sads));
    c.blocks.insert(at + 1, block(4, QByteArray(1, char(speakers)) + QByteArray(2, '\0')));
}

void limitTo1080p60(Work& w) {
    Image& img = w.img;
    // Standard timings, in the base block and in standard timing descriptors.
    const auto keepStandard = [](int b1, int b2, int version14) {
        if (b1 == 1 && b2 == 1)
            return true;
        const int width = (b1 + 31) * 8;
        static const int num[] = {16, 4, 5, 16}, den[] = {10, 3, 4, 9};
        const int a = b2 >> 6;
        const int height = a == 0 && !version14 ? width : width * den[a] / num[a];
        return width <= 1920 && height <= 1080 && (b2 & 63) + 60 <= 60;
    };
    const bool v14 = img[18] == 1 && img[19] >= 4;
    for (int at = 38; at < 54; at += 2)
        if (!keepStandard(img[at], img[at + 1], v14))
            img[at] = img[at + 1] = 1;
    for (int at : kDescriptorSlots) {
        if (isDtd(img, at)) {
            const auto t = timingAt(img, at);
            if (at != 54 && t && !within1080p60(*t))
                writeDummy(&img[at]);
            continue;
        }
        if (img[at + 3] == 0xFA) {
            for (int p = at + 5; p + 1 < at + 17; p += 2)
                if (!keepStandard(img[p], img[p + 1], v14))
                    img[p] = img[p + 1] = 1;
        } else if (img[at + 3] == 0xF7 || img[at + 3] == 0xF8) {
            writeDummy(&img[at]); // established III, CVT codes: above 1080p60 too
        } else if (img[at + 3] == 0xFD && img[at + 9] > 15) {
            img[at + 9] = 15; // 150 MHz
        }
    }
    // The CTA extension.
    Cta& c = w.cta;
    c.flags = (c.flags & 0xF0) | qMin(c.flags & 0x0F, 1);
    QList<int> codes{0x80 | 16};
    for (int code : vicCodes(c))
        if (vicOfCode(code) != 16 && vicWithin1080p60(vicOfCode(code)))
            codes << vicOfCode(code);
    setVicCodes(c, codes);
    for (int i = int(c.blocks.size()) - 1; i >= 0; --i) {
        QByteArray& b = c.blocks[i];
        const int e = extTagOf(b);
        if (isHdmiForum(b) || e == 13) {
            c.blocks.removeAt(i);
        } else if (e == 14) {
            QByteArray kept = b.left(2);
            for (int k = 2; k < b.size(); ++k)
                if (vicWithin1080p60(quint8(b[k])))
                    kept.append(b[k]);
            if (kept.size() == 2) {
                c.blocks.removeAt(i);
            } else {
                setPayloadLength(kept);
                b = kept;
            }
        } else if (isHdmi(b)) {
            if (b.size() > 8 && (quint8(b[8]) & 0x20)) {
                // No HDMI VICs (the 4K formats) nor 3D formats after the latencies.
                int end = 9 + ((quint8(b[8]) & 0x80) ? 2 : 0) + ((quint8(b[8]) & 0x40) ? 2 : 0);
                b[8] = char(quint8(b[8]) & ~0x20);
                b = b.left(qMin(end, int(b.size())));
            }
            while (b.size() < 8)
                b.append(char(0));
            b[7] = char(165 / 5);
            setPayloadLength(b);
        }
    }
    for (int i = int(c.dtds.size()) - 1; i >= 0; --i) {
        const auto t = decodeDetailedTiming(c.dtds[i], 0);
        if (!t || !within1080p60(*t))
            c.dtds.removeAt(i);
    }
}

void removeHdr(Cta& c) {
    // Vendor video blocks are HDR formats (Dolby Vision, HDR10+).
    for (int i = int(c.blocks.size()) - 1; i >= 0; --i) {
        const int e = extTagOf(c.blocks[i]);
        if (e == 1 || e == 6 || e == 7)
            c.blocks.removeAt(i);
    }
}

void removeDeepColour(Work& w) {
    for (QByteArray& b : w.cta.blocks) {
        if (isHdmi(b) && b.size() > 6)
            b[6] = char(quint8(b[6]) & ~0x78);
        else if (isHdmiForum(b) && b.size() > 7)
            b[7] = char(quint8(b[7]) & ~0x07);
    }
    // EDID 1.4 digital: 8 bits per colour at most.
    Image& img = w.img;
    if (img[18] == 1 && img[19] >= 4 && (img[20] & 0x80) && (img[20] >> 4 & 7) > 2)
        img[20] = quint8((img[20] & 0x8F) | 2 << 4);
}

QString setPhysicalAddress(Work& w, const std::array<int, 4>& a) {
    Cta& c = w.cta;
    const char hi = char(a[0] << 4 | a[1]), lo = char(a[2] << 4 | a[3]);
    for (QByteArray& b : c.blocks)
        if (isHdmi(b)) {
            while (b.size() < 6)
                b.append(char(0));
            b[4] = hi;
            b[5] = lo;
            setPayloadLength(b);
            return {};
        }
    // HDMI sinks declare EDID 1.3; a 1.4 image is a DisplayPort or DVI one.
    if (w.img[18] != 1 || w.img[19] != 3)
        return QStringLiteral("it has no HDMI vendor block for the address, and HDMI asks for "
                              "EDID 1.3, not %1.%2")
            .arg(w.img[18])
            .arg(w.img[19]);
    // A new HDMI block goes before an HDMI Forum block, which must follow it.
    int at = int(c.blocks.size());
    for (int i = 0; i < c.blocks.size(); ++i)
        if (isHdmiForum(c.blocks[i]) && at == c.blocks.size())
            at = int(i);
    c.blocks.insert(at, block(3, QByteArray("\x03\x0C\x00", 3) + hi + lo));
    return {};
}

// The product name descriptor's slot: the name's own, else a dummy
// descriptor, else a later detailed timing that moves to the extension,
// else an alphanumeric data string (the last one), which is lost: an
// installer asking for a name wants one more than a free-form text.
QString setName(Work& w, const QString& name) {
    Image& img = w.img;
    int slot = -1;
    for (int at : kDescriptorSlots)
        if (slot < 0 && !isDtd(img, at) && img[at + 3] == 0xFC)
            slot = at;
    for (int at : kDescriptorSlots)
        if (slot < 0 && !isDtd(img, at) && img[at + 3] == 0x10)
            slot = at;
    QString why = QStringLiteral("the base block has no descriptor free for a name");
    for (int at : {108, 90, 72}) {
        if (slot >= 0 || !isDtd(img, at))
            continue;
        if (const QString noCta = withCta(w); !noCta.isEmpty()) {
            why = noCta;
            break;
        }
        w.cta.dtds.prepend(QByteArray(reinterpret_cast<const char*>(&img[at]), 18));
        slot = at;
    }
    for (int at : {108, 90, 72, 54})
        if (slot < 0 && !isDtd(img, at) && img[at + 3] == 0xFE) {
            slot = at;
            const QByteArray text(reinterpret_cast<const char*>(&img[at + 5]), 13);
            w.notes << QStringLiteral("the name takes the place of the alphanumeric data string "
                                      "\"%1\"")
                           .arg(QString::fromLatin1(text.split('\n').constFirst().trimmed()));
        }
    if (slot < 0)
        return why;
    std::memset(&img[slot], 0, 18);
    img[slot + 3] = 0xFC;
    QByteArray text = name.toLatin1();
    if (text.size() < 13)
        text.append('\n');
    text = text.leftJustified(13, ' ');
    std::memcpy(&img[slot + 5], text.constData(), 13);
    return {};
}

void setSerial(Image& img, quint32 serial) {
    for (int i = 0; i < 4; ++i)
        img[12 + i] = quint8(serial >> (8 * i));
    for (int at : kDescriptorSlots)
        if (!isDtd(img, at) && img[at + 3] == 0xFF) {
            QByteArray text = QByteArray::number(serial) + '\n';
            text = text.leftJustified(13, ' ');
            std::memcpy(&img[at + 5], text.constData(), 13);
        }
}

bool needsCta(Edit::Kind k) {
    return k != Edit::Kind::Name && k != Edit::Kind::Serial;
}

QString edit(Work& w, const Edit& e) {
    if (needsCta(e.kind))
        if (const QString why = withCta(w); !why.isEmpty())
            return why;
    switch (e.kind) {
    case Edit::Kind::Audio:
        editAudio(w.cta, e.audio);
        break;
    case Edit::Kind::Max1080p:
        if (const QString why = setFirstTiming(w.img, *ctaTiming(16)); !why.isEmpty())
            return why;
        limitTo1080p60(w);
        break;
    case Edit::Kind::NoHdr:
        removeHdr(w.cta);
        break;
    case Edit::Kind::NoDeepColour:
        removeDeepColour(w);
        break;
    case Edit::Kind::Preferred: {
        const auto t = ctaTiming(e.number);
        if (!t)
            return QStringLiteral("no detailed timing is known for VIC %1").arg(e.number);
        if (const QString why = setFirstTiming(w.img, *t); !why.isEmpty())
            return why;
        putVicFirst(w.cta, e.number);
        break;
    }
    case Edit::Kind::AddVic: {
        QList<int> codes = vicCodes(w.cta);
        bool present = false;
        for (int code : codes)
            present = present || vicOfCode(code) == e.number;
        if (!present) {
            setVicCodes(w.cta, codes << e.number);
            dropFrom420Only(w.cta, e.number);
            coverInRangeLimits(w.img, e.number);
        }
        break;
    }
    case Edit::Kind::RemoveVic: {
        QList<int> codes;
        for (int code : vicCodes(w.cta))
            if (vicOfCode(code) != e.number)
                codes << code;
        setVicCodes(w.cta, codes);
        dropFrom420Only(w.cta, e.number);
        break;
    }
    case Edit::Kind::Name:
        if (const QString why = setName(w, e.text); !why.isEmpty())
            return why;
        break;
    case Edit::Kind::Serial:
        setSerial(w.img, e.serial);
        break;
    case Edit::Kind::PhysicalAddress:
        return setPhysicalAddress(w, e.address);
    }
    return {};
}

// Arguments the tool and the window have already checked; a caller that
// did not gets a refusal, never a broken image.
QString argumentProblem(const Edit& e) {
    switch (e.kind) {
    case Edit::Kind::Preferred:
    case Edit::Kind::AddVic:
    case Edit::Kind::RemoveVic:
        return vicProblem(e.number);
    case Edit::Kind::Name:
        return nameProblem(e.text);
    case Edit::Kind::PhysicalAddress:
        return physicalAddressProblem(e.address);
    default:
        return {};
    }
}

// The base block every template starts from: a digital EDID 1.3 display,
// 80 x 45 cm, sRGB colours, the VGA to XGA established timings, standard
// timings 1080p, 720p and SXGA at 60 Hz, range limits, two dummy descriptors
// (detailed timing 1 and the name come from the edits).
Image templateBase(int product) {
    Image img{};
    static const quint8 afterHeader[] = {0x21, 0xB8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x24,
                                         0x01, 0x03, 0x80, 0x50, 0x2D, 0x78, 0x0E, 0xEE, 0x91, 0xA3,
                                         0x54, 0x4C, 0x99, 0x26, 0x0F, 0x50, 0x54, 0x21, 0x08, 0x00,
                                         0xD1, 0xC0, 0x81, 0xC0, 0x81, 0x80, 0x01, 0x01, 0x01, 0x01,
                                         0x01, 0x01, 0x01, 0x01, 0x01, 0x01};
    std::copy(kHeader.begin(), kHeader.end(), img.begin());
    std::memcpy(img.data() + kHeader.size(), afterHeader, sizeof afterHeader);
    img[10] = quint8(product);
    static const quint8 limits[] = {0x00, 0x00, 0x00, 0xFD, 0x00, 0x18, 0x4B, 0x0F, 0x44,
                                    0x0F, 0x00, 0x0A, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
    writeDummy(&img[54]);
    std::memcpy(&img[72], limits, 18);
    writeDummy(&img[90]);
    writeDummy(&img[108]);
    return img;
}

struct Template {
    const char* name;
    int preferred;
    std::initializer_list<int> vics;
    AudioLayout audio;
    int hdmiTmdsMhz;
    bool hdmi20Hdr; // HDMI Forum block at 600 MHz, HDR10 and HLG, BT.2020
};

const Template kTemplates[] = {
    {"1080p-stereo", 16, {4, 31, 19, 34, 32, 33, 3, 18, 2, 17, 1}, AudioLayout::Stereo, 165, false},
    {"1080p-5.1",
     16,
     {4, 31, 19, 34, 32, 33, 3, 18, 2, 17, 1},
     AudioLayout::Surround51,
     165,
     false},
    {"4k30-stereo", 95, {16, 4, 31, 19, 34, 93, 94, 3, 18, 1}, AudioLayout::Stereo, 300, false},
    {"4k60-hdr-7.1",
     97,
     {16, 4, 31, 19, 95, 96, 93, 94, 3, 18, 1},
     AudioLayout::Surround71,
     340,
     true},
};

} // namespace

QStringList templateNames() {
    QStringList names;
    for (const Template& t : kTemplates)
        names << QLatin1String(t.name);
    return names;
}

std::optional<Image> buildTemplate(const QString& name) {
    const Template* t = nullptr;
    int product = 0;
    for (const Template& candidate : kTemplates) {
        ++product;
        if (name == QLatin1String(candidate.name)) {
            t = &candidate;
            break;
        }
    }
    if (!t)
        return std::nullopt;
    QList<Edit> edits;
    Edit address{Edit::Kind::PhysicalAddress};
    address.address = {1, 0, 0, 0};
    edits << address;
    for (int vic : t->vics) {
        Edit add{Edit::Kind::AddVic};
        add.number = vic;
        edits << add;
    }
    Edit audio{Edit::Kind::Audio};
    audio.audio = t->audio;
    Edit preferred{Edit::Kind::Preferred};
    preferred.number = t->preferred;
    Edit label{Edit::Kind::Name};
    label.text = QString::fromLatin1(t->name).toUpper();
    edits << audio << preferred << label;
    const EditOutcome out = applyEdits(templateBase(product), edits);
    if (!out.image)
        return std::nullopt;
    // What no edit makes: the video capability block (RGB quantization
    // selectable), the HDMI clock, the HDMI 2.0 blocks, one native timing.
    Image img = *out.image;
    Cta c = readCta(img);
    c.flags |= 0x81; // IT formats underscanned, one native timing
    // Quantization selectable; IT formats underscanned, CE both.
    c.blocks.insert(1, block(7, QByteArray("\x00\xCB", 2)));
    for (int i = 0; i < c.blocks.size(); ++i)
        if (isHdmi(c.blocks[i])) {
            c.blocks[i] = block(3, c.blocks[i].mid(1, 5) + '\0' + char(t->hdmiTmdsMhz / 5));
            if (t->hdmi20Hdr)
                c.blocks.insert(i + 1, block(3, QByteArray("\xD8\x5D\xC4\x01\x78\x80\x00", 7)));
            break;
        }
    if (t->hdmi20Hdr) {
        c.blocks << block(7, QByteArray("\x06\x0D\x01", 3))  // SDR, ST 2084, HLG
                 << block(7, QByteArray("\x05\xC0\x00", 3)); // BT.2020 YCC and RGB
        c.flags |= 0x30;                                     // YCbCr 4:4:4 and 4:2:2
    }
    if (!writeCta(img, c))
        return std::nullopt;
    fixChecksums(img);
    return img;
}

EditOutcome applyEdit(const Image& image, const Edit& e) {
    if (const QString why = argumentProblem(e); !why.isEmpty())
        return {std::nullopt, why};
    if (!headerOk(image))
        return {std::nullopt, QStringLiteral("not an EDID image (the header is not %1)")
                                  .arg(QLatin1String(kHeaderText))};
    Work w{image, {}};
    if (const QString why = edit(w, e); !why.isEmpty())
        return {std::nullopt, why};
    if (w.ctaRead && !writeCta(w.img, w.cta))
        return {std::nullopt, QStringLiteral("the CTA-861 extension has no room left for its "
                                             "data blocks")};
    keepTimingsFirst(w.img);
    fixChecksums(w.img);
    return {w.img, {}, w.notes};
}

EditOutcome applyEdits(const Image& image, const QList<Edit>& edits) {
    EditOutcome out{image, {}};
    for (const Edit& e : edits) {
        const QStringList notes = out.notes;
        out = applyEdit(*out.image, e);
        if (!out.image)
            return out;
        out.notes = notes + out.notes;
    }
    return out;
}

QString vicProblem(int vic) {
    if (!vicFormat(vic))
        return QStringLiteral("VIC %1 names no video format (1 to 127 and 193 to 219 do)").arg(vic);
    return {};
}

QString nameProblem(const QString& name) {
    if (name.isEmpty() || name.size() > 13)
        return QStringLiteral("a name is 1 to 13 characters, not %1").arg(name.size());
    for (QChar c : name)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return QStringLiteral("a name holds printable ASCII characters only");
    return {};
}

QString physicalAddressProblem(const std::array<int, 4>& a) {
    bool zero = false;
    for (int part : a) {
        if (part < 0 || part > 15)
            return QStringLiteral("each part of a physical address is 0 to 15");
        if (zero && part != 0)
            return QStringLiteral("a physical address has no part after a 0 part");
        zero = zero || part == 0;
    }
    return {};
}

QStringList addedFindings(const Image& before, const Image& after) {
    QStringList had;
    for (const Finding& f : decodeEdid(before).findings)
        had << f.text;
    QStringList added;
    for (const Finding& f : decodeEdid(after).findings)
        if (!had.removeOne(f.text))
            added << f.text;
    return added;
}

} // namespace edid

// The CTA-861 extension: its flags, the data block collection and the
// detailed timings after it.

#include "core/edid/decode/edid_decode_internal.h"
#include "core/edid/decode/edid_vic.h"

#include <cmath>

namespace edid {

namespace detail {

namespace {

constexpr int kHdmiOui = 0x000C03;
constexpr int kHdmiForumOui = 0xC45DD8;

QString yesNo(bool v) {
    return v ? QStringLiteral("yes") : QStringLiteral("no");
}

// Names of the bits set in value, lowest bit first.
QStringList bitNames(int value, std::initializer_list<const char*> names) {
    QStringList out;
    int bit = 0;
    for (const char* n : names) {
        if ((value >> bit & 1) && *n)
            out << QString::fromLatin1(n);
        ++bit;
    }
    return out;
}

struct Ctx {
    const Bytes& b;
    CtaExtension& cta;
    FindingList& f;
};

void videoBlock(Ctx& c, DataBlock& db) {
    for (int i = 0; i < db.length; ++i) {
        const int at = db.offset + 1 + i;
        const int code = c.b.at(at);
        ShortVideo v;
        // Codes 129..192 are VICs 1..64 marked native; 193 on are VICs.
        v.native = code >= 129 && code <= 192;
        v.vic = v.native ? code & 0x7F : code;
        // Reserved codes name no video format: they are no VIC to list.
        if (code == 0 || code == 128 || code >= 254) {
            c.f.add(at, QStringLiteral("Video code %1 is reserved.").arg(code));
            continue;
        }
        for (const ShortVideo& seen : c.cta.vics)
            if (seen.vic == v.vic) {
                c.f.add(at, QStringLiteral("VIC %1 is listed twice.").arg(v.vic));
                break;
            }
        if (!vicFormat(v.vic))
            c.f.add(at, QStringLiteral("Video code %1 names no VIC format.").arg(code));
        c.cta.vics << v;
        db.lines << QStringLiteral("VIC %1: %2%3")
                        .arg(v.vic, 3)
                        .arg(vicName(v.vic), v.native ? QStringLiteral(" (native)") : QString());
    }
}

void audioBlock(Ctx& c, DataBlock& db) {
    if (db.length % 3 != 0)
        c.f.add(db.offset, QStringLiteral("The audio data block's length %1 is not a multiple of "
                                          "3.")
                               .arg(db.length));
    static const double rates[] = {32, 44.1, 48, 88.2, 96, 176.4, 192};
    for (int i = 0; i + 3 <= db.length; i += 3) {
        const int at = db.offset + 1 + i;
        const int b0 = c.b.at(at), b1 = c.b.at(at + 1), b2 = c.b.at(at + 2);
        ShortAudio a;
        a.offset = at;
        a.formatCode = b0 >> 3 & 15;
        a.channels = (b0 & 7) + 1;
        for (int bit = 0; bit < 7; ++bit)
            if (b1 & (1 << bit))
                a.ratesKhz << rates[bit];
        if (a.formatCode == 1) {
            for (int bit = 0; bit < 3; ++bit)
                if (b2 & (1 << bit))
                    a.bits << 16 + 4 * bit;
        } else if (a.formatCode >= 2 && a.formatCode <= 8) {
            a.maxBitrateKbps = b2 * 8;
        } else if (a.formatCode == 15) {
            a.extendedCode = b2 >> 3;
        }
        if (b0 & 0x80)
            c.f.add(at, QStringLiteral("The reserved bit 7 of a short audio descriptor is set."));
        // Code 0 is reserved: it describes no audio format, so it is no
        // descriptor to list.
        if (a.formatCode == 0) {
            c.f.add(at, QStringLiteral("Audio format code 0 is reserved."));
            db.lines << QStringLiteral("reserved audio format code 0");
            continue;
        }
        QString line = QStringLiteral("%1, %2 channels").arg(a.name()).arg(a.channels);
        QStringList r;
        for (double v : a.ratesKhz)
            r << QString::number(v);
        line += QStringLiteral(", ") + r.join(u' ') + QStringLiteral(" kHz");
        if (!a.bits.isEmpty()) {
            QStringList bits;
            for (int v : a.bits)
                bits << QString::number(v);
            line += QStringLiteral(", ") + bits.join(u' ') + QStringLiteral(" bits");
        }
        if (a.maxBitrateKbps)
            line += QStringLiteral(", up to %1 kb/s").arg(a.maxBitrateKbps);
        c.cta.audio << a;
        db.lines << line;
    }
}

void speakerBlock(Ctx& c, DataBlock& db) {
    const int v = c.b.at(db.offset + 1) | c.b.at(db.offset + 2) << 8 | c.b.at(db.offset + 3) << 16;
    c.cta.speakers = bitNames(v, {"FL/FR",       "LFE",       "FC",      "BL/BR",     "BC",
                                  "FLC/FRC",     "RLC/RRC",   "FLW/FRW", "TpFL/TpFR", "TpC",
                                  "TpFC",        "LS/RS",     "LFE2",    "TpBC",      "SiL/SiR",
                                  "TpSiL/TpSiR", "TpBL/TpBR", "BtFC",    "BtFL/BtFR", "TpLS/TpRS"});
    db.lines << c.cta.speakers.join(QStringLiteral(", "));
}

QString latency(int v) {
    if (v == 0)
        return QStringLiteral("unknown");
    if (v == 255)
        return QStringLiteral("not supported");
    return QStringLiteral("%1 ms").arg((v - 1) * 2);
}

void hdmiBlock(Ctx& c, DataBlock& db) {
    const auto p = [&](int i) { return i < db.length ? c.b.at(db.offset + 1 + i) : 0; };
    c.cta.hdmi = true;
    if (db.length < 5) {
        c.f.add(db.offset, QStringLiteral("The HDMI vendor block is shorter than 5 bytes."));
        return;
    }
    c.cta.physicalAddress =
        QStringLiteral("%1.%2.%3.%4").arg(p(3) >> 4).arg(p(3) & 15).arg(p(4) >> 4).arg(p(4) & 15);
    db.lines << QStringLiteral("source physical address %1").arg(c.cta.physicalAddress);
    if (db.length > 5) {
        const QStringList deep =
            bitNames(p(5) >> 3, {"YCbCr 4:4:4", "30 bits", "36 bits", "48 bits"});
        if (!deep.isEmpty())
            db.lines << QStringLiteral("deep colour: ") + deep.join(QStringLiteral(", "));
        if (p(5) & 0x80)
            db.lines << QStringLiteral("supports ACP, ISRC1, ISRC2 (Supports_AI)");
        if (p(5) & 0x01)
            db.lines << QStringLiteral("dual-link DVI");
    }
    // A 0 here is a value the sink gives, not an absent byte.
    if (db.length > 6) {
        c.cta.maxTmdsGiven = true;
        c.cta.maxTmdsMhz = p(6) * 5;
        db.lines << QStringLiteral("maximum TMDS clock %1 MHz").arg(c.cta.maxTmdsMhz);
    }
    if (db.length <= 7)
        return;
    const int flags = p(7);
    int at = 8;
    if (flags & 0x80) {
        db.lines << QStringLiteral("latency: video %1, audio %2")
                        .arg(latency(p(at)), latency(p(at + 1)));
        at += 2;
    }
    if (flags & 0x40) {
        db.lines << QStringLiteral("interlaced latency: video %1, audio %2")
                        .arg(latency(p(at)), latency(p(at + 1)));
        at += 2;
    }
    if ((flags & 0x20) && at + 1 < db.length) {
        const int vicCount = p(at + 1) >> 5;
        static const char* hdmiVics[] = {"", "3840x2160 30 Hz", "3840x2160 25 Hz",
                                         "3840x2160 24 Hz", "4096x2160 24 Hz"};
        if (p(at) & 0x80)
            db.lines << QStringLiteral("3D supported");
        for (int i = 0; i < vicCount && at + 2 + i < db.length; ++i) {
            const int v = p(at + 2 + i);
            db.lines << QStringLiteral("HDMI VIC %1: %2")
                            .arg(v)
                            .arg(v >= 1 && v <= 4 ? QString::fromLatin1(hdmiVics[v])
                                                  : QStringLiteral("reserved"));
        }
    }
}

// The HDMI Forum vendor block and the sink capability data block hold the
// same fields at the same places: the OUI of the one is the extended tag and
// two reserved bytes of the other.
void hdmiForumBlock(Ctx& c, DataBlock& db) {
    const auto p = [&](int i) { return i < db.length ? c.b.at(db.offset + 1 + i) : 0; };
    c.cta.hdmiForum = true;
    if (db.length < 7) {
        c.f.add(db.offset, QStringLiteral("The %1 is shorter than 7 bytes.")
                               .arg(db.extendedTag < 0 ? QStringLiteral("HDMI Forum vendor block")
                                                       : QStringLiteral("HDMI Forum sink "
                                                                        "capability block")));
        return;
    }
    db.lines << QStringLiteral("version %1").arg(p(3));
    if (p(4) != 0) {
        c.cta.hdmiForumMaxTmdsMhz = p(4) * 5;
        db.lines << QStringLiteral("maximum TMDS character rate %1 MHz").arg(p(4) * 5);
    }
    const QStringList caps =
        bitNames(p(5), {"3D OSD disparity", "3D dual view", "3D independent view",
                        "LTE 340 Mcsc scramble", "CCBPCI", "cable status", "read request", "SCDC"});
    if (!caps.isEmpty())
        db.lines << QStringLiteral("supports ") + caps.join(QStringLiteral(", "));
    const QStringList dc = bitNames(p(6), {"30 bits", "36 bits", "48 bits"});
    if (!dc.isEmpty())
        db.lines << QStringLiteral("YCbCr 4:2:0 deep colour: ") + dc.join(QStringLiteral(", "));
    if (p(6) >> 4)
        db.lines << QStringLiteral("maximum FRL rate code %1").arg(p(6) >> 4);
}

void vendorBlock(Ctx& c, DataBlock& db) {
    if (db.length < 3) {
        db.name = QStringLiteral("Vendor-specific data block");
        c.f.add(db.offset, QStringLiteral("The vendor-specific block has no room for an OUI."));
        return;
    }
    const int oui =
        c.b.at(db.offset + 1) | c.b.at(db.offset + 2) << 8 | c.b.at(db.offset + 3) << 16;
    const QString ouiText =
        QStringLiteral("%1-%2-%3")
            .arg(hexByte(oui >> 16), hexByte(oui >> 8 & 0xFF), hexByte(oui & 0xFF));
    if (oui == kHdmiOui) {
        db.name = QStringLiteral("HDMI vendor-specific data block (OUI %1)").arg(ouiText);
        hdmiBlock(c, db);
    } else if (oui == kHdmiForumOui) {
        db.name = QStringLiteral("HDMI Forum vendor-specific data block (OUI %1)").arg(ouiText);
        hdmiForumBlock(c, db);
    } else {
        db.name = QStringLiteral("Vendor-specific data block (OUI %1)").arg(ouiText);
    }
}

void videoCapabilityBlock(Ctx& c, DataBlock& db) {
    const int v = c.b.at(db.offset + 2);
    static const char* scan[] = {"not described", "always overscanned", "always underscanned",
                                 "both"};
    db.lines << QStringLiteral("quantization selectable: RGB %1, YCC %2")
                    .arg(yesNo(v & 0x40), yesNo(v & 0x80));
    db.lines << QStringLiteral("scan: preferred %1, IT %2, CE %3")
                    .arg(QLatin1String(scan[v >> 4 & 3]), QLatin1String(scan[v >> 2 & 3]),
                         QLatin1String(scan[v & 3]));
}

void colorimetryBlock(Ctx& c, DataBlock& db) {
    const int v = c.b.at(db.offset + 2) | c.b.at(db.offset + 3) << 8;
    const QStringList names =
        bitNames(v, {"xvYCC601", "xvYCC709", "sYCC601", "opYCC601", "opRGB", "BT2020cYCC",
                     "BT2020YCC", "BT2020RGB", "", "", "", "", "", "", "", "DCI-P3"});
    db.lines << (names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", ")));
    if (db.length >= 3 && (v >> 8 & 0x0F))
        db.lines << QStringLiteral("gamut metadata profiles 0x%1").arg(v >> 8 & 0x0F);
}

void hdrStaticBlock(Ctx& c, DataBlock& db) {
    c.cta.hdrStatic = true;
    const auto p = [&](int i) { return i < db.length ? c.b.at(db.offset + 1 + i) : 0; };
    c.cta.hdrTransfers =
        bitNames(p(1), {"traditional gamma SDR", "traditional gamma HDR", "SMPTE ST 2084", "HLG"});
    db.lines << QStringLiteral("transfer functions: ") +
                    (c.cta.hdrTransfers.isEmpty() ? QStringLiteral("none")
                                                  : c.cta.hdrTransfers.join(QStringLiteral(", ")));
    if (p(2) & 1)
        db.lines << QStringLiteral("static metadata type 1");
    const auto luminance = [](int code) { return 50.0 * std::pow(2.0, code / 32.0); };
    if (db.length > 3 && p(3))
        db.lines
            << QStringLiteral("desired maximum luminance %1 cd/m²").arg(luminance(p(3)), 0, 'f', 1);
    if (db.length > 4 && p(4))
        db.lines << QStringLiteral("desired maximum frame-average luminance %1 cd/m²")
                        .arg(luminance(p(4)), 0, 'f', 1);
    if (db.length > 5)
        db.lines << QStringLiteral("desired minimum luminance %1 cd/m²")
                        .arg(luminance(p(3)) * (p(5) / 255.0) * (p(5) / 255.0) / 100.0, 0, 'f', 4);
}

void ycbcr420VideoBlock(Ctx& c, DataBlock& db) {
    for (int i = 2; i <= db.length; ++i) {
        const int vic = c.b.at(db.offset + i);
        c.cta.ycbcr420OnlyVics << vic;
        db.lines << QStringLiteral("VIC %1: %2").arg(vic, 3).arg(vicName(vic));
    }
}

void ycbcr420MapBlock(Ctx& c, DataBlock& db) {
    if (db.length == 1) {
        db.lines << QStringLiteral("every listed VIC also in YCbCr 4:2:0");
        return;
    }
    for (int i = 0; i < (db.length - 1) * 8; ++i)
        if (c.b.at(db.offset + 2 + i / 8) >> (i % 8) & 1) {
            const int vic = i < c.cta.vics.size() ? c.cta.vics[i].vic : -1;
            db.lines << (vic < 0 ? QStringLiteral("video descriptor %1 (none listed)").arg(i + 1)
                                 : QStringLiteral("VIC %1: %2 also in YCbCr 4:2:0")
                                       .arg(vic, 3)
                                       .arg(vicName(vic)));
        }
}

void extendedBlock(Ctx& c, DataBlock& db) {
    if (db.length < 1) {
        db.name = QStringLiteral("Extended data block without a tag");
        c.f.add(db.offset, QStringLiteral("An extended data block has length 0."));
        return;
    }
    db.extendedTag = c.b.at(db.offset + 1);
    switch (db.extendedTag) {
    case 0:
        db.name = QStringLiteral("Video capability data block");
        return videoCapabilityBlock(c, db);
    case 1:
        db.name = QStringLiteral("Vendor-specific video data block");
        return;
    case 2:
        db.name = QStringLiteral("VESA display device data block");
        return;
    case 3:
        db.name = QStringLiteral("VESA video timing block extension");
        return;
    case 5:
        db.name = QStringLiteral("Colorimetry data block");
        return colorimetryBlock(c, db);
    case 6:
        db.name = QStringLiteral("HDR static metadata data block");
        return hdrStaticBlock(c, db);
    case 7:
        db.name = QStringLiteral("HDR dynamic metadata data block");
        return;
    case 13:
        db.name = QStringLiteral("Video format preference data block");
        for (int i = 2; i <= db.length; ++i)
            db.lines << QStringLiteral("code %1").arg(c.b.at(db.offset + i));
        return;
    case 14:
        db.name = QStringLiteral("YCbCr 4:2:0 video data block");
        return ycbcr420VideoBlock(c, db);
    case 15:
        db.name = QStringLiteral("YCbCr 4:2:0 capability map data block");
        return ycbcr420MapBlock(c, db);
    case 16:
        db.name = QStringLiteral("Miscellaneous audio fields");
        return;
    case 17:
        db.name = QStringLiteral("Vendor-specific audio data block");
        return;
    case 18:
        db.name = QStringLiteral("HDMI audio data block");
        return;
    case 19:
        db.name = QStringLiteral("Room configuration data block");
        return;
    case 20:
        db.name = QStringLiteral("Speaker location data block");
        return;
    case 32:
        db.name = QStringLiteral("InfoFrame data block");
        return;
    case 120:
        db.name = QStringLiteral("HDMI Forum EDID extension override data block");
        return;
    case 121:
        db.name = QStringLiteral("HDMI Forum sink capability data block");
        return hdmiForumBlock(c, db);
    default:
        db.name = QStringLiteral("Extended data block, tag %1").arg(db.extendedTag);
    }
}

void decodeDataBlock(Ctx& c, DataBlock& db) {
    switch (db.tag) {
    case 1:
        db.name = QStringLiteral("Audio data block");
        return audioBlock(c, db);
    case 2:
        db.name = QStringLiteral("Video data block");
        return videoBlock(c, db);
    case 3:
        return vendorBlock(c, db);
    case 4:
        db.name = QStringLiteral("Speaker allocation data block");
        return speakerBlock(c, db);
    case 5:
        db.name = QStringLiteral("VESA display transfer characteristic data block");
        return;
    case 7:
        return extendedBlock(c, db);
    default:
        db.name = QStringLiteral("Reserved data block, tag %1").arg(db.tag);
        c.f.add(db.offset, QStringLiteral("Data block tag %1 is reserved.").arg(db.tag));
    }
}

// The blocks from byte 4 up to the detailed timings at areaEnd; a cut-off
// image ends them at its last byte, which is a finding of its own.
void decodeDataBlocks(Ctx& c, int block, int areaEnd) {
    const int end = qMin(areaEnd, c.b.size);
    int at = block + 4;
    while (at < end) {
        DataBlock db;
        db.offset = at;
        db.tag = c.b.at(at) >> 5;
        db.length = c.b.at(at) & 31;
        if (at + 1 + db.length > end) {
            if (at + 1 + db.length <= areaEnd)
                return;
            c.f.add(at, QStringLiteral("The data block at byte %1 (tag %2, length %3) runs past "
                                       "the end of the data block area at byte %4.")
                            .arg(at)
                            .arg(db.tag)
                            .arg(db.length)
                            .arg(areaEnd));
            return;
        }
        decodeDataBlock(c, db);
        c.cta.dataBlocks << db;
        at += 1 + db.length;
    }
}

void decodeCtaTimings(Ctx& c, int block, int start) {
    for (int at = start; at + 18 <= block + 127; at += 18) {
        const auto t = decodeDetailedTiming(c.b.view(at, 18), at);
        if (!t)
            break;
        if (t->hActive == 0 || t->vActive == 0)
            c.f.add(at, QStringLiteral("The detailed timing has no active area."));
        else if (t->hBack < 0 || t->vBack < 0)
            c.f.add(at, QStringLiteral("The detailed timing's porches and sync exceed its "
                                       "blanking."));
        c.cta.dtds << *t;
    }
}

} // namespace

CtaExtension decodeCtaExtension(const Bytes& b, int block, FindingList& f) {
    CtaExtension cta;
    cta.offset = block;
    Ctx c{b, cta, f};
    cta.revision = b.at(block + 1);
    cta.dtdStart = b.at(block + 2);
    cta.checksum = b.at(block + 127);
    const int flags = b.at(block + 3);
    if (cta.revision == 0 || cta.revision > 3)
        f.add(block + 1, QStringLiteral("CTA-861 revision %1 is not 1 to 3.").arg(cta.revision));
    if (cta.revision >= 2) {
        cta.underscan = flags & 0x80;
        cta.basicAudio = flags & 0x40;
        cta.ycbcr444 = flags & 0x20;
        cta.ycbcr422 = flags & 0x10;
        cta.nativeDtds = flags & 0x0F;
    }
    const int d = cta.dtdStart;
    if ((d > 0 && d < 4) || d > 127) {
        f.add(block + 2,
              QStringLiteral("The detailed timing offset %1 lies outside 4..127.").arg(d));
        return cta;
    }
    if (d == 0)
        return cta;
    if (cta.revision >= 2)
        decodeDataBlocks(c, block, block + d);
    decodeCtaTimings(c, block, block + d);
    return cta;
}

} // namespace detail

QString ShortAudio::name() const {
    static const char* names[] = {"reserved (0)",  "LPCM",   "AC-3",      "MPEG-1", "MP3",
                                  "MPEG-2",        "AAC LC", "DTS",       "ATRAC",  "DSD",
                                  "Enhanced AC-3", "DTS-HD", "MAT (MLP)", "DST",    "WMA Pro"};
    if (formatCode >= 0 && formatCode <= 14)
        return QString::fromLatin1(names[formatCode]);
    return QStringLiteral("extended audio code %1").arg(extendedCode);
}

} // namespace edid

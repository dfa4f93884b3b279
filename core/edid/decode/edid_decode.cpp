// The decoder's entry point: the blocks an image holds, their checksums, and
// the summary line.

#include "core/edid/decode/edid_decode_internal.h"
#include "core/edid/decode/edid_vic.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace edid {

namespace detail {

QString hexByte(int value) {
    return QStringLiteral("%1").arg(value & 0xFF, 2, 16, QChar(u'0')).toUpper();
}

bool descriptorText(const Bytes& b, int from, QString* text) {
    bool printable = true;
    text->clear();
    for (int i = from; i < from + 13; ++i) {
        const int c = b.at(i);
        // A line feed ends the text; a NUL is no character, but some images
        // end their text with one.
        if (c == 0x0A || c == 0x00) {
            printable = printable && c == 0x0A;
            break;
        }
        if (c < 0x20 || c > 0x7E) {
            printable = false;
            text->append(QChar(u'?'));
        } else {
            text->append(QChar(c));
        }
    }
    while (text->endsWith(u' '))
        text->chop(1);
    return printable;
}

} // namespace detail

namespace {

using detail::Bytes;
using detail::FindingList;

constexpr int kBlock = 128;

bool blockIsBlank(const Bytes& b, int block) {
    const int first = b.at(block);
    if (first != 0 && first != 0xFF)
        return false;
    for (int i = block; i < block + kBlock && i < b.size; ++i)
        if (b.at(i) != first)
            return false;
    return true;
}

void checkBlockSum(const Bytes& b, int block, DecodedEdid& d, FindingList& f) {
    if (!b.has(block, kBlock)) {
        d.checksumsOk << false;
        f.add(b.size, QStringLiteral("Block %1 is cut off after %2 of its 128 bytes.")
                          .arg(block / kBlock)
                          .arg(b.size - block));
        return;
    }
    unsigned sum = 0;
    for (int i = block; i < block + kBlock; ++i)
        sum += unsigned(b.at(i));
    d.checksumsOk << (sum % 256 == 0);
    if (sum % 256 != 0) {
        const int want = int((256 - (sum - unsigned(b.at(block + 127))) % 256) % 256);
        f.add(block + 127, QStringLiteral("Block %1's checksum is 0x%2; it should be 0x%3.")
                               .arg(block / kBlock)
                               .arg(detail::hexByte(b.at(block + 127)), detail::hexByte(want)));
    }
}

QString extensionName(int tag) {
    switch (tag) {
    case 0x02:
        return QStringLiteral("CTA-861 extension");
    case 0x10:
        return QStringLiteral("Video timing block extension");
    case 0x20:
        return QStringLiteral("EDID 2.0 extension");
    case 0x40:
        return QStringLiteral("Display information extension");
    case 0x50:
        return QStringLiteral("Localized string extension");
    case 0x60:
        return QStringLiteral("Digital packet video link extension");
    case 0x70:
        return QStringLiteral("DisplayID extension");
    case 0xF0:
        return QStringLiteral("Block map");
    case 0xFF:
        return QStringLiteral("Manufacturer extension");
    default:
        return QStringLiteral("Unknown extension, tag 0x%1").arg(detail::hexByte(tag));
    }
}

// How many blocks to decode: those the base block announces, as far as the
// bytes go, and a block the count leaves out when it holds anything but
// blank (0x00 or 0xFF) bytes.
int blocksToDecode(const Bytes& b, int announced, FindingList& f) {
    const int present = (b.size + kBlock - 1) / kBlock;
    if (announced + 1 > present) {
        f.add(126, QStringLiteral("The base block announces %1 extension block(s), but the image "
                                  "holds %2.")
                       .arg(announced)
                       .arg(present - 1));
        return present;
    }
    int blocks = announced + 1;
    while (blocks < present && !blockIsBlank(b, blocks * kBlock)) {
        f.add(blocks * kBlock, QStringLiteral("Block %1 holds data the extension count (%2) "
                                              "leaves out; decoded anyway.")
                                   .arg(blocks)
                                   .arg(announced));
        ++blocks;
    }
    return blocks;
}

} // namespace

DecodedEdid decodeEdid(QByteArrayView bytes) {
    DecodedEdid d;
    // A real image has at most 256 blocks; beyond that nothing is read.
    const Bytes b{reinterpret_cast<const std::uint8_t*>(bytes.data()),
                  int(qMin<qsizetype>(bytes.size(), 256 * kBlock))};
    d.size = int(bytes.size());
    FindingList f(d.findings);
    if (b.size == 0) {
        f.add(-1, QStringLiteral("The image is empty."));
        d.summary = summaryLine(d);
        return d;
    }
    d.base = detail::decodeBaseBlock(b, f);
    d.blocks = blocksToDecode(b, d.base.extensionCount, f);
    checkBlockSum(b, 0, d, f);
    for (int n = 1; n < d.blocks; ++n) {
        const int block = n * kBlock;
        checkBlockSum(b, block, d, f);
        const int tag = b.at(block);
        if (tag == 0x02)
            d.cta << detail::decodeCtaExtension(b, block, f);
        else
            d.otherExtensions << OtherExtension{block, tag, extensionName(tag)};
    }
    // In image order, so that the list reads along with the bytes.
    std::stable_sort(d.findings.begin(), d.findings.end(),
                     [](const Finding& x, const Finding& y) { return x.offset < y.offset; });
    d.summary = summaryLine(d);
    return d;
}

QList<DetailedTiming> DecodedEdid::detailedTimings() const {
    QList<DetailedTiming> all;
    for (const Descriptor& desc : base.descriptors)
        if (desc.timing)
            all << *desc.timing;
    for (const CtaExtension& c : cta)
        all << c.dtds;
    return all;
}

namespace {
QString descriptorTextOf(const BaseBlock& base, DescriptorKind kind) {
    for (const Descriptor& desc : base.descriptors)
        if (desc.kind == kind)
            return desc.text;
    return {};
}

QString modeName(const DetailedTiming& t) {
    return QStringLiteral("%1x%2%3 %4 Hz")
        .arg(t.hActive)
        .arg(t.frameHeight())
        .arg(t.interlaced ? QStringLiteral("i") : QString())
        .arg(QString::number(std::round(t.refreshHz()), 'f', 0));
}

QString videoPart(const DecodedEdid& d) {
    const VicFormat* best = nullptr;
    int count = 0;
    for (const CtaExtension& c : d.cta)
        for (const ShortVideo& v : c.vics) {
            ++count;
            const VicFormat* f = vicFormat(v.vic);
            // Largest frame first, then progressive over interlaced, then rate.
            const auto key = [](const VicFormat* x) {
                return std::make_tuple(x->height, x->width, !x->interlaced, x->rateHz);
            };
            if (f && (!best || key(f) > key(best)))
                best = f;
        }
    if (count == 0)
        return QStringLiteral("no video modes");
    QString s = QStringLiteral("%1 video mode%2").arg(count).arg(count == 1 ? "" : "s");
    if (best)
        s += QStringLiteral(" up to %1%2")
                 .arg(best->height)
                 .arg(best->interlaced ? QChar(u'i') : QChar(u'p'));
    return s;
}

QString audioPart(const DecodedEdid& d) {
    int lpcm = 0;
    QStringList others;
    for (const CtaExtension& c : d.cta)
        for (const ShortAudio& a : c.audio) {
            if (a.formatCode == 1)
                lpcm = qMax(lpcm, a.channels);
            else if (!others.contains(a.name()))
                others << a.name();
        }
    QStringList parts;
    if (lpcm)
        parts << QStringLiteral("LPCM %1 ch").arg(lpcm);
    parts << others;
    return parts.isEmpty() ? QStringLiteral("no audio") : parts.join(QStringLiteral(", "));
}

QString linkPart(const DecodedEdid& d) {
    int tmds = 0, forum = 0;
    bool hdmi = false;
    for (const CtaExtension& c : d.cta) {
        hdmi = hdmi || c.hdmi;
        tmds = qMax(tmds, c.maxTmdsMhz);
        forum = qMax(forum, c.hdmiForumMaxTmdsMhz);
    }
    if (hdmi && forum)
        return QStringLiteral("HDMI 2.x, %1 MHz TMDS").arg(forum);
    if (hdmi && tmds)
        return QStringLiteral("HDMI, %1 MHz TMDS").arg(tmds);
    if (hdmi)
        return QStringLiteral("HDMI");
    if (!d.base.digital)
        return QStringLiteral("analog");
    // EDID 1.4 names the interface; without an HDMI block an HDMI-a or
    // DisplayPort sink still says so, anything else counts as DVI.
    const QString& i = d.base.interface;
    return i == u"DisplayPort" || i.startsWith(QLatin1String("HDMI")) || i == u"MDDI"
               ? i
               : QStringLiteral("DVI");
}

// The names technicians know: ST 2084 (PQ) is what HDR10 sends.
QString hdrPart(const DecodedEdid& d) {
    QStringList hdr;
    for (const CtaExtension& c : d.cta)
        for (const QString& t : c.hdrTransfers) {
            const QString name = t == u"SMPTE ST 2084"           ? QStringLiteral("HDR10")
                                 : t == u"traditional gamma HDR" ? QStringLiteral("gamma HDR")
                                 : t == u"HLG"                   ? t
                                                                 : QString();
            if (!name.isEmpty() && !hdr.contains(name))
                hdr << name;
        }
    return hdr.isEmpty() ? QStringLiteral("no HDR") : hdr.join(QStringLiteral(", "));
}
} // namespace

QString DecodedEdid::productName() const {
    return descriptorTextOf(base, DescriptorKind::ProductName);
}

bool DecodedEdid::hasProductName() const {
    for (const Descriptor& desc : base.descriptors)
        if (desc.kind == DescriptorKind::ProductName)
            return true;
    return false;
}

QString DecodedEdid::serialText() const {
    return descriptorTextOf(base, DescriptorKind::ProductSerial);
}

QString summaryLine(const DecodedEdid& d) {
    if (d.size == 0)
        return QStringLiteral("empty image");
    QStringList parts;
    const QList<DetailedTiming> timings = d.detailedTimings();
    if (!d.base.headerOk)
        parts << QStringLiteral("not an EDID header");
    parts << (timings.isEmpty() ? QStringLiteral("no preferred timing")
                                : modeName(timings.first()) + QStringLiteral(" preferred"));
    if (d.cta.isEmpty()) {
        parts << QStringLiteral("no CTA-861 extension");
        if (d.size > 20)
            parts << linkPart(d);
    } else {
        parts << videoPart(d) << audioPart(d) << linkPart(d) << hdrPart(d);
    }
    if (!d.findings.isEmpty())
        parts << QStringLiteral("%1 finding%2")
                     .arg(d.findings.size())
                     .arg(d.findings.size() == 1 ? "" : "s");
    return parts.join(QStringLiteral(" · "));
}

} // namespace edid

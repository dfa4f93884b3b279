// The decoded image as text, for the window's pane and the exported file.

#include "core/edid/decode/edid_text.h"

#include "core/edid/decode/edid_decode_internal.h"

namespace edid {

namespace {

using detail::hexByte;

QString fixed(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

QString joinOrNone(const QStringList& items) {
    return items.isEmpty() ? QStringLiteral("none") : items.join(QStringLiteral(", "));
}

QString syncText(const DetailedTiming& t, bool horizontal) {
    switch (t.sync) {
    case SyncKind::DigitalSeparate:
        return (horizontal ? t.hSyncPositive : t.vSyncPositive) ? QStringLiteral("+")
                                                                : QStringLiteral("-");
    case SyncKind::DigitalComposite:
        return horizontal
                   ? QStringLiteral("composite %1").arg(t.hSyncPositive ? QChar(u'+') : QChar(u'-'))
                   : QStringLiteral("composite%1").arg(t.vSyncPositive ? " serrated" : "");
    default:
        return horizontal ? QStringLiteral("analog composite") : QString();
    }
}

QString madeText(const BaseBlock& base) {
    if (base.modelYear)
        return QStringLiteral("model year %1").arg(base.year);
    if (base.week == 0)
        return QString::number(base.year);
    return QStringLiteral("week %1 of %2").arg(base.week).arg(base.year);
}

QString inputText(const BaseBlock& base) {
    if (!base.digital)
        return QStringLiteral("analog, ") + base.analogLevels +
               (base.analogFlags.isEmpty() ? QString()
                                           : QStringLiteral(", ") + base.analogFlags.join(", "));
    QString s = QStringLiteral("digital");
    if (base.bitsPerColor)
        s += QStringLiteral(", %1 bits per colour").arg(base.bitsPerColor);
    if (!base.interface.isEmpty())
        s += QStringLiteral(", ") + base.interface;
    return s;
}

QString screenText(const BaseBlock& base) {
    if (!base.aspectRatio.isEmpty())
        return QStringLiteral("aspect ratio ") + base.aspectRatio;
    if (base.widthCm == 0 || base.heightCm == 0)
        return QStringLiteral("size not given");
    return QStringLiteral("%1 x %2 cm").arg(base.widthCm).arg(base.heightCm);
}

QString featuresText(const BaseBlock& base) {
    QStringList f;
    QStringList dpms;
    if (base.standby)
        dpms << QStringLiteral("standby");
    if (base.suspend)
        dpms << QStringLiteral("suspend");
    if (base.activeOff)
        dpms << QStringLiteral("active off");
    f << QStringLiteral("power saving: ") + joinOrNone(dpms);
    f << base.colorType;
    if (base.srgbDefault)
        f << QStringLiteral("sRGB default");
    if (base.preferredIsNative)
        f << QStringLiteral("preferred timing is native");
    if (base.continuousFrequency)
        f << (base.versionMinor >= 4 ? QStringLiteral("continuous frequency")
                                     : QStringLiteral("GTF supported"));
    return f.join(QStringLiteral("; "));
}

QString chromaText(const BaseBlock& base) {
    static const char* names[] = {"red", "green", "blue", "white"};
    QStringList parts;
    for (int i = 0; i < 4; ++i)
        parts << QStringLiteral("%1 %2, %3")
                     .arg(QLatin1String(names[i]), fixed(base.chroma[2 * i] / 1024.0, 4),
                          fixed(base.chroma[2 * i + 1] / 1024.0, 4));
    return parts.join(QStringLiteral("; "));
}

QString descriptorText(const Descriptor& d) {
    switch (d.kind) {
    case DescriptorKind::DetailedTiming:
        return QStringLiteral("detailed timing");
    case DescriptorKind::ProductSerial:
        return QStringLiteral("serial number \"%1\"").arg(d.text);
    case DescriptorKind::DataString:
        return QStringLiteral("data string \"%1\"").arg(d.text);
    case DescriptorKind::ProductName:
        return QStringLiteral("product name \"%1\"").arg(d.text);
    case DescriptorKind::RangeLimits: {
        const RangeLimits& r = *d.limits;
        return QStringLiteral("range limits %1-%2 Hz V, %3-%4 kHz H%5, %6")
            .arg(r.minVHz)
            .arg(r.maxVHz)
            .arg(r.minHKhz)
            .arg(r.maxHKhz)
            .arg(r.maxClockMhz ? QStringLiteral(", up to %1 MHz").arg(r.maxClockMhz) : QString(),
                 r.timingSupport);
    }
    case DescriptorKind::ColorPoint:
        return QStringLiteral("colour point");
    case DescriptorKind::StandardTimings:
        return QStringLiteral("standard timings");
    case DescriptorKind::ColorManagement:
        return QStringLiteral("colour management data");
    case DescriptorKind::CvtCodes:
        return QStringLiteral("CVT 3-byte timing codes");
    case DescriptorKind::EstablishedIII:
        return QStringLiteral("established timings III");
    case DescriptorKind::Dummy:
        return QStringLiteral("dummy");
    case DescriptorKind::Manufacturer:
        return QStringLiteral("manufacturer-specific (tag 0x%1)").arg(hexByte(d.tag));
    case DescriptorKind::Reserved:
        break;
    }
    return QStringLiteral("reserved tag 0x%1").arg(hexByte(d.tag));
}

void appendBase(QStringList& out, const DecodedEdid& d) {
    const BaseBlock& b = d.base;
    out << QStringLiteral("Block 0: base EDID (bytes 0-127)");
    out << QStringLiteral("  Header: ") +
               (b.headerOk ? QStringLiteral("valid") : QStringLiteral("not an EDID header"));
    // A cut-off image shows only the fields its bytes hold.
    const int size = d.size;
    if (size >= 18) {
        out << QStringLiteral("  Manufacturer: %1, product code %2 (0x%3), serial number %4")
                   .arg(b.manufacturer)
                   .arg(b.productCode)
                   .arg(QString::number(b.productCode, 16).toUpper().rightJustified(4, u'0'))
                   .arg(b.serialNumber ? QString::number(b.serialNumber)
                                       : QStringLiteral("not given"));
        out << QStringLiteral("  Made: ") + madeText(b);
    }
    if (size >= 20)
        out << QStringLiteral("  Version: %1.%2").arg(b.versionMajor).arg(b.versionMinor);
    if (size >= 25) {
        out << QStringLiteral("  Input: ") + inputText(b);
        out << QStringLiteral("  Screen: ") + screenText(b);
        out << QStringLiteral("  Gamma: ") + (b.gammaX100 ? fixed(b.gammaX100 / 100.0, 2)
                                                          : QStringLiteral("in an extension"));
        out << QStringLiteral("  Features: ") + featuresText(b);
    }
    if (size >= 35)
        out << QStringLiteral("  Chromaticity: ") + chromaText(b);
    if (size >= 38)
        out << QStringLiteral("  Established timings: ") + joinOrNone(b.establishedTimings);
    QStringList standard;
    for (const StandardTiming& t : b.standardTimings)
        standard << QStringLiteral("%1x%2 %3 Hz (%4)")
                        .arg(t.width)
                        .arg(t.height)
                        .arg(t.rateHz)
                        .arg(t.aspect);
    if (size >= 54)
        out << QStringLiteral("  Standard timings: ") + joinOrNone(standard);
    int n = 0;
    for (const Descriptor& desc : b.descriptors) {
        out << QStringLiteral("  Descriptor %1 (byte %2): %3")
                   .arg(++n)
                   .arg(desc.offset)
                   .arg(descriptorText(desc));
        if (desc.timing)
            for (const QString& l : detailedTimingLines(*desc.timing))
                out << QStringLiteral("    ") + l;
        for (const QString& l : desc.lines)
            out << QStringLiteral("    ") + l;
    }
    if (size < 128)
        return;
    out << QStringLiteral("  Extension blocks: %1").arg(b.extensionCount);
    if (!d.checksumsOk.isEmpty())
        out << QStringLiteral("  Checksum: 0x%1 (%2)")
                   .arg(hexByte(b.checksum), d.checksumsOk[0] ? "valid" : "wrong");
}

void appendCta(QStringList& out, const DecodedEdid& d, const CtaExtension& c) {
    const int n = c.offset / 128;
    out << QStringLiteral("Block %1: CTA-861 extension, revision %2 (bytes %3-%4)")
               .arg(n)
               .arg(c.revision)
               .arg(c.offset)
               .arg(c.offset + 127);
    QStringList flags;
    if (c.underscan)
        flags << QStringLiteral("underscans IT formats");
    if (c.basicAudio)
        flags << QStringLiteral("basic audio");
    if (c.ycbcr444)
        flags << QStringLiteral("YCbCr 4:4:4");
    if (c.ycbcr422)
        flags << QStringLiteral("YCbCr 4:2:2");
    out << QStringLiteral("  Supports: %1; native detailed timings: %2")
               .arg(joinOrNone(flags))
               .arg(c.nativeDtds);
    for (const DataBlock& db : c.dataBlocks) {
        out << QStringLiteral("  %1 (byte %2, %3 bytes)")
                   .arg(db.name)
                   .arg(db.offset)
                   .arg(db.length);
        for (const QString& l : db.lines)
            out << QStringLiteral("    ") + l;
    }
    for (const DetailedTiming& t : c.dtds) {
        out << QStringLiteral("  Detailed timing (byte %1)").arg(t.offset);
        for (const QString& l : detailedTimingLines(t))
            out << QStringLiteral("    ") + l;
    }
    if (n < d.checksumsOk.size())
        out << QStringLiteral("  Checksum: 0x%1 (%2)")
                   .arg(hexByte(c.checksum), d.checksumsOk[n] ? "valid" : "wrong");
}

} // namespace

QStringList detailedTimingLines(const DetailedTiming& t) {
    QStringList out;
    out << QStringLiteral("%1x%2%3 %4 Hz, %5 kHz, %6 MHz, %7 x %8 mm")
               .arg(t.hActive)
               .arg(t.frameHeight())
               .arg(t.interlaced ? QStringLiteral("i") : QString())
               .arg(fixed(t.refreshHz(), 3), fixed(t.lineRateKhz(), 3),
                    fixed(t.pixelClockKhz / 1000.0, 3))
               .arg(t.widthMm)
               .arg(t.heightMm);
    out << QStringLiteral("H: front %1, sync %2, back %3, border %4, sync %5")
               .arg(t.hFront)
               .arg(t.hSync)
               .arg(t.hBack)
               .arg(t.hBorder)
               .arg(syncText(t, true));
    out << QStringLiteral("V: front %1, sync %2, back %3, border %4%5%6")
               .arg(t.vFront)
               .arg(t.vSync)
               .arg(t.vBack)
               .arg(t.vBorder)
               .arg(syncText(t, false).isEmpty() ? QString()
                                                 : QStringLiteral(", sync ") + syncText(t, false),
                    t.interlaced ? QStringLiteral(" (per field)") : QString());
    if (t.stereo > 1)
        out << QStringLiteral("stereo mode %1").arg(t.stereo);
    return out;
}

QString decodedText(const DecodedEdid& d) {
    QStringList out;
    out << d.summary << QString();
    if (d.findings.isEmpty()) {
        out << QStringLiteral("Findings: none");
    } else {
        out << QStringLiteral("Findings");
        for (const Finding& f : d.findings)
            out << (f.offset >= 0 ? QStringLiteral("! byte %1: %2").arg(f.offset).arg(f.text)
                                  : QStringLiteral("! ") + f.text);
    }
    if (d.size == 0)
        return out.join(u'\n') + u'\n';
    out << QString();
    appendBase(out, d);
    for (const CtaExtension& c : d.cta) {
        out << QString();
        appendCta(out, d, c);
    }
    for (const OtherExtension& e : d.otherExtensions) {
        out << QString();
        out << QStringLiteral("Block %1: %2 (bytes %3-%4), not decoded")
                   .arg(e.offset / 128)
                   .arg(e.name)
                   .arg(e.offset)
                   .arg(e.offset + 127);
    }
    return out.join(u'\n') + u'\n';
}

QString decodedText(QByteArrayView bytes) {
    return decodedText(decodeEdid(bytes));
}

} // namespace edid

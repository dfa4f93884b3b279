// The base block: identification, basic parameters, colour, the timing
// lists and the four 18-byte descriptors.

#include "core/edid/decode/edid_decode_internal.h"

namespace edid {

namespace detail {

namespace {

constexpr int kDescriptorOffsets[] = {54, 72, 90, 108};

bool atLeast14(const BaseBlock& base) {
    return base.versionMajor > 1 || (base.versionMajor == 1 && base.versionMinor >= 4);
}

void decodeHeader(const Bytes& b, BaseBlock& base, FindingList& f) {
    base.headerOk = startsWithHeader(b.view(0, b.size));
    if (!base.headerOk)
        f.add(0, QStringLiteral("The header is not %1.").arg(QLatin1String(kHeaderText)));
}

void decodeIdentification(const Bytes& b, BaseBlock& base, FindingList& f) {
    if (!b.has(8, 10))
        return;
    base.manufacturer = manufacturerId(b.at(8), b.at(9));
    if ((b.at(8) & 0x80) || base.manufacturer.contains(u'?'))
        f.add(8, QStringLiteral("The manufacturer ID is not three letters A-Z with bit 15 clear."));
    base.productCode = b.at(10) | b.at(11) << 8;
    base.serialNumber = quint32(b.at(12)) | quint32(b.at(13)) << 8 | quint32(b.at(14)) << 16 |
                        quint32(b.at(15)) << 24;
    base.week = b.at(16);
    base.year = 1990 + b.at(17);
    base.modelYear = base.week == 0xFF;
    if (base.week > 54 && base.week != 0xFF)
        f.add(
            16,
            QStringLiteral("Week %1 of manufacture is reserved (1-54, 0 or 0xFF).").arg(base.week));
}

void decodeVersion(const Bytes& b, BaseBlock& base, FindingList& f) {
    if (!b.has(18, 2))
        return;
    base.versionMajor = b.at(18);
    base.versionMinor = b.at(19);
    if (base.versionMajor != 1 || base.versionMinor == 0 || base.versionMinor > 4)
        f.add(18, QStringLiteral("EDID version %1.%2 is not 1.1 to 1.4.")
                      .arg(base.versionMajor)
                      .arg(base.versionMinor));
    if (base.modelYear && !atLeast14(base))
        f.add(16, QStringLiteral("Week 0xFF (model year) is defined from EDID 1.4 on."));
}

void decodeDigitalInput(int v, BaseBlock& base, FindingList& f) {
    if (!atLeast14(base)) {
        if (v & 0x7E)
            f.add(20, QStringLiteral("Reserved bits are set in the video input byte (0x%1).")
                          .arg(hexByte(v)));
        base.interface = (v & 1) ? QStringLiteral("DFP 1.x compatible") : QString();
        return;
    }
    static const int depths[] = {0, 6, 8, 10, 12, 14, 16, -1};
    base.bitsPerColor = depths[(v >> 4) & 7];
    if (base.bitsPerColor < 0) {
        base.bitsPerColor = 0;
        f.add(20, QStringLiteral("The colour bit depth code 7 is reserved."));
    }
    static const char* interfaces[] = {"", "DVI", "HDMI-a", "HDMI-b", "MDDI", "DisplayPort"};
    const int i = v & 0x0F;
    if (i <= 5) {
        base.interface = QString::fromLatin1(interfaces[i]);
    } else {
        base.interface = QStringLiteral("reserved (%1)").arg(i);
        f.add(20, QStringLiteral("The digital interface code %1 is reserved.").arg(i));
    }
}

void decodeAnalogInput(int v, BaseBlock& base) {
    static const char* levels[] = {"0.700 : 0.300 : 1.000 V p-p", "0.714 : 0.286 : 1.000 V p-p",
                                   "1.000 : 0.400 : 1.400 V p-p", "0.700 : 0.000 : 0.700 V p-p"};
    base.analogLevels = QString::fromLatin1(levels[(v >> 5) & 3]);
    const char* flags[] = {"serrations on vertical sync", "sync on green", "composite sync on H",
                           "separate sync", "blank-to-black setup"};
    for (int bit = 4; bit >= 0; --bit)
        if (v & (1 << bit))
            base.analogFlags << QString::fromLatin1(flags[bit]);
}

void decodeBasicParameters(const Bytes& b, BaseBlock& base, FindingList& f) {
    if (!b.has(20, 5))
        return;
    const int input = b.at(20);
    base.digital = input & 0x80;
    if (base.digital)
        decodeDigitalInput(input, base, f);
    else
        decodeAnalogInput(input, base);
    base.widthCm = b.at(21);
    base.heightCm = b.at(22);
    if (atLeast14(base) && (base.widthCm == 0) != (base.heightCm == 0)) {
        base.aspectRatio =
            base.widthCm
                ? QString::number((base.widthCm + 99) / 100.0, 'f', 2) + QStringLiteral(":1")
                : QStringLiteral("1:") + QString::number((base.heightCm + 99) / 100.0, 'f', 2);
        base.widthCm = base.heightCm = 0;
    }
    base.gammaX100 = b.at(23) == 0xFF ? 0 : b.at(23) + 100;
    const int features = b.at(24);
    base.standby = features & 0x80;
    base.suspend = features & 0x40;
    base.activeOff = features & 0x20;
    const int type = (features >> 3) & 3;
    if (base.digital && atLeast14(base)) {
        static const char* enc[] = {"RGB 4:4:4", "RGB 4:4:4, YCrCb 4:4:4", "RGB 4:4:4, YCrCb 4:2:2",
                                    "RGB 4:4:4, YCrCb 4:4:4, YCrCb 4:2:2"};
        base.colorType = QString::fromLatin1(enc[type]);
    } else {
        static const char* types[] = {"monochrome or greyscale", "RGB colour", "non-RGB colour",
                                      "undefined"};
        base.colorType = QString::fromLatin1(types[type]);
    }
    base.srgbDefault = features & 0x04;
    base.preferredIsNative = features & 0x02;
    base.continuousFrequency = features & 0x01;
    if (!atLeast14(base) && base.versionMajor == 1 && base.versionMinor == 3 &&
        !base.preferredIsNative)
        f.add(24, QStringLiteral("EDID 1.3 requires the preferred timing bit to be set."));
}

void decodeChromaticity(const Bytes& b, BaseBlock& base) {
    if (!b.has(25, 10))
        return;
    const int lowRG = b.at(25), lowBW = b.at(26);
    const int low[8] = {lowRG >> 6, lowRG >> 4, lowRG >> 2, lowRG,
                        lowBW >> 6, lowBW >> 4, lowBW >> 2, lowBW};
    for (int i = 0; i < 8; ++i)
        base.chroma[i] = b.at(27 + i) << 2 | (low[i] & 3);
}

void decodeEstablishedTimings(const Bytes& b, BaseBlock& base) {
    if (!b.has(35, 3))
        return;
    static const char* names[17] = {
        "720x400 70 Hz",   "720x400 88 Hz",   "640x480 60 Hz",  "640x480 67 Hz",  "640x480 72 Hz",
        "640x480 75 Hz",   "800x600 56 Hz",   "800x600 60 Hz",  "800x600 72 Hz",  "800x600 75 Hz",
        "832x624 75 Hz",   "1024x768i 87 Hz", "1024x768 60 Hz", "1024x768 70 Hz", "1024x768 75 Hz",
        "1280x1024 75 Hz", "1152x870 75 Hz"};
    const int bits = b.at(35) << 16 | b.at(36) << 8 | b.at(37);
    for (int i = 0; i < 17; ++i)
        if (bits & (1 << (23 - i)))
            base.establishedTimings << QString::fromLatin1(names[i]);
    if (bits & 0x7F)
        base.establishedTimings
            << QStringLiteral("manufacturer timings 0x%1").arg(hexByte(bits & 0x7F));
}

std::optional<StandardTiming> standardTiming(int b1, int b2, const BaseBlock& base) {
    if ((b1 == 0x01 && b2 == 0x01) || b1 == 0x00 || (b1 == 0x20 && b2 == 0x20))
        return std::nullopt;
    StandardTiming t;
    t.width = (b1 + 31) * 8;
    static const char* aspects[] = {"16:10", "4:3", "5:4", "16:9"};
    const int a = b2 >> 6;
    t.aspect = QString::fromLatin1(
        a == 0 && !atLeast14(base) && base.versionMinor < 3 ? "1:1" : aspects[a]);
    static const int num[] = {10, 3, 4, 9}, den[] = {16, 4, 5, 16};
    t.height = t.aspect == u"1:1" ? t.width : t.width * num[a] / den[a];
    t.rateHz = (b2 & 0x3F) + 60;
    return t;
}

void decodeStandardTimings(const Bytes& b, BaseBlock& base) {
    for (int at = 38; at < 54; at += 2)
        if (b.has(at, 2))
            if (const auto t = standardTiming(b.at(at), b.at(at + 1), base))
                base.standardTimings << *t;
}

RangeLimits rangeLimits(const Bytes& b, int at, FindingList& f) {
    RangeLimits r;
    const int offsets = b.at(at + 4);
    r.minVHz = b.at(at + 5) + ((offsets & 3) == 3 ? 255 : 0);
    r.maxVHz = b.at(at + 6) + ((offsets & 2) ? 255 : 0);
    r.minHKhz = b.at(at + 7) + ((offsets & 12) == 12 ? 255 : 0);
    r.maxHKhz = b.at(at + 8) + ((offsets & 8) ? 255 : 0);
    r.maxClockMhz = b.at(at + 9) * 10;
    static const char* kinds[] = {"default GTF", "bare limits", "secondary GTF", "", "CVT"};
    const int k = b.at(at + 10);
    r.timingSupport = k <= 4 && k != 3 ? QString::fromLatin1(kinds[k])
                                       : QStringLiteral("reserved (0x%1)").arg(hexByte(k));
    if (r.minVHz > r.maxVHz || r.minHKhz > r.maxHKhz)
        f.add(at + 5, QStringLiteral("A range limit's minimum exceeds its maximum."));
    if (k == 3 || k > 4)
        f.add(at + 10,
              QStringLiteral("Range limits timing support code 0x%1 is reserved.").arg(hexByte(k)));
    return r;
}

// The 44 timings of the established timings III descriptor, bit 7 of its
// first byte first.
QStringList establishedTimingsIII(const Bytes& b, int from) {
    static const char* names[44] = {
        "640x350 85 Hz",       "640x400 85 Hz",        "720x400 85 Hz",        "640x480 85 Hz",
        "848x480 60 Hz",       "800x600 85 Hz",        "1024x768 85 Hz",       "1152x864 75 Hz",
        "1280x768 60 Hz (RB)", "1280x768 60 Hz",       "1280x768 75 Hz",       "1280x768 85 Hz",
        "1280x960 60 Hz",      "1280x960 85 Hz",       "1280x1024 60 Hz",      "1280x1024 85 Hz",
        "1360x768 60 Hz",      "1440x900 60 Hz (RB)",  "1440x900 60 Hz",       "1440x900 75 Hz",
        "1440x900 85 Hz",      "1400x1050 60 Hz (RB)", "1400x1050 60 Hz",      "1400x1050 75 Hz",
        "1400x1050 85 Hz",     "1680x1050 60 Hz (RB)", "1680x1050 60 Hz",      "1680x1050 75 Hz",
        "1680x1050 85 Hz",     "1600x1200 60 Hz",      "1600x1200 65 Hz",      "1600x1200 70 Hz",
        "1600x1200 75 Hz",     "1600x1200 85 Hz",      "1792x1344 60 Hz",      "1792x1344 75 Hz",
        "1856x1392 60 Hz",     "1856x1392 75 Hz",      "1920x1200 60 Hz (RB)", "1920x1200 60 Hz",
        "1920x1200 75 Hz",     "1920x1200 85 Hz",      "1920x1440 60 Hz",      "1920x1440 75 Hz"};
    QStringList out;
    for (int i = 0; i < 44; ++i)
        if (b.at(from + i / 8) & (0x80 >> (i % 8)))
            out << QString::fromLatin1(names[i]);
    return QStringList{out.isEmpty() ? QStringLiteral("none") : out.join(QStringLiteral(", "))};
}

// One CVT 3-byte code: the addressable lines, the aspect ratio, the
// preferred and the supported vertical rates.
QString cvtCode(int b0, int b1, int b2) {
    const int lines = ((b1 >> 4) << 8 | b0) * 2 + 2;
    static const int num[] = {4, 16, 16, 15}, den[] = {3, 9, 10, 9};
    const int a = b1 >> 2 & 3;
    // CVT widths are whole multiples of 8 pixels.
    const int width = lines * num[a] / den[a] / 8 * 8;
    static const char* rates[] = {"50", "60", "75", "85"};
    QStringList supported;
    static const char* names[] = {"60 Hz (RB)", "85 Hz", "75 Hz", "60 Hz", "50 Hz"};
    for (int bit = 4; bit >= 0; --bit)
        if (b2 & (1 << bit))
            supported << QString::fromLatin1(names[bit]);
    return QStringLiteral("%1x%2 %3:%4, preferred %5 Hz, supports %6")
        .arg(width)
        .arg(lines)
        .arg(num[a])
        .arg(den[a])
        .arg(QLatin1String(rates[b2 >> 5 & 3]), supported.join(QStringLiteral(", ")));
}

Descriptor displayDescriptor(const Bytes& b, int at, const BaseBlock& base, FindingList& f) {
    Descriptor d;
    d.offset = at;
    d.tag = b.at(at + 3);
    if (b.at(at + 2) != 0 || (b.at(at + 4) != 0 && d.tag != 0xFD))
        f.add(at + 2, QStringLiteral("Reserved bytes of the display descriptor are not 0."));
    const auto textDescriptor = [&](DescriptorKind kind, const char* what) {
        d.kind = kind;
        if (!descriptorText(b, at + 5, &d.text))
            f.add(at + 5, QStringLiteral("The %1 holds a character that is not printable.")
                              .arg(QLatin1String(what)));
        else if (d.text.isEmpty() && kind == DescriptorKind::ProductName)
            f.add(at + 5, QStringLiteral("The product name is empty."));
    };
    switch (d.tag) {
    case 0xFF:
        textDescriptor(DescriptorKind::ProductSerial, "serial number text");
        break;
    case 0xFE:
        textDescriptor(DescriptorKind::DataString, "data string");
        break;
    case 0xFC:
        textDescriptor(DescriptorKind::ProductName, "product name");
        break;
    case 0xFD:
        d.kind = DescriptorKind::RangeLimits;
        d.limits = rangeLimits(b, at, f);
        break;
    case 0xFB:
        d.kind = DescriptorKind::ColorPoint;
        for (int p = at + 5; p <= at + 10; p += 5)
            if (b.at(p) != 0)
                d.lines << QStringLiteral("white point %1: x %2, y %3, gamma %4")
                               .arg(b.at(p))
                               .arg((b.at(p + 2) << 2 | (b.at(p + 1) >> 2 & 3)) / 1024.0, 0, 'f', 4)
                               .arg((b.at(p + 3) << 2 | (b.at(p + 1) & 3)) / 1024.0, 0, 'f', 4)
                               .arg((b.at(p + 4) + 100) / 100.0, 0, 'f', 2);
        break;
    case 0xFA:
        d.kind = DescriptorKind::StandardTimings;
        for (int p = at + 5; p < at + 17; p += 2)
            if (const auto t = standardTiming(b.at(p), b.at(p + 1), base))
                d.lines << QStringLiteral("%1x%2 %3 Hz (%4)")
                               .arg(t->width)
                               .arg(t->height)
                               .arg(t->rateHz)
                               .arg(t->aspect);
        break;
    case 0xF9:
        d.kind = DescriptorKind::ColorManagement;
        break;
    case 0xF8:
        d.kind = DescriptorKind::CvtCodes;
        for (int p = at + 6; p + 3 <= at + 18; p += 3)
            if (b.at(p) || b.at(p + 1) || b.at(p + 2))
                d.lines << cvtCode(b.at(p), b.at(p + 1), b.at(p + 2));
        break;
    case 0xF7:
        d.kind = DescriptorKind::EstablishedIII;
        d.lines << establishedTimingsIII(b, at + 6);
        break;
    case 0x10:
        d.kind = DescriptorKind::Dummy;
        break;
    default:
        d.kind = d.tag <= 0x0F ? DescriptorKind::Manufacturer : DescriptorKind::Reserved;
        if (d.kind == DescriptorKind::Reserved)
            f.add(at + 3,
                  QStringLiteral("Display descriptor tag 0x%1 is reserved.").arg(hexByte(d.tag)));
    }
    return d;
}

void checkDetailedTiming(const DetailedTiming& t, FindingList& f) {
    if (t.hActive == 0 || t.vActive == 0)
        f.add(t.offset, QStringLiteral("The detailed timing has no active area."));
    else if (t.hBack < 0 || t.vBack < 0)
        f.add(t.offset,
              QStringLiteral("The detailed timing's porches and sync exceed its blanking."));
}

void decodeDescriptors(const Bytes& b, BaseBlock& base, FindingList& f) {
    for (int at : kDescriptorOffsets) {
        if (!b.has(at, 18))
            return;
        if (const auto t = decodeDetailedTiming(b.view(at, 18), at)) {
            Descriptor d;
            d.offset = at;
            d.kind = DescriptorKind::DetailedTiming;
            d.timing = t;
            checkDetailedTiming(*t, f);
            base.descriptors << d;
        } else {
            if (at == 54 && base.versionMajor == 1 && base.versionMinor >= 3)
                f.add(54, QStringLiteral("The first descriptor is not a detailed timing; the "
                                         "preferred timing must come first."));
            base.descriptors << displayDescriptor(b, at, base, f);
        }
    }
}

} // namespace

BaseBlock decodeBaseBlock(const Bytes& b, FindingList& f) {
    BaseBlock base;
    decodeHeader(b, base, f);
    decodeIdentification(b, base, f);
    decodeVersion(b, base, f);
    decodeBasicParameters(b, base, f);
    decodeChromaticity(b, base);
    decodeEstablishedTimings(b, base);
    decodeStandardTimings(b, base);
    decodeDescriptors(b, base, f);
    if (b.has(126, 2)) {
        base.extensionCount = b.at(126);
        base.checksum = b.at(127);
    }
    return base;
}

} // namespace detail

QString manufacturerId(int byte8, int byte9) {
    const int id = (byte8 << 8 | byte9) & 0x7FFF;
    QString s;
    for (int shift : {10, 5, 0}) {
        const int letter = (id >> shift) & 31;
        s += letter >= 1 && letter <= 26 ? QChar(u'@' + letter) : QChar(u'?');
    }
    return s;
}

std::optional<DetailedTiming> decodeDetailedTiming(QByteArrayView bytes18, int offset) {
    if (bytes18.size() < 18)
        return std::nullopt;
    const auto u = [&](int i) { return int(std::uint8_t(bytes18[i])); };
    DetailedTiming t;
    t.pixelClockKhz = (u(0) | u(1) << 8) * 10;
    if (t.pixelClockKhz == 0)
        return std::nullopt;
    t.offset = offset;
    t.hActive = u(2) | (u(4) & 0xF0) << 4;
    t.hBlank = u(3) | (u(4) & 0x0F) << 8;
    t.vActive = u(5) | (u(7) & 0xF0) << 4;
    t.vBlank = u(6) | (u(7) & 0x0F) << 8;
    t.hFront = u(8) | (u(11) & 0xC0) << 2;
    t.hSync = u(9) | (u(11) & 0x30) << 4;
    t.vFront = (u(10) >> 4) | (u(11) & 0x0C) << 2;
    t.vSync = (u(10) & 0x0F) | (u(11) & 0x03) << 4;
    t.widthMm = u(12) | (u(14) & 0xF0) << 4;
    t.heightMm = u(13) | (u(14) & 0x0F) << 8;
    t.hBorder = u(15);
    t.vBorder = u(16);
    // The blanking includes both borders: a 640x480 timing with 8-pixel
    // borders still totals 800 x 525 as VGA does.
    t.hBack = t.hBlank - t.hFront - t.hSync - 2 * t.hBorder;
    t.vBack = t.vBlank - t.vFront - t.vSync - 2 * t.vBorder;
    const int flags = u(17);
    t.interlaced = flags & 0x80;
    t.stereo = (flags >> 4 & 6) | (flags & 1);
    t.sync = SyncKind((flags >> 3) & 3);
    t.hSyncPositive = flags & 0x02;
    t.vSyncPositive = flags & 0x04;
    return t;
}

double DetailedTiming::refreshHz() const {
    const double hTotal = hActive + hBlank;
    const double vTotal = vActive + vBlank + (interlaced ? 0.5 : 0.0);
    return hTotal > 0 && vTotal > 0 ? pixelClockKhz * 1000.0 / (hTotal * vTotal) : 0.0;
}

double DetailedTiming::lineRateKhz() const {
    const int hTotal = hActive + hBlank;
    return hTotal > 0 ? double(pixelClockKhz) / hTotal : 0.0;
}

} // namespace edid

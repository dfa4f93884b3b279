#pragma once

// The EDID decoder: what an image declares, as plain data. It takes any byte
// string; a cut-off, over-long or nonsensical image decodes as far as its
// bytes go, and what is wrong with it becomes findings with their offsets.
// Everything here needs Qt Core only, so the window, the command-line tool,
// the tests and the fuzz target share it.

#include "core/edid/edid_image.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace edid {

// One conformance problem: a short sentence and the byte it is about (the
// offset in the whole image, -1 when it concerns no single byte).
struct Finding {
    int offset = -1;
    QString text;
};

enum class SyncKind { AnalogComposite, BipolarAnalogComposite, DigitalComposite, DigitalSeparate };

// An 18-byte detailed timing. Vertical values are per field for an
// interlaced timing, as the descriptor stores them.
struct DetailedTiming {
    int offset = 0;
    int pixelClockKhz = 0;
    int hActive = 0, hBlank = 0, hFront = 0, hSync = 0, hBack = 0, hBorder = 0;
    int vActive = 0, vBlank = 0, vFront = 0, vSync = 0, vBack = 0, vBorder = 0;
    int widthMm = 0, heightMm = 0;
    bool interlaced = false;
    int stereo = 0; // byte 17 bits 6-5 and 0; 0 and 1 both mean none
    SyncKind sync = SyncKind::DigitalSeparate;
    // Digital separate: the sync polarities. Digital composite: hSyncPositive
    // is the polarity and vSyncPositive the serrations. Analog: serrations
    // and sync on all three colours (vSyncPositive).
    bool hSyncPositive = false;
    bool vSyncPositive = false;

    int frameHeight() const { return interlaced ? 2 * vActive : vActive; }
    // The field rate of an interlaced timing, the frame rate otherwise.
    double refreshHz() const;
    double lineRateKhz() const;
};

struct RangeLimits {
    int minVHz = 0, maxVHz = 0, minHKhz = 0, maxHKhz = 0;
    int maxClockMhz = 0;   // 0: not given
    QString timingSupport; // "default GTF", "bare limits", "secondary GTF", "CVT"
};

enum class DescriptorKind {
    DetailedTiming,
    ProductSerial,   // 0xFF
    DataString,      // 0xFE
    RangeLimits,     // 0xFD
    ProductName,     // 0xFC
    ColorPoint,      // 0xFB
    StandardTimings, // 0xFA
    ColorManagement, // 0xF9
    CvtCodes,        // 0xF8
    EstablishedIII,  // 0xF7
    Dummy,           // 0x10
    Manufacturer,    // 0x00..0x0F
    Reserved,        // any other tag
};

// One of the four 18-byte descriptors of the base block.
struct Descriptor {
    int offset = 0;
    DescriptorKind kind = DescriptorKind::Reserved;
    int tag = -1; // the display descriptor tag; -1 for a detailed timing
    std::optional<DetailedTiming> timing;
    std::optional<RangeLimits> limits;
    QString text;      // name, serial and data string descriptors
    QStringList lines; // what the others hold, as text
};

struct StandardTiming {
    int width = 0, height = 0, rateHz = 0;
    QString aspect;
};

struct BaseBlock {
    bool headerOk = false;
    QString manufacturer; // three letters, PNP ID
    int productCode = 0;
    quint32 serialNumber = 0;
    int week = 0;           // byte 16 as it stands: 0, 1..54, 0xFF
    int year = 0;           // 0: not present in the bytes
    bool modelYear = false; // week 0xFF: the year is a model year
    int versionMajor = 0, versionMinor = 0;

    bool digital = false;
    int bitsPerColor = 0; // EDID 1.4 digital: 0 undefined
    QString interface;    // EDID 1.4 digital: "HDMI-a", "DisplayPort", ...
    QString analogLevels; // analog: "0.700 : 0.300 : 1.000 V p-p", ...
    QStringList analogFlags;
    int widthCm = 0, heightCm = 0;
    QString aspectRatio; // EDID 1.4 when only one size byte is set
    int gammaX100 = 0;   // 0: given in an extension (byte 0xFF)
    bool standby = false, suspend = false, activeOff = false;
    QString colorType; // display colour type or, for 1.4 digital, encodings
    bool srgbDefault = false;
    bool preferredIsNative = false; // 1.3: preferred timing in the first DTD
    bool continuousFrequency = false;
    // Chromaticity, ten-bit fractions of 1024: red, green, blue, white x/y.
    int chroma[8] = {};
    QStringList establishedTimings;
    QList<StandardTiming> standardTimings;
    QList<Descriptor> descriptors;
    int extensionCount = 0;
    int checksum = 0;
};

struct ShortVideo {
    int vic = 0;
    bool native = false;
};

struct ShortAudio {
    int offset = 0;
    int formatCode = 0;   // CTA audio format code 1..15
    int extendedCode = 0; // for format code 15
    int channels = 0;
    QList<double> ratesKhz; // ascending
    QList<int> bits;        // LPCM only, ascending
    int maxBitrateKbps = 0; // codes 2..8
    QString name() const;
};

// A data block of the CTA extension with its decoded lines.
struct DataBlock {
    int offset = 0;
    int tag = 0;
    int extendedTag = -1;
    int length = 0; // payload bytes after the header byte
    QString name;
    QStringList lines;
};

struct CtaExtension {
    int offset = 0; // of the block in the image
    int revision = 0;
    bool underscan = false, basicAudio = false, ycbcr444 = false, ycbcr422 = false;
    int nativeDtds = 0;
    int dtdStart = 0; // byte 2 as it stands
    QList<DataBlock> dataBlocks;
    QList<ShortVideo> vics;
    QList<ShortAudio> audio;
    QStringList speakers;
    bool hdmi = false;           // an HDMI vendor-specific block
    QString physicalAddress;     // empty: none
    int maxTmdsMhz = 0;          // from the HDMI block
    bool maxTmdsGiven = false;   // the HDMI block holds the byte, 0 included
    bool hdmiForum = false;      // an HDMI Forum vendor block or sink capability block
    int hdmiForumMaxTmdsMhz = 0; // 0: not given
    QStringList hdrTransfers;    // HDR static metadata block's EOTFs
    bool hdrStatic = false;
    QList<int> ycbcr420OnlyVics; // YCbCr 4:2:0 video data block
    QList<DetailedTiming> dtds;
    int checksum = 0;
};

// Any extension block that is not CTA-861: its tag and name only.
struct OtherExtension {
    int offset = 0;
    int tag = 0;
    QString name;
};

struct DecodedEdid {
    int size = 0;   // bytes given
    int blocks = 0; // 128-byte blocks decoded, a cut-off last one included
    QList<bool> checksumsOk;
    BaseBlock base;
    QList<CtaExtension> cta;
    QList<OtherExtension> otherExtensions;
    QList<Finding> findings;
    QString summary;

    // The detailed timings of every block, in image order.
    QList<DetailedTiming> detailedTimings() const;
    // The product name and serial text descriptors; empty when absent.
    QString productName() const;
    // A product name descriptor is there, an empty one included.
    bool hasProductName() const;
    QString serialText() const;
};

DecodedEdid decodeEdid(QByteArrayView bytes);
// The window's 256 bytes.
inline DecodedEdid decodeEdid(const Image& image) {
    return decodeEdid(QByteArrayView(reinterpret_cast<const char*>(image.data()), image.size()));
}

// Parts the decoder is made of, for callers that want one piece.
std::optional<DetailedTiming> decodeDetailedTiming(QByteArrayView bytes18, int offset);
QString manufacturerId(int byte8, int byte9);
QString summaryLine(const DecodedEdid& d);

} // namespace edid

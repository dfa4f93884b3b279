// The EDID decoder and the dump reader take any bytes: a file the operator
// opens, an image a device reports.

#include "core/edid/decode/edid_compare.h"
#include "core/edid/decode/edid_dump.h"
#include "core/edid/decode/edid_text.h"

#include <QJsonDocument>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

// The bytes as edid-decode prints them at the top of its report.
QByteArray reportForm(const QByteArray& bytes) {
    QByteArray text = "edid-decode (hex):\n\n";
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        text += bytes.mid(i, 1).toHex();
        text += (i + 1) % 16 == 0 ? ((i + 1) % 128 == 0 ? "\n\n" : "\n") : " ";
    }
    return text + "----------------\n\nBlock 0, Base EDID:\n";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const edid::DecodedEdid d = edid::decodeEdid(bytes);
    check(d.blocks >= 0 && d.blocks <= 256 && d.checksumsOk.size() == d.blocks);
    for (const edid::Finding& f : d.findings)
        check(f.offset >= -1 && f.offset <= bytes.size() && !f.text.isEmpty());
    for (const edid::DetailedTiming& t : d.detailedTimings())
        check(t.offset >= 0 && t.offset + 18 <= bytes.size());
    const QString text = edid::decodedText(d);
    check(text.startsWith(d.summary + u'\n'));
    const QJsonObject json = edid::decodedJson(d);
    check(json.value("blocks").toInt() == d.blocks);
    check(!QJsonDocument(json).toJson().isEmpty());

    // An image compares equal to itself and unequal, at that byte, to a copy
    // with one byte changed.
    check(edid::compareEdid(bytes, bytes).identical());
    if (!bytes.isEmpty()) {
        QByteArray other = bytes;
        const qsizetype at = std::uint8_t(bytes[0]) % bytes.size();
        other[at] = char(other[at] ^ 0x5A);
        const edid::EdidComparison c = edid::compareEdid(bytes, other);
        check(c.differingOffsets == QList<int>{int(at)});
    }

    // The bytes as a text file: whatever the reader accepts is a whole image.
    const edid::HexDump dump = edid::readHexDump(bytes);
    check(dump.ok() != dump.bytes.isEmpty());
    check(!dump.ok() || dump.bytes.size() == 128 || dump.bytes.size() == 256);
    const edid::FileImage file = edid::imageFromFileBytes(bytes);
    check(file.image.has_value() != !file.error.isEmpty());
    // Every image of dump size survives edid-decode's report form.
    const QByteArray image = bytes.left(bytes.size() >= 256 ? 256 : 128);
    if (image.size() == 128 || image.size() == 256)
        check(edid::readHexDump(reportForm(image)).bytes == image);
    return 0;
}

// Hexadecimal dump files.

#include "core/edid/decode/edid_dump.h"

#include <QStringDecoder>
#include <algorithm>
#include <cstring>

namespace edid {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == ',';
}

// The part of an edid-decode report that holds the dump; the whole text
// when it is none.
QByteArrayView dumpPart(QByteArrayView text) {
    static constexpr char marker[] = "edid-decode (hex):";
    const qsizetype at = text.indexOf(QByteArrayView(marker));
    if (at < 0)
        return text;
    QByteArrayView body = text.sliced(at + qsizetype(std::strlen(marker)));
    const qsizetype end = body.indexOf(QByteArrayView("----------------"));
    return end < 0 ? body : body.first(end);
}

QString where(QByteArrayView text, qsizetype at) {
    const qsizetype lineStart = text.first(at).lastIndexOf('\n') + 1;
    return QStringLiteral("line %1, column %2")
        .arg(text.first(at).count('\n') + 1)
        .arg(at - lineStart + 1);
}

QString shown(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x7F ? QStringLiteral("'%1'").arg(QChar(u))
                                 : QStringLiteral("byte 0x%1").arg(u, 2, 16, QChar(u'0'));
}

} // namespace

HexDump readHexDump(QByteArrayView text) {
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    const QByteArrayView body = dumpPart(text);
    HexDump out;
    const qsizetype n = body.size();
    qsizetype i = 0;
    while (i < n) {
        const char c = body[i];
        if (isSeparator(c)) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        const bool prefixed = c == '0' && i + 1 < n && (body[i + 1] == 'x' || body[i + 1] == 'X');
        if (prefixed)
            i += 2;
        const qsizetype digits = i;
        while (i < n && hexValue(body[i]) >= 0)
            ++i;
        const qsizetype count = i - digits;
        if (i < n && !isSeparator(body[i])) {
            out.error = QStringLiteral("%1: %2 is not a hexadecimal digit.")
                            .arg(where(body, i), shown(body[i]));
            return {{}, out.error};
        }
        if (prefixed && (count < 1 || count > 2)) {
            out.error =
                QStringLiteral("%1: \"%2\" is not one byte.")
                    .arg(where(body, start), QString::fromLatin1(body.sliced(start, i - start)));
            return {{}, out.error};
        }
        if (!prefixed && count % 2 != 0) {
            out.error =
                QStringLiteral("%1: \"%2\" has an odd number of hexadecimal digits.")
                    .arg(where(body, start), QString::fromLatin1(body.sliced(start, count)));
            return {{}, out.error};
        }
        for (qsizetype d = digits; d < i; d += prefixed ? count : 2) {
            const int hi = hexValue(body[d]);
            out.bytes.append(char(prefixed && count == 1 ? hi : hi * 16 + hexValue(body[d + 1])));
            // Past this no size can still come out right.
            if (out.bytes.size() > kImageSize)
                return {{},
                        QStringLiteral("The text holds more than 256 bytes of hexadecimal "
                                       "pairs; a dump holds 128 or 256.")};
        }
    }
    if (out.bytes.isEmpty())
        return {{}, QStringLiteral("The text holds no hexadecimal bytes.")};
    if (out.bytes.size() != kBlockSize && out.bytes.size() != kImageSize)
        return {{},
                QStringLiteral("The text holds %1 bytes; a dump holds 128 or 256.")
                    .arg(out.bytes.size())};
    return out;
}

bool looksLikeText(QByteArrayView fileBytes) {
    if (fileBytes.isEmpty())
        return false;
    for (char c : fileBytes) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && !isSeparator(c)) || u == 0x7F)
            return false;
    }
    // Bytes of 0x80 and above make a text only as UTF-8: a blank EEPROM
    // (all 0xFF) is a raw image.
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8(fileBytes);
    return !utf8.hasError();
}

FileImage imageFromFileBytes(QByteArrayView fileBytes) {
    FileImage out;
    Image image{};
    if (looksLikeText(fileBytes)) {
        out.fromText = true;
        const HexDump dump = readHexDump(fileBytes);
        if (!dump.ok()) {
            out.error = dump.error;
            return out;
        }
        std::copy(dump.bytes.begin(), dump.bytes.end(), image.begin());
    } else {
        // An empty view may hold no pointer at all, which memcpy must not
        // be given even for no bytes.
        std::copy_n(fileBytes.begin(), qMin<qsizetype>(fileBytes.size(), kImageSize),
                    image.begin());
    }
    out.image = image;
    return out;
}

} // namespace edid

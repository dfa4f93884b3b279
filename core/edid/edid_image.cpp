#include "core/edid/edid_image.h"

#include "core/protocol/commands.h"
#include "core/protocol/hex_digit.h"

namespace edid {

QString cellAt(const QString& text, int pos) {
    const qsizetype from = 2 * qsizetype(pos - 1);
    if (from < 0 || from >= text.size())
        return {};
    return text.mid(from, 2);
}

bool isSeparatorCell(const QString& cell) {
    return cell == QLatin1String("  ");
}

bool isLineBreakCell(const QString& cell) {
    return cell == QLatin1String("\r\n");
}

std::uint8_t byteCellValue(const QString& cell) {
    unsigned value = 0;
    for (QChar c : cell) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        const int d = protocol::hexDigitValue(c);
        if (d < 0)
            break;
        value = value * 16 + unsigned(d);
    }
    // A cell holds at most two digits; the mask only matters to callers that
    // hand in longer text.
    return std::uint8_t(value & 0xFF);
}

std::optional<std::uint8_t> strictHexByte(const QString& text) {
    if (text.size() != 2)
        return std::nullopt;
    const int hi = protocol::hexDigitValue(text[0]);
    const int lo = protocol::hexDigitValue(text[1]);
    if (hi < 0 || lo < 0)
        return std::nullopt;
    return std::uint8_t(hi * 16 + lo);
}

QString nextByteCell(const QString& text, int& cellPos) {
    QString cell = cellAt(text, cellPos);
    // Past the end the cell is empty, which is a byte cell, so this stops.
    while (isSeparatorCell(cell) || isLineBreakCell(cell))
        cell = cellAt(text, ++cellPos);
    return cell;
}

Image parseView(const QString& text, int& cellPos) {
    Image image{};
    for (int i = 0; i < kImageSize; ++i) {
        image[i] = byteCellValue(nextByteCell(text, cellPos));
        ++cellPos;
    }
    return image;
}

QString viewForm(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    text.replace(u'\n', QLatin1String("\r\n"));
    return text;
}

QString writtenForm(const Image& image) {
    QString text;
    text.reserve(kImageSize * 4 + 32);
    for (int i = 0; i < kImageSize; ++i) {
        text += QStringLiteral("%1  ").arg(uint(image[i]), 2, 16, QChar(u'0')).toUpper();
        if ((i + 1) % 16 == 0)
            text += QStringLiteral("\r\n");
    }
    return text;
}

QString readFormCell(const QString& byteText, int edidLen) {
    return byteText + ((edidLen + 1) % 16 == 0 ? QStringLiteral("\r\n") : QStringLiteral("  "));
}

bool checksumOk(const Image& image) {
    for (int block = 0; block < kImageSize; block += kBlockSize) {
        unsigned sum = 0;
        for (int i = block; i < block + kBlockSize; ++i)
            sum += image[i];
        if (sum % 256 != 0)
            return false;
    }
    return true;
}

void setChecksums(Image& image) {
    for (int block = 0; block < kImageSize; block += kBlockSize) {
        unsigned sum = 0;
        for (int i = block; i < block + kBlockSize - 1; ++i)
            sum += image[std::size_t(i)];
        image[std::size_t(block + kBlockSize - 1)] = std::uint8_t((256 - sum % 256) % 256);
    }
}

QString openCommand(int port, bool read) {
    return protocol::edidOpenCommand(port, read);
}

QString writeByteCommand(int index, const QString& cell) {
    return protocol::edidWriteByteCommand(index, cell);
}

QString readByteCommand(int index) {
    return protocol::edidReadByteCommand(index);
}

} // namespace edid

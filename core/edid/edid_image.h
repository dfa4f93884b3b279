#pragma once

#include <QByteArrayView>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

// The EDID image and the text of its hexadecimal view. The view text is read
// as two-character cells: "  " separates bytes, CR LF ends a row, anything
// else is a byte cell. The functions here are free of any window so that
// every rule can be checked on its own.
namespace edid {

inline constexpr int kImageSize = 256;
inline constexpr int kBlockSize = 128;
using Image = std::array<std::uint8_t, kImageSize>;

// The one filter of the save dialog.
inline const QString kFileFilter = QStringLiteral("EDID(*.bin)|*.bin");
// The filters of the open dialogs: raw images stay the first and so the
// default one; text dumps come in any name.
inline const QString kOpenFileFilter =
    QStringLiteral("EDID(*.bin)|*.bin;;EDID dump(*.txt *.hex)|*.txt *.hex;;All files(*)|*");

// Cell pos of text, counting from 1; shorter or empty past the end.
QString cellAt(const QString& text, int pos);
bool isSeparatorCell(const QString& cell);
bool isLineBreakCell(const QString& cell);

// The value of a byte cell: hexadecimal digits in either case, blanks, tabs
// and line feeds skipped, reading stops at the first other character; no
// leading digit gives 0.
std::uint8_t byteCellValue(const QString& cell);

// Strictly two hexadecimal digits (either case), as a byte the device
// reports must be; nothing otherwise.
std::optional<std::uint8_t> strictHexByte(const QString& text);

// The next byte cell at or after cellPos; cellPos is left on that cell.
QString nextByteCell(const QString& text, int& cellPos);

// Reads 256 byte cells from cellPos on; missing cells give 0 and cellPos ends
// after the last cell read.
Image parseView(const QString& text, int& cellPos);

// The text as the hexadecimal view hands it back: the view keeps line
// breaks as paragraph ends, so CR LF, a lone CR and a lone LF all come back
// as CR LF.
QString viewForm(QString text);

// The form a file load writes: every byte followed by two blanks, every
// 16th also by CR LF.
QString writtenForm(const Image& image);

// What a read appends for one received byte when edidLen bytes are already
// shown: the text, then CR LF at a row's end, else two blanks.
QString readFormCell(const QString& byteText, int edidLen);

// The eight bytes every EDID image starts with, and how messages write
// them. Here, in a header the decoder, the editor and the file reader all
// include, because the decoder and the editor link Qt Core alone.
inline constexpr std::array<std::uint8_t, 8> kHeader = {0x00, 0xFF, 0xFF, 0xFF,
                                                        0xFF, 0xFF, 0xFF, 0x00};
inline constexpr char kHeaderText[] = "00 FF FF FF FF FF FF 00";
inline bool startsWithHeader(QByteArrayView bytes) {
    return bytes.startsWith(
        QByteArrayView(reinterpret_cast<const char*>(kHeader.data()), qsizetype(kHeader.size())));
}
inline bool headerOk(const Image& image) {
    return startsWithHeader(
        QByteArrayView(reinterpret_cast<const char*>(image.data()), qsizetype(image.size())));
}
// Each 128-byte block sums to 0 modulo 256.
bool checksumOk(const Image& image);
// Sets the last byte of each block so that the block passes checksumOk.
void setChecksums(Image& image);

// The commands of a transfer, without CR LF.
// Opens a download into port p (0..7), or a read.
QString openCommand(int port, bool read);
// Writes byte index X (upper-case hexadecimal on the wire), the cell as
// the view holds it.
QString writeByteCommand(int index, const QString& cell);
// Asks for byte index X.
QString readByteCommand(int index);

} // namespace edid

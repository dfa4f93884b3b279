// The terminal's conversions take whatever the operator typed or pasted.

#include "core/device/terminal.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(data),
                                            static_cast<qsizetype>(size / 2));
    const QByteArray bytes = device::hexTextToBytes(text);
    // At most one byte per character, and none from text without hex digits.
    if (bytes.size() > text.size())
        std::abort();
    bool anyDigit = false;
    for (QChar c : text)
        anyDigit |= std::isxdigit(c.unicode() < 128 ? c.unicode() : 0) != 0;
    if (!anyDigit && !bytes.isEmpty())
        std::abort();
    // The text form re-reads to the same bytes.
    QString again;
    for (char b : bytes)
        again += QString::asprintf("%02x ", static_cast<unsigned char>(b));
    if (device::hexTextToBytes(again) != bytes)
        std::abort();
    // Every line end on the wire is CR LF.
    const QByteArray wire = device::sendBoxBytes(text);
    for (qsizetype i = 0; i < wire.size(); ++i) {
        if (wire[i] == '\n' && (i == 0 || wire[i - 1] != '\r'))
            std::abort();
        if (wire[i] == '\r' && (i + 1 >= wire.size() || wire[i + 1] != '\n'))
            std::abort();
    }
    return 0;
}

#pragma once

// What the decoder's source files share; not for callers.

#include "core/edid/decode/edid_decode.h"

#include <cstdint>

namespace edid::detail {

// The image as given, read by absolute offset. Reading past the end gives 0
// and has() says whether a range lies inside, so no decoder can overrun.
struct Bytes {
    const std::uint8_t* data = nullptr;
    int size = 0;

    int at(int i) const { return i >= 0 && i < size ? data[i] : 0; }
    bool has(int from, int length) const {
        return from >= 0 && length >= 0 && qint64(from) + length <= size;
    }
    QByteArrayView view(int from, int length) const {
        return has(from, length) ? QByteArrayView(data + from, length) : QByteArrayView();
    }
};

class FindingList {
public:
    explicit FindingList(QList<Finding>& list) : list_(list) {}
    void add(int offset, const QString& text) { list_.append({offset, text}); }

private:
    QList<Finding>& list_;
};

BaseBlock decodeBaseBlock(const Bytes& b, FindingList& findings);
CtaExtension decodeCtaExtension(const Bytes& b, int block, FindingList& findings);

QString hexByte(int value);
// Text of a name, serial or data string descriptor: up to the line feed,
// trailing blanks dropped; false when it holds a character that is not
// printable ASCII.
bool descriptorText(const Bytes& b, int from, QString* text);

} // namespace edid::detail

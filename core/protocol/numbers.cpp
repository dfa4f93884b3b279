#include "core/protocol/numbers.h"

namespace protocol {

namespace {

int code(QChar c) {
    return c.unicode();
}
int code(char c) {
    return static_cast<unsigned char>(c);
}

template <typename View> int readPort(View text, int count, int first) {
    if (text.isEmpty() || text.size() > 3)
        return 0;
    int v = 0;
    for (const auto c : text) {
        const int digit = code(c) - '0';
        if (digit < 0 || digit > 9)
            return 0;
        v = v * 10 + digit;
    }
    const int n = v - first + 1;
    return n >= 1 && n <= count ? n : 0;
}

} // namespace

int portNumber(QStringView text, int count, int first) {
    return readPort(text, count, first);
}

int portNumber(QByteArrayView text, int count, int first) {
    return readPort(text, count, first);
}

} // namespace protocol

#include "core/protocol/numbers.h"

namespace protocol {

int portNumber(QStringView text, int count, int first) {
    if (text.isEmpty() || text.size() > 3)
        return 0;
    int v = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        v = v * 10 + (c.unicode() - '0');
    }
    const int n = v - first + 1;
    return n >= 1 && n <= count ? n : 0;
}

} // namespace protocol

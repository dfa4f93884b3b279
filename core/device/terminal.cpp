#include "core/device/terminal.h"

#include "core/protocol/hex_digit.h"

namespace device {

QByteArray sendBoxBytes(const QString& boxText) {
    QString t = boxText;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QChar('\r'), QChar('\n'));
    t.replace(QChar('\n'), QStringLiteral("\r\n"));
    return t.toLatin1();
}

QByteArray hexTextToBytes(const QString& text) {
    QByteArray out;
    int acc = 0;
    int count = 0;
    for (QChar c : text) {
        const int v = protocol::hexDigitValue(c);
        if (v >= 0) {
            acc = acc * 16 + v;
            if (++count == 2) {
                out.append(static_cast<char>(acc));
                acc = 0;
                count = 0;
            }
        } else if (count == 1) {
            out.append(static_cast<char>(acc));
            acc = 0;
            count = 0;
        }
    }
    if (count == 1)
        out.append(static_cast<char>(acc));
    return out;
}

bool hexKeyAllowed(QChar c) {
    return c.unicode() == 8 || c.unicode() == 16 || c == QChar(' ') ||
           protocol::hexDigitValue(c) >= 0;
}

} // namespace device

#include "main_window/terminal.h"

namespace main_window {

QByteArray sendBoxBytes(const QString& boxText) {
    QString t = boxText;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QChar('\r'), QChar('\n'));
    t.replace(QChar('\n'), QStringLiteral("\r\n"));
    return t.toLatin1();
}

static int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

QByteArray hexTextToBytes(const QString& text) {
    QByteArray out;
    int acc = 0;
    int count = 0;
    for (QChar c : text) {
        const int v = hexValue(c);
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
    return c.unicode() == 8 || c.unicode() == 16 || c == QChar(' ') || hexValue(c) >= 0;
}

} // namespace main_window

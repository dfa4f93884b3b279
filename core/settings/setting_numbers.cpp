#include "core/settings/setting_numbers.h"

#include "core/protocol/hex_digit.h"

#include <cmath>

namespace settings {

namespace {

bool isDigit(QChar c) {
    return c.unicode() >= '0' && c.unicode() <= '9';
}
bool isSkipped(QChar c) {
    return c == QChar(' ') || c == QChar('\t') || c == QChar('\n');
}

} // namespace

double readDecimal(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skip = [&] {
        while (i < n && isSkipped(text[i]))
            ++i;
    };
    skip();
    double sign = 1;
    if (i < n && (text[i] == QChar('-') || text[i] == QChar('+'))) {
        if (text[i] == QChar('-'))
            sign = -1;
        ++i;
    }
    double value = 0;
    double scale = 0; // 0 while in the whole part, else the weight of the next digit
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (isSkipped(c))
            continue;
        if (c == QChar('.') && scale == 0) {
            scale = 0.1;
            continue;
        }
        if (!isDigit(c))
            break;
        const int d = c.unicode() - '0';
        if (scale == 0) {
            value = value * 10 + d;
        } else {
            value += d * scale;
            scale /= 10;
        }
    }
    return sign * value;
}

int readHex(const QString& text) {
    int value = 0;
    for (const QChar c : text) {
        const int d = protocol::hexDigitValue(c);
        if (d < 0)
            break;
        // Two characters at most come from a reply; the cap only keeps a
        // longer text from overflowing.
        if (value > 0x7FFFFFF)
            break;
        value = value * 16 + d;
    }
    return value;
}

std::optional<double> numberOf(const QString& text) {
    QString t = text;
    if (t.endsWith(QChar('\r')))
        t.chop(1);
    while (!t.isEmpty() && (t.front() == QChar(' ') || t.front() == QChar('\t')))
        t.remove(0, 1);
    while (!t.isEmpty() && (t.back() == QChar(' ') || t.back() == QChar('\t')))
        t.chop(1);
    qsizetype i = 0;
    if (i < t.size() && (t[i] == QChar('-') || t[i] == QChar('+')))
        ++i;
    bool digits = false;
    bool point = false;
    for (; i < t.size(); ++i) {
        if (isDigit(t[i])) {
            digits = true;
        } else if (t[i] == QChar('.') && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits)
        return std::nullopt;
    return readDecimal(t);
}

int bit(long value, int n) {
    const long bit = 1L << n;
    return (value & bit) == bit ? 1 : 0;
}

QString hex(int n) {
    const unsigned v = n < 0 ? static_cast<unsigned>(n) & 0xFFFFu : static_cast<unsigned>(n);
    return QString::number(v, 16).toUpper();
}

QString allPortsStatus(int mask, int inputs) {
    if (mask == 0)
        return QStringLiteral("Set All Port Unsuccessfully!");
    if (mask == allPortsMask(inputs))
        return QStringLiteral("Set All Port Successfully!");
    QString text = QStringLiteral("Set Port");
    for (int n = 0; n < inputs; ++n) {
        // Each failed port: a blank, then the number with its sign position,
        // which is a blank for a positive number.
        if (bit(mask, n) == 0)
            text += QStringLiteral("  ") + QString::number(n + 1);
    }
    return text + QStringLiteral(" Unsuccessfully!");
}

} // namespace settings

#include "core/network/ip_address.h"

#include <QStringList>

namespace network {

namespace {

// A part of the written text as a field value, or nothing when it is none.
std::optional<int> octet(const QString& part) {
    const QString t = part.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    for (const QChar c : t)
        if (c.unicode() < '0' || c.unicode() > '9')
            return std::nullopt;
    bool ok = false;
    const uint v = t.toUInt(&ok);
    if (!ok || v > 255)
        return std::nullopt;
    return static_cast<int>(v);
}

QString hexGroup(const QString& digits) {
    // An empty group counts as 0; a group is at most a few digits long.
    return QString::number(digits.isEmpty() ? 0 : digits.toUInt(), 16).toUpper();
}

} // namespace

ParsedAddress parseAddress(const QString& NewIP) {
    ParsedAddress out;
    if (CountIF(NewIP, QLatin1Char('.')) < 3) {
        out.error = IpError{kTooFewDots, kFormatError};
        return out;
    }
    const QStringList parts = NewIP.split(QLatin1Char('.'));
    for (int i = 0; i < 4; ++i) {
        // A dot counted in a non-ASCII character leaves fewer parts than
        // dots; a missing part is as wrong as an empty one.
        const std::optional<int> v = octet(parts.value(i));
        if (!v) {
            out.error = IpError{
                kBadPart, QStringLiteral("Ip 地址格式错误\r\n第 %1 段 \"%2\" 应为 0 到 255 的数字")
                              .arg(QString::number(i + 1), parts.value(i))};
            return out;
        }
        out.octets[i] = *v;
    }
    return out;
}

std::int16_t CountIF(const QString& lzExpr, QChar nChar) {
    const char16_t code = nChar.unicode();
    std::int16_t count = 0;
    for (const QChar c : lzExpr) {
        const char16_t u = c.unicode();
        if ((u & 0xFF) == code)
            ++count;
        if ((u >> 8) == code)
            ++count;
    }
    return count;
}

QString fixedAddressCommand(const QString& address) {
    QString result;
    QString group;
    for (const QChar c : address) {
        if (c.unicode() >= '0' && c.unicode() <= '9') {
            group += c;
            continue;
        }
        result += hexGroup(group) + QLatin1Char(' ');
        group.clear();
    }
    result += hexGroup(group);
    return protocol::fixedAddressCommand(result);
}

} // namespace network

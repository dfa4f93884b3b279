#include "core/platform/tcp_target.h"

#include <QHostAddress>
#include <QStringList>
#include <algorithm>

namespace platform {

namespace {

const QString kScheme = QStringLiteral("tcp://");

// The text as a message may show it: short, and no control characters that
// would break the line.
QString shown(const QString& text) {
    QString s = text.left(60);
    for (QChar& c : s)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    return text.size() > 60 ? s + QStringLiteral("...") : s;
}

bool isDottedQuad(const QString& host) {
    const QStringList parts = host.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (const QString& p : parts) {
        bool ok = false;
        if (p.isEmpty() || p.size() > 3 || p.toUInt(&ok) > 255 || !ok)
            return false;
    }
    return true;
}

// Letters, digits, '-' and '_' in dot-separated labels. Anything else would
// only fail later, in the name lookup, with a less helpful message.
bool isHostName(const QString& host) {
    if (host.size() > 253)
        return false;
    for (const QString& label : host.split(QLatin1Char('.'))) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith(QLatin1Char('-')) ||
            label.endsWith(QLatin1Char('-')))
            return false;
        for (QChar c : label)
            if (c.unicode() > 127 ||
                !(c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_')))
                return false;
    }
    return true;
}

bool isIpv6(const QString& host) {
    QHostAddress a;
    return a.setAddress(host) && a.protocol() == QAbstractSocket::IPv6Protocol;
}

} // namespace

TcpTarget parseTcpTarget(const QString& text) {
    const QString s = text.trimmed();
    TcpTarget t;
    auto fail = [&](const QString& why) {
        t = {};
        t.error = QStringLiteral("\"%1\" is not a server address: %2 (write tcp://HOST:PORT)")
                      .arg(shown(s), why);
        return t;
    };
    if (!s.startsWith(kScheme, Qt::CaseInsensitive))
        return fail(QStringLiteral("it does not start with tcp://"));
    const QString rest = s.mid(kScheme.size());
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return fail(QStringLiteral("the [ before an IPv6 address is not closed"));
        t.host = rest.mid(1, close - 1);
        if (!isIpv6(t.host))
            return fail(QStringLiteral("%1 is not an IPv6 address").arg(shown(t.host)));
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(QLatin1Char(':')))
            return fail(QStringLiteral("unexpected text after the address"));
        portText = after.mid(1);
    } else {
        const qsizetype colon = rest.indexOf(QLatin1Char(':'));
        t.host = rest.left(colon); // all of it without a colon
        if (colon >= 0)
            portText = rest.mid(colon + 1);
        if (isIpv6(rest) || isIpv6(rest.left(rest.lastIndexOf(QLatin1Char(':')))))
            return fail(QStringLiteral("an IPv6 address goes in brackets, as in tcp://[::1]:4001"));
        if (t.host.isEmpty())
            return fail(QStringLiteral("the host is missing"));
        const bool numeric = std::all_of(t.host.begin(), t.host.end(), [](QChar c) {
            return c.isDigit() || c == QLatin1Char('.');
        });
        if (numeric ? !isDottedQuad(t.host) : !isHostName(t.host))
            return fail(QStringLiteral("%1 is not a host name or IPv4 address").arg(shown(t.host)));
    }
    if (portText.isEmpty())
        return fail(QStringLiteral("the port number is missing"));
    qsizetype digits = 0;
    while (digits < portText.size() && portText.at(digits).isDigit() &&
           portText.at(digits).unicode() < 128)
        ++digits;
    if (digits == 0)
        return fail(QStringLiteral("the port must be a number from 1 to 65535"));
    if (digits < portText.size())
        return fail(QStringLiteral("unexpected text after the port number"));
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return fail(QStringLiteral("the port must be a number from 1 to 65535"));
    t.port = static_cast<quint16>(port);
    return t;
}

QString serverName(const TcpTarget& target) {
    const QString host = target.host.contains(QLatin1Char(':'))
                             ? QStringLiteral("[%1]").arg(target.host)
                             : target.host;
    return QStringLiteral("%1:%2").arg(host).arg(target.port);
}

QString tcpTargetText(const TcpTarget& target) {
    return kScheme + serverName(target);
}

bool isNetworkTarget(const QString& device) {
    return device.startsWith(QStringLiteral("tcp:"), Qt::CaseInsensitive);
}

} // namespace platform

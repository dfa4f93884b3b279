#include "frontends/server/listener.h"

namespace server {

const char* refusalWord(Refusal r) {
    switch (r) {
    case Refusal::Address:
        return "address";
    case Refusal::Full:
        return "full";
    case Refusal::PerAddress:
        return "per_address";
    case Refusal::Reset:
        break;
    }
    return "reset";
}

QHostAddress plainAddress(const QHostAddress& address) {
    bool v4 = false;
    const quint32 a = address.toIPv4Address(&v4);
    return v4 ? QHostAddress(a) : address;
}

QString peerName(const QHostAddress& address, quint16 port) {
    const QHostAddress a = plainAddress(address);
    if (a.isNull())
        return QStringLiteral("(address unknown)");
    return (a.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("[%1]:%2")
                                                          : QStringLiteral("%1:%2"))
        .arg(a.toString())
        .arg(port);
}

bool allowedIn(const QHostAddress& address, const QList<Subnet>& allow) {
    const QHostAddress a = plainAddress(address);
    if (a.isLoopback())
        return true;
    return std::any_of(allow.begin(), allow.end(),
                       [&](const Subnet& s) { return a.isInSubnet(s); });
}

QHostAddress listenAddress(const QHostAddress& address) {
    const bool any = address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6;
    return any ? QHostAddress(QHostAddress::Any) : address;
}

} // namespace server

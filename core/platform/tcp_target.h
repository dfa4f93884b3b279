#pragma once

#include <QString>

namespace platform {

// A serial device server (ser2net, a serial-to-Ethernet converter) that
// passes the switcher's bytes unchanged over raw TCP, written
// "tcp://HOST:PORT": a host name, an IPv4 address or an IPv6 address in
// brackets ("tcp://[::1]:4001"), and a port from 1 to 65535.
struct TcpTarget {
    QString host; // IPv6 addresses without their brackets
    quint16 port = 0;
    QString error; // one line saying what is wrong with the text; empty if nothing
    bool isValid() const { return error.isEmpty() && port != 0; }
};

// Nothing but the target may be in the text (surrounding blanks aside): no
// path, no second port, no missing part.
TcpTarget parseTcpTarget(const QString& text);

// "HOST:PORT" ("[HOST]:PORT" for IPv6): how messages name the server.
QString serverName(const TcpTarget& target);
// "tcp://HOST:PORT".
QString tcpTargetText(const TcpTarget& target);

// Whether a device text (from deviceForPort, or typed by the operator) is
// for the network port rather than a local serial device: any text that
// starts with "tcp:", well-formed or not, so that a malformed one reaches
// the network port and its message.
bool isNetworkTarget(const QString& device);

} // namespace platform

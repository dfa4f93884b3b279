#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <functional>

namespace web {

// A whole HTTP request, as the web front end sees it.
struct Request {
    QByteArray method; // "GET", "PUT", ...; empty for a method the library does not know
    QString path;      // decoded, without the query
    QByteArray body;
    QHostAddress peer; // IPv4 addresses as such, not mapped into IPv6
    QList<QPair<QByteArray, QByteArray>> headers;
    bool tls = false;     // it came encrypted, on a TLS port
    QString rawPath = {}; // the path as sent, percent-encoded: a "/" in a name is no separator
    QString query = {};   // after the "?", as sent
    // It names a proxy's client (Forwarded, X-Forwarded-For): it never
    // counts as this machine's own, whatever peer says.
    bool proxied = false;
    // The first field of that name (any case), empty when there is none.
    QByteArray header(const QByteArray& name) const {
        for (const auto& [n, v] : headers)
            if (n.compare(name, Qt::CaseInsensitive) == 0)
                return v;
        return {};
    }
};

struct Response {
    int status = 200;
    QByteArray contentType; // none when empty
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
};

// Takes a request's response, once, at once or later.
using Answer = std::function<void(const Response&)>;

} // namespace web

#include "core/seriallink/wire.h"

#include "core/seriallink/connection.h"

#include <QtDebug>

namespace seriallink {

bool Wire::mayWrite() {
    if (lent_)
        return true;
    qWarning("a command was written with no exchange on the line; it was not sent");
    return false;
}

bool Wire::line(const QString& text) {
    return mayWrite() && link_.sendLine(text);
}

bool Wire::raw(const QByteArray& bytes) {
    return mayWrite() && link_.sendRaw(bytes);
}

bool Wire::lineReported(const QString& text) {
    return mayWrite() && link_.sendLineReported(text);
}

bool Wire::rawReported(const QByteArray& bytes) {
    return mayWrite() && link_.sendRawReported(bytes);
}

bool Wire::isOpen() const {
    return link_.isOpen();
}

bool Wire::guardOpen() {
    return link_.guardOpen();
}

void Wire::reportWriteFailed() {
    link_.reportWriteFailed();
}

} // namespace seriallink

#include "core/seriallink/line_assembly.h"

namespace seriallink {

bool LineAssembler::drain() {
    bool any = false;
    // Re-reads the count every turn: an interpreter that yields to the event
    // loop can let more bytes in, and those are taken in the same drain.
    while (q_.size() > 0) {
        any = true;
        quietTicks_ = 0;
        takeByte();
    }
    return any;
}

void LineAssembler::tick() {
    drain();
    if (quietTicks_ > 2) {
        quietTicks_ = 0;
        deliver(takeLine());
    }
    if (length_ != 0)
        ++quietTicks_;
}

QString LineAssembler::discardPartial() {
    quietTicks_ = 0;
    return takeLine();
}

QString LineAssembler::text(const std::uint8_t* bytes, int n) {
    QString s;
    s.reserve(n);
    for (int i = 0; i < n; ++i) {
        if (bytes[i] < 128)
            s.append(QChar(bytes[i]));
    }
    return s;
}

QString LineAssembler::takeLine() {
    const int n = length_;
    length_ = 0;
    return text(line_.data(), n);
}

void LineAssembler::takeByte() {
    const std::uint8_t b = q_.take();
    if (b == 0)
        return;
    line_[length_++] = b;
    if (length_ == kRawLength) {
        const QString raw = takeLine();
        if (onRaw)
            onRaw(raw);
    }
    if (b == 13 || b == 10)
        deliver(takeLine());
}

void LineAssembler::deliver(QString line) {
    if (onLine)
        onLine(line);
}

} // namespace seriallink

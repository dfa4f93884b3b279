#pragma once

#include "core/seriallink/rx_queue.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>

namespace seriallink {

// Cuts the byte stream from the receive queue into reply lines.
//
// A CR or LF ends a line at once and stays its last character; 14 bytes
// without a terminator go to the receive log raw, uninterpreted; a partial
// line that stays quiet for three ticks is interpreted as it is.
class LineAssembler {
public:
    static constexpr int kRawLength = 14;

    explicit LineAssembler(RxQueue& q) : q_(q) {}

    // The interpreter; receives every line (possibly empty).
    std::function<void(QString&)> onLine;
    // Appends text to the receive log without scrolling it.
    std::function<void(const QString&)> onRaw;

    // One tick of the 10 ms receive timer.
    void tick();
    // Takes every pending byte out of the queue: the first step of a tick,
    // and what the port's arrival notification does so that a reply is
    // interpreted without waiting for a tick. Each byte taken restarts the
    // quiet count, so the flush of a partial line happens on the same tick
    // whichever of the two took its last byte. Returns whether any byte was
    // taken.
    bool drain();
    // Whether anything waits: bytes in the queue or a partial line.
    bool busy() const { return q_.size() > 0 || length_ != 0; }
    // The bytes of a line begun and not yet ended.
    int partialLength() const { return length_; }
    // Forgets the line begun, and returns its text (empty when none was).
    QString discardPartial();
    // The first n bytes of a line as text; bytes of 128 and above are left
    // out, control characters kept.
    static QString text(const std::uint8_t* bytes, int n);

private:
    void takeByte();
    QString takeLine();
    void deliver(QString line);

    RxQueue& q_;
    std::array<std::uint8_t, kRawLength> line_{};
    int length_ = 0;
    int quietTicks_ = 0;
};

} // namespace seriallink

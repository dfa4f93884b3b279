#pragma once

#include "core/seriallink/rx_queue.h"

#include <QString>
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
    // Takes one byte and processes it.
    void CmdTask();
    // Whether anything waits: bytes in the queue or a partial line.
    bool busy() const { return q_.RxCount() > 0 || q_.LineLen != 0; }

    std::uint8_t IdleTicks = 0;

private:
    void deliver(QString line);
    RxQueue& q_;
};

} // namespace seriallink

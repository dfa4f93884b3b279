#include "core/seriallink/line_assembly.h"

namespace seriallink {

bool LineAssembler::drain() {
    bool any = false;
    // Re-reads the count every turn: an interpreter that yields to the event
    // loop can let more bytes in, and those are taken in the same drain.
    while (q_.RxCount() > 0) {
        any = true;
        IdleTicks = 0;
        CmdTask();
    }
    return any;
}

void LineAssembler::tick() {
    drain();
    if (IdleTicks > 2) {
        IdleTicks = 0;
        const int n = q_.LineLen;
        q_.LineLen = 0;
        deliver(q_.LineText(n));
    }
    if (q_.LineLen != 0)
        ++IdleTicks;
}

void LineAssembler::CmdTask() {
    const std::uint8_t b = q_.RxGet();
    if (b == 0)
        return;
    q_.LineBuf[q_.LineLen] = b;
    q_.LineLen++;
    if (q_.LineLen == 14) {
        const QString raw = q_.LineText(14);
        q_.LineLen = 0;
        if (onRaw)
            onRaw(raw);
    }
    if (b == 13 || b == 10) {
        const int n = q_.LineLen;
        q_.LineLen = 0;
        deliver(q_.LineText(n));
    }
}

void LineAssembler::deliver(QString line) {
    if (onLine)
        onLine(line);
}

} // namespace seriallink

#include "core/seriallink/rx_queue.h"

namespace seriallink {

void RxQueue::RxInit() {
    RxBuf.fill(0);
    RxHead = 0;
    RxTail = 0;
}

int RxQueue::RxPut(const QByteArray& chunk) {
    const int n = static_cast<int>(qMin<qsizetype>(chunk.size(), kMaxChunk));
    const int room = kSlots - 1 - RxCount();
    const int taken = qMin(n, room);
    for (int i = 0; i < taken; ++i) {
        RxBuf[RxHead] = static_cast<std::uint8_t>(chunk[i]);
        RxHead = static_cast<std::int16_t>((RxHead + 1) % kSlots);
    }
    const int lost = static_cast<int>(chunk.size()) - taken;
    dropped += static_cast<std::uint64_t>(lost);
    return lost;
}

int RxQueue::RxCount() const {
    if (RxHead == RxTail)
        return 0;
    if (RxHead < RxTail)
        return RxHead + kSlots - RxTail;
    return RxHead - RxTail;
}

void RxQueue::RxSkip(int n) {
    int t = RxTail + n;
    if (t >= kSlots)
        t -= kSlots;
    RxTail = static_cast<std::int16_t>(t);
}

std::uint8_t RxQueue::RxGet() {
    if (RxCount() <= 0)
        return 0;
    const std::uint8_t b = RxBuf[RxTail];
    RxSkip(1);
    return b;
}

QString RxQueue::LineText(int n) const {
    QString s;
    n = qBound(0, n, kLineBufSize);
    s.reserve(n);
    for (int i = 0; i < n; ++i) {
        if (LineBuf[i] < 128)
            s.append(QChar(LineBuf[i]));
    }
    return s;
}

} // namespace seriallink

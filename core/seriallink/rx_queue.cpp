#include "core/seriallink/rx_queue.h"

#include <QtGlobal>

namespace seriallink {

void RxQueue::clear() {
    ring_.fill(0);
    head_ = 0;
    tail_ = 0;
}

int RxQueue::put(const QByteArray& chunk) {
    const int n = static_cast<int>(qMin<qsizetype>(chunk.size(), kMaxChunk));
    const int room = kSlots - 1 - size();
    const int taken = qMin(n, room);
    for (int i = 0; i < taken; ++i) {
        ring_[head_] = static_cast<std::uint8_t>(chunk[i]);
        head_ = (head_ + 1) % kSlots;
    }
    const int lost = static_cast<int>(chunk.size()) - taken;
    dropped_ += static_cast<std::uint64_t>(lost);
    return lost;
}

int RxQueue::size() const {
    return head_ >= tail_ ? head_ - tail_ : head_ + kSlots - tail_;
}

void RxQueue::skip(int n) {
    tail_ = (tail_ + n) % kSlots;
}

std::uint8_t RxQueue::take() {
    if (size() <= 0)
        return 0;
    const std::uint8_t b = ring_[tail_];
    skip(1);
    return b;
}

} // namespace seriallink

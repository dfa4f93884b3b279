#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

namespace seriallink {

// The receive byte queue: a ring of 512 slots between the port's arrival
// notification (the only producer) and the line assembly (the only
// consumer), plus the small buffer in which a reply line is assembled.
//
// At most 511 bytes can be pending. A byte that arrives while the ring is
// full is dropped: bytes already queued are never overwritten.
class RxQueue {
public:
    static constexpr int kSlots = 512;
    static constexpr int kMaxChunk = 511;
    static constexpr int kLineBufSize = 16;

    RxQueue() { RxInit(); }

    void RxInit();
    // Appends up to the first 511 bytes of one chunk; returns how many
    // bytes were dropped (beyond 511, or for want of room).
    int RxPut(const QByteArray& chunk);
    int RxCount() const;
    void RxSkip(int n);
    // The next byte, or 0 when the queue is empty. A zero byte in the stream
    // also gives 0, but moves the read index past it.
    std::uint8_t RxGet();
    // The first n bytes of LineBuf as text; bytes of 128 and above are left
    // out, control characters kept.
    QString LineText(int n) const;

    std::array<std::uint8_t, kSlots + 1> RxBuf{};
    std::int16_t RxHead = 0;
    std::int16_t RxTail = 0;
    std::array<std::uint8_t, kLineBufSize> LineBuf{};
    std::uint8_t LineLen = 0;
    // Bytes dropped because the ring was full or a chunk too long.
    std::uint64_t dropped = 0;
};

} // namespace seriallink

#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>

namespace seriallink {

// The receive byte queue: a ring of 512 slots between the port's arrival
// notification (the only producer) and the line assembly (the only
// consumer).
//
// At most 511 bytes can be pending. A byte that arrives while the ring is
// full is dropped: bytes already queued are never overwritten.
class RxQueue {
public:
    static constexpr int kSlots = 512;
    static constexpr int kMaxChunk = 511;

    void clear();
    // Appends up to the first 511 bytes of one chunk; returns how many
    // bytes were dropped (beyond 511, or for want of room).
    int put(const QByteArray& chunk);
    int size() const;
    void skip(int n);
    // The next byte, or 0 when the queue is empty. A zero byte in the stream
    // also gives 0, but moves the read index past it.
    std::uint8_t take();
    // Bytes dropped because the ring was full or a chunk too long.
    std::uint64_t dropped() const { return dropped_; }

private:
    std::array<std::uint8_t, kSlots> ring_{};
    int head_ = 0; // where the next byte goes
    int tail_ = 0; // the next byte to take
    std::uint64_t dropped_ = 0;
};

} // namespace seriallink

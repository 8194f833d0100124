#pragma once
// RenderMailbox: how the render thread tells the main thread things.
//
// A bounded queue of small fixed-size messages (a kind and a deck), written without locks or
// allocation by the render thread — and by any other thread that acts inside the engine, since
// a deck started from the main thread goes through the same play path — and read by the main
// run loop only, which drains it at the start of every pass (see RunLoop::addSource). It takes
// the place of flags polled by timers: a message is acted on at the loop's next pass, which
// headless is the end of the buffer that sent it.
//
// The queue is Dmitry Vyukov's bounded multi-producer queue reduced to one consumer: every
// cell carries a sequence number; a producer claims a cell by advancing `tail_` with a
// compare-and-swap, writes the message and publishes it by storing the cell's sequence with
// release; the consumer reads a cell once its sequence says it is full (acquire) and hands it
// back by storing the sequence for the next lap. A full queue drops the message and counts it.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vx {

// Message kinds below this one are the engine's own; the rest are for other parts.
inline constexpr uint16_t kFirstCustomRenderMessage = 16;

struct RenderMessage {
    uint16_t kind = 0;
    int16_t deck = 0;
};

class RenderMailbox {
public:
    static constexpr size_t kCapacity = 256; // a power of two

    RenderMailbox() {
        for (size_t i = 0; i < kCapacity; ++i) {
            cells_[i].sequence.store(i, std::memory_order_relaxed);
        }
    }
    RenderMailbox(const RenderMailbox&) = delete;
    RenderMailbox& operator=(const RenderMailbox&) = delete;

    // Any thread (render included: no allocation, no locks): queues `message`; false when the
    // queue is full and the message was dropped.
    bool send(RenderMessage message) {
        size_t tail = tail_.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = cells_[tail & (kCapacity - 1)];
            const size_t sequence = cell.sequence.load(std::memory_order_acquire);
            const auto lap = static_cast<std::ptrdiff_t>(sequence - tail);
            if (lap == 0) {
                if (tail_.compare_exchange_weak(tail, tail + 1, std::memory_order_relaxed)) {
                    cell.message = message;
                    cell.sequence.store(tail + 1, std::memory_order_release); // publishes it
                    return true;
                }
            } else if (lap < 0) {
                dropped_.fetch_add(1, std::memory_order_relaxed);
                return false; // full: the consumer has not handed this cell back yet
            } else {
                tail = tail_.load(std::memory_order_relaxed);
            }
        }
    }

    // Main thread (the one consumer): calls `handle(message)` for every message queued before
    // or during the call, oldest first; the number handled.
    template <typename Handler>
    size_t drain(Handler&& handle) {
        size_t count = 0;
        for (;;) {
            Cell& cell = cells_[head_ & (kCapacity - 1)];
            if (cell.sequence.load(std::memory_order_acquire) != head_ + 1) {
                return count; // empty (or the next message is still being written)
            }
            const RenderMessage message = cell.message;
            cell.sequence.store(head_ + kCapacity, std::memory_order_release); // hands it back
            ++head_;
            handle(message);
            ++count;
        }
    }

    // Any thread: messages dropped because the queue was full.
    uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    struct Cell {
        std::atomic<size_t> sequence{0};
        RenderMessage message;
    };
    std::array<Cell, kCapacity> cells_;
    alignas(64) std::atomic<size_t> tail_{0};
    alignas(64) size_t head_ = 0; // consumer only
    std::atomic<uint64_t> dropped_{0};
};

} // namespace vx

#include "dsp/SamplePlayerFixed.h"

#include <algorithm>
#include <thread>

namespace vx {

SamplePlayerFixed::SamplePlayerFixed() : buffer_(new Buffer) {
    level = 1.5f;
}

SamplePlayerFixed::~SamplePlayerFixed() {
    delete buffer_.load();
}

void SamplePlayerFixed::setSamples(std::unique_ptr<float[]> frames, int32_t frameCount) {
    stop();
    const int32_t count = frames ? std::max(frameCount, 0) : 0;
    auto* fresh = new Buffer{std::move(frames), count};
    const Buffer* old = buffer_.exchange(fresh, std::memory_order_seq_cst);
    // A mix that entered before the exchange may still read `old`; one entering after it reads
    // `fresh`. An even count here means no mix is inside; an odd one must be waited out.
    const uint32_t seen = mixing_.load(std::memory_order_seq_cst);
    if (seen & 1u) {
        while (mixing_.load(std::memory_order_seq_cst) == seen) {
            std::this_thread::yield();
        }
    }
    delete old;
}

int32_t SamplePlayerFixed::frameCount() const {
    return buffer_.load(std::memory_order_acquire)->frameCount;
}

const float* SamplePlayerFixed::samples() const {
    return buffer_.load(std::memory_order_acquire)->frames.get();
}

void SamplePlayerFixed::reset() {
    playPos.store(kPastEnd, std::memory_order_relaxed);
    finished.store(true, std::memory_order_relaxed);
}

void SamplePlayerFixed::noteOn() {
    playPos.store(0, std::memory_order_relaxed);
    finished.store(frameCount() == 0, std::memory_order_relaxed);
}

void SamplePlayerFixed::noteOff() {
    playPos.store(kPastEnd, std::memory_order_relaxed);
    finished.store(true, std::memory_order_relaxed);
}

void SamplePlayerFixed::advance(uint32_t from, uint32_t to) {
    playPos.compare_exchange_strong(from, to, std::memory_order_relaxed);
}

float SamplePlayerFixed::tickMono() {
    enterMix();
    const Buffer* b = buffer_.load(std::memory_order_seq_cst);
    const uint32_t pos = playPos.load(std::memory_order_relaxed);
    float out = 0.0f;
    if (pos >= uint32_t(b->frameCount)) {
        finished.store(true, std::memory_order_relaxed);
    } else {
        finished.store(false, std::memory_order_relaxed);
        out = b->frames[pos] * level;
        advance(pos, pos + 1);
    }
    leaveMix();
    return out;
}

void SamplePlayerFixed::mixInto(float* output, int n) {
    enterMix();
    const Buffer* b = buffer_.load(std::memory_order_seq_cst);
    const uint32_t pos = playPos.load(std::memory_order_relaxed);
    const bool done = pos >= uint32_t(b->frameCount);
    finished.store(done, std::memory_order_relaxed);
    if (!done && n > 0) {
        const uint32_t k = std::min(uint32_t(b->frameCount) - pos, uint32_t(n));
        const float* src = b->frames.get() + size_t{pos} * 2;
        const float g = level;
        for (uint32_t i = 0; i < 2 * k; ++i) {
            output[i] += src[i] * g;
        }
        advance(pos, pos + k);
    }
    leaveMix();
}

int SamplePlayerFixed::rewind() {
    playPos.store(0, std::memory_order_relaxed);
    finished.store(false, std::memory_order_relaxed);
    return 1;
}

void SamplePlayerFixed::stop() {
    finished.store(true, std::memory_order_relaxed);
    playPos.store(kPastEnd, std::memory_order_relaxed);
}

bool SamplePlayerFixed::isPlaying() {
    return !finished.load(std::memory_order_relaxed);
}

} // namespace vx

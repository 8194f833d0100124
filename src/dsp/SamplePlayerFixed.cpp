#include "dsp/SamplePlayerFixed.h"

namespace vx {

SamplePlayerFixed::SamplePlayerFixed() {
    level = 1.5f;
}

void SamplePlayerFixed::reset() {
    playPos.store(kPastEnd, std::memory_order_relaxed);
    finished.store(true, std::memory_order_relaxed);
}

void SamplePlayerFixed::noteOn() {
    playPos.store(0, std::memory_order_relaxed);
    finished.store(frameCount == 0, std::memory_order_relaxed);
}

void SamplePlayerFixed::noteOff() {
    playPos.store(kPastEnd, std::memory_order_relaxed);
    finished.store(true, std::memory_order_relaxed);
}

float SamplePlayerFixed::tickMono() {
    return 0.0f; // sound algorithm lands with the effects work
}

void SamplePlayerFixed::mixInto(float*, int) {
    // sound algorithm lands with the effects work
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

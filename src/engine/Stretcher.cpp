#include "engine/Stretcher.h"

#include <soundtouch/SoundTouch.h>

#include <bit>
#include <vector>

namespace vx {

Stretcher::Stretcher(EngineLock* guard)
    : processor_(std::make_unique<soundtouch::SoundTouch>()), guard_(guard) {
    auto& st = *processor_;
    st.setSampleRate(44100);
    st.setChannels(2);
    st.setRate(1.0);
    st.setTempo(1.0);
    st.setPitchSemiTones(0);
    st.setSetting(SETTING_USE_AA_FILTER, 1);
    st.setSetting(SETTING_USE_QUICKSEEK, 1);
    st.setSetting(SETTING_SEQUENCE_MS, 0);
    st.setSetting(SETTING_SEEKWINDOW_MS, 0);
    st.setSetting(SETTING_OVERLAP_MS, 8);

    // Grow the internal FIFOs before the render thread feeds them: push more silence than any
    // render pass feeds at once (a 6144-frame buffer plus refills), at the extreme pitches.
    std::vector<float> silence(2 * 32768, 0.0f);
    for (double p : {1.0 / 0.75, 0.75, 1.0}) {
        st.setPitch(p);
        st.putSamples(silence.data(), 32768);
        while (st.receiveSamples(silence.data(), 32768) > 0) {
        }
    }
    st.clear();
}

Stretcher::~Stretcher() = default;

void Stretcher::applyPitch(double pitch) {
    if (guard_) {
        std::lock_guard lock(*guard_);
        processor_->setPitch(pitch);
    } else {
        processor_->setPitch(pitch);
    }
}

void Stretcher::setPitch(double pitch) {
    // A newer ticket withdraws every request made before this call.
    lastTicket_.fetch_add(1, std::memory_order_acq_rel);
    pending_.store(0, std::memory_order_release);
    pitch_.store(pitch, std::memory_order_relaxed);
    applyPitch(pitch);
}

void Stretcher::requestPitch(double pitch) {
    const uint32_t ticket = lastTicket_.fetch_add(1, std::memory_order_acq_rel) + 1;
    pitch_.store(pitch, std::memory_order_relaxed);
    const uint64_t word = (uint64_t{ticket} << 32) | std::bit_cast<uint32_t>(float(pitch));
    // Two requesting threads at once: the higher ticket stays.
    uint64_t current = pending_.load(std::memory_order_relaxed);
    while ((current >> 32) < ticket &&
           !pending_.compare_exchange_weak(current, word, std::memory_order_release,
                                           std::memory_order_relaxed)) {
    }
}

bool Stretcher::applyPendingPitch() {
    const uint64_t word = pending_.exchange(0, std::memory_order_acquire);
    // Withdrawn by a later set, or none: nothing to do.
    if (word == 0 || uint32_t(word >> 32) != lastTicket_.load(std::memory_order_acquire)) {
        return false;
    }
    applyPitch(std::bit_cast<float>(uint32_t(word & 0xFFFFFFFFu)));
    return true;
}

void Stretcher::requestClear() {
    clearPending_.store(true, std::memory_order_release);
}

bool Stretcher::applyPendingClear() {
    if (!clearPending_.exchange(false, std::memory_order_acquire)) {
        return false;
    }
    clearNow();
    return true;
}

void Stretcher::clearNow() {
    processor_->clear();
    framesIn_.store(0, std::memory_order_relaxed);
    framesOut_.store(0, std::memory_order_relaxed);
}

void Stretcher::put(const float* interleaved, uint32_t frames) {
    processor_->putSamples(interleaved, frames);
    framesIn_.fetch_add(frames, std::memory_order_relaxed);
}

uint32_t Stretcher::receive(float* interleaved, uint32_t maxFrames) {
    const uint32_t got = processor_->receiveSamples(interleaved, maxFrames);
    framesOut_.fetch_add(got, std::memory_order_relaxed);
    return got;
}

uint32_t Stretcher::available() const {
    return processor_->numSamples();
}

int Stretcher::initialLatency() const {
    return processor_->getSetting(SETTING_INITIAL_LATENCY);
}

} // namespace vx

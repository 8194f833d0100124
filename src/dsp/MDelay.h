#pragma once
// MDelay: the beat-synced stereo delay of effect slot 1, and the inner delay line of the chorus.
//
// Two circular lines of 131072 frames (about 2.97 s at 44100 Hz), allocated when the module is
// built so that nothing allocates later. The delay length is fractional (read with linear
// interpolation) and kept within 1..131072 frames. In beat mode (the deck's delay) the pad's X
// picks 1/16, 1/8, 1/4, 1/2 or 1 beat and a tempo change keeps the length in beats; in free
// mode (the chorus's lines) X is the length in seconds. The pad's Y moves the feedback through
// a 256-frame ramp so that dragging the finger never clicks.
//
// Threads: the main thread sets parameters and resets under the engine lock; the render thread
// processes inside the same lock. No allocation after construction.

#include "dsp/SynthModule.h"
#include "dsp/ParamFilter.h"

#include <vector>

namespace vx {

class MDelay final : public SynthModule {
public:
    static constexpr int kLineFrames = 131072;
    static constexpr int kLineMask = kLineFrames - 1;
    // Frames over which a pad Y move ramps the feedback.
    static constexpr int kFeedbackRampFrames = 256;
    // Beat fractions the pad's X chooses from in beat mode.
    static constexpr float kBeatFractions[5] = {0.0625f, 0.125f, 0.25f, 0.5f, 1.0f};

    ParamFilter feedbackRamp;    // ramps `feedback`
    std::vector<float> lineL;    // kLineFrames, circular
    std::vector<float> lineR;    // kLineFrames, circular
    int writeIndex = 0;          // next write position
    float feedback = 0.75f;      // delayed signal written back
    float delayLength = 5512.5f; // frames, 1..kLineFrames
    float delayX = 0.5f;         // last pad X
    float wet = 0.5f;            // level of the delayed signal in the output
    bool freeMode = false;       // true: length = X seconds; false: beat fractions

    // Main thread: allocates both lines (zeroed), feedback ramp off with length 25.
    MDelay();

    // Render thread: no allocation, no locks. Mono delay on lineL.
    float tick(float x) override;
    // Main thread (engine lock): write position 0, both lines silent.
    void reset() override;
    // Main thread (engine lock): tempo in BPM; in beat mode the length keeps its beats.
    void setTempo(float bpm) override;

    // Main thread (engine lock): the XY pad (0..1 each): X sets the length, Y ramps the
    // feedback over 256 frames.
    void padInput(float x, float y);
    // Main thread (engine lock): delay length in frames, clamped to 1..131072.
    void setDelayLength(float frames);

    // Render thread: no allocation, no locks. `frames` interleaved stereo frames in place.
    void processStereo(float* io, int frames);

private:
    // Render thread: the delayed sample of `line` (kLineFrames long) for the current write
    // position and delayLength.
    float readLine(const float* line) const;
};

} // namespace vx

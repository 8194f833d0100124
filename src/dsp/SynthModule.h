#pragma once
// SynthModule: the root of every sound processor — the beat-synced delay, gate and repeater,
// the phaser, chorus and bitcrusher, the resonant filters, the oscillators and the sampler
// pads.
//
// Every module works on 32-bit float samples at a fixed 44100 Hz; stereo blocks are
// interleaved (left, right) and processed in place. The virtual operations below are in the
// fixed slot order the whole family shares; subclasses append their own after `setTempo`.
//
// Ownership: a module belongs to whoever created it (a deck record, another module that embeds
// it by value, an analysis run, the engine's pad table) and that owner destroys the concrete
// type it made. Destruction is deliberately not virtual, so the destructor is protected here:
// nothing can delete a module through a `SynthModule*`.
//
// Threads: parameters are written on the main thread — either under the engine lock, which the
// render thread also holds while it renders the decks and their effects, or before rendering
// starts — and processing runs on the render thread without allocation or locks.

namespace vx {

class SynthModule {
public:
    float level = 1.0f;          // output amplitude (LFO output scale, sampler pad gain)
    bool active = true;          // set at construction; nothing reads it
    float sampleRate = 44100.0f; // Hz
    float tempo = 120.0f;        // beats per minute, read by the beat-synced modules

    SynthModule() = default;
    SynthModule(const SynthModule&) = delete;
    SynthModule& operator=(const SynthModule&) = delete;

    // Render thread: one mono sample (−1..1) in, one out. The base returns 0.
    virtual float tick(float x);
    // Render thread: one frame. The base copies the first input sample to the output.
    virtual void processFrame(const float* in, float* out);
    // Render thread: out[i] = tick(in[i]) for i < n (may be in place).
    virtual void process(const float* in, float* out, int n);
    // Render thread: out[i] += tick(in[i]) for i < n.
    virtual void processAdd(const float* in, float* out, int n);
    // Main thread (engine lock or deck not rendering): clears the running state. Base: nothing.
    virtual void reset();
    // Main thread: starts a note. Base: nothing.
    virtual void noteOn();
    // Main thread: ends a note. Base: nothing.
    virtual void noteOff();
    // Any thread: status code; always 0.
    virtual int getStatus();
    // Main thread: sample rate in Hz.
    virtual void setSampleRate(float rate);
    // Main thread (engine lock): tempo in beats per minute.
    virtual void setTempo(float bpm);

protected:
    ~SynthModule() = default;
};

} // namespace vx

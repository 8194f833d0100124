#pragma once
// Deck-level effect and filter operations: the seven effect slots of the XY pad, the pad's
// engage/disengage, the render stage that applies the chosen effect, the tempo feed of the
// beat-synced effects, and the LP/HP and EQ knob setters.
//
// Each deck record owns one of every effect module (built with the record). The mixing screen
// picks one slot (switching the other six off and resetting the module), engages the pad on
// touch-down, feeds it the finger position on every move and disengages on touch-up. Effects
// sound only while the pad is engaged, and exactly one effect is applied: the first enabled slot
// in the order filter, delay, gate, repeater, phaser, chorus, bitcrusher. The same order decides
// which module receives the pad position.
//
// Threads: the slot flags, `fxEngaged`, the knob values and the ramps are atomics in the deck
// record. Module parameters and states are plain fields: the main thread changes them only
// while holding the engine lock (which the render thread holds while it renders the decks and
// their effects), so the caller of deckSetFxEnabled, deckSetFxXY, deckSetFxEngaged and the
// module resets holds the engine lock. The knob setters need no lock.

namespace vx {

struct audioStream;

// Effect slot numbers (as the mixing screen numbers them).
enum FxSlot : int {
    kFxFilter = 0,
    kFxDelay = 1,
    kFxGate = 2,
    kFxRepeater = 3,
    kFxPhaser = 4,
    kFxChorus = 5,
    kFxCrusher = 6,
    kFxSlotCount = 7,
};

// Any thread: the label the mixing screen shows for a slot ("FX1: FILTER" …), "" for others.
const char* fxSlotLabel(int slot);

// Main thread, engine lock held: stores `on` in the slot's flag (0..6; other numbers do
// nothing). Switching the gate on, and any call for the repeater, aligns that module's beat
// counter to the deck's position.
void deckSetFxEnabled(audioStream& deck, int slot, bool on);
// Any thread: the flag of slots 1..6; false for slot 0 and any other number.
bool deckFxEnabled(const audioStream& deck, int slot);
// Main thread, engine lock held: applies the pad position (x, y in 0..1) to the first enabled
// slot in processing order, and only to it.
void deckSetFxXY(audioStream& deck, float x, float y);
// Main thread, engine lock held: engaging resets every module once per enabled slot 1..6 and
// re-enables that slot (re-aligning gate and repeater); disengaging only clears the flag.
void deckSetFxEngaged(audioStream& deck, bool engaged);
// Main thread, engine lock held: reset of the deck's delay (lines silent).
void deckResetDelay(audioStream& deck);
// Main thread, engine lock held: reset of the deck's gate (keeps its LFO phase).
void deckResetGate(audioStream& deck);
// Main thread, engine lock held: reset of the deck's repeater (counter 0, slices silent).
void deckResetRepeater(audioStream& deck);

// Render thread: no allocation, no locks (runs inside the engine lock the render thread
// holds). When the pad is engaged, applies the first enabled effect to `frames` interleaved
// stereo frames in place; otherwise leaves them unchanged.
void deckRenderEffect(audioStream& deck, float* interleaved, int frames);

// Main thread, engine lock held (or the render thread while it holds it): tempo in BPM for the
// beat-synced effects (repeater, gate, delay); the others keep 120.
void deckSetEffectTempo(audioStream& deck, float bpm);

// Main thread: LP/HP knob position 0..1 (0.5 = neutral), reached by a 25-frame ramp stepped by
// the deck render (a running ramp is retargeted from its current value).
void deckSetLphp(audioStream& deck, float position);
// Main thread: EQ low band gain in dB (−50..+20). On a stopped deck it applies at once (ramp
// cleared); on a playing deck it ramps over 25 frames whatever `steps` says.
void deckSetEqLow(audioStream& deck, float db, int steps);
// Main thread: EQ mid band gain in dB; at once when stopped, else ramped over `steps` frames.
void deckSetEqMid(audioStream& deck, float db, int steps);
// Main thread: EQ high band gain in dB; at once when stopped, else ramped over `steps` frames.
void deckSetEqHigh(audioStream& deck, float db, int steps);

} // namespace vx

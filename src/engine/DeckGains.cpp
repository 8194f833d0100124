#include "engine/DeckGains.h"

#include "engine/audioStream.h"

namespace vx {

void deckSetFaderGain(audioStream& deck, float gain) {
    deck.faderRamp.rampedSet(deck.faderGain, gain, kGainRampFrames, deck.isPlaying.load());
}

void deckSetVolume(audioStream& deck, float gain) {
    deck.volumeRamp.rampedSet(deck.volume, gain, kGainRampFrames, deck.isPlaying.load());
}

void deckSetTrimGain(audioStream& deck, float gain) {
    deck.trimRamp.rampedSet(deck.trimGain, gain, kGainRampFrames, deck.isPlaying.load());
}

} // namespace vx

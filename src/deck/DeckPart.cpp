#include "deck/DeckPart.h"

#include "engine/AudioOut.h"
#include "engine/audioStream.h"

namespace vx {

DeckPart::DeckPart(SampleTestController& owner, DeckContext& context)
    : owner_(owner), context_(context), engine_(context.engine), db_(context.db),
      defaults_(context.defaults), notifications_(context.notifications), loop_(context.loop),
      host_(context.host), views_(context.views) {}

audioStream& DeckPart::deck(int d) {
    return engine_.deck(d & 1);
}

const audioStream& DeckPart::deck(int d) const {
    return engine_.deck(d & 1);
}

bool DeckPart::loaded(int d) const {
    return engine_.initialized() && deck(d).isLoaded.load();
}

bool DeckPart::playing(int d) const {
    return loaded(d) && deck(d).isPlaying.load();
}

} // namespace vx

#pragma once
// Tests that build a deck by hand publish its track record one part at a time.

#include "engine/audioStream.h"

#include <filesystem>
#include <memory>

namespace vx::test {

// Publishes a copy of the deck's record (an empty one when it has none) changed by `change`.
template <typename Change> void changeRecord(audioStream& deck, Change&& change) {
    const auto current = deck.track();
    auto next = current ? std::make_shared<LoadedTrack>(*current) : std::make_shared<LoadedTrack>();
    change(*next);
    publishTrack(deck, std::move(next));
}

inline void setPeaks(audioStream& deck, std::shared_ptr<peakFileData> peaks) {
    changeRecord(deck, [&](LoadedTrack& t) { t.peaks = std::move(peaks); });
}

inline void setInfo(audioStream& deck, std::shared_ptr<VXAudioFileInfo> info) {
    changeRecord(deck, [&](LoadedTrack& t) { t.info = std::move(info); });
}

inline void setPath(audioStream& deck, std::filesystem::path path) {
    changeRecord(deck, [&](LoadedTrack& t) { t.path = std::move(path); });
}

} // namespace vx::test

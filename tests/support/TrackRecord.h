#pragma once
// Tests that build a deck by hand publish its track record one part at a time.

#include "engine/audioStream.h"

#include <memory>

namespace vx::test {

// Publishes a copy of the deck's record (an empty one when it has none) with the given part.
inline void setPeaks(audioStream& deck, std::shared_ptr<peakFileData> peaks) {
    const auto current = deck.track();
    auto next = current ? std::make_shared<LoadedTrack>(*current) : std::make_shared<LoadedTrack>();
    next->peaks = std::move(peaks);
    publishTrack(deck, std::move(next));
}

inline void setInfo(audioStream& deck, std::shared_ptr<VXAudioFileInfo> info) {
    const auto current = deck.track();
    auto next = current ? std::make_shared<LoadedTrack>(*current) : std::make_shared<LoadedTrack>();
    next->info = std::move(info);
    publishTrack(deck, std::move(next));
}

} // namespace vx::test

namespace vx::test {

inline void setPath(audioStream& deck, std::filesystem::path path) {
    const auto current = deck.track();
    auto next = current ? std::make_shared<LoadedTrack>(*current) : std::make_shared<LoadedTrack>();
    next->path = std::move(path);
    publishTrack(deck, std::move(next));
}

} // namespace vx::test

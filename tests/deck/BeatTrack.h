#pragma once
// A generated track with a regular beat grid, loaded straight into a deck's ring for the deck
// screen tests.

#include "engine/EngineFixture.h"
#include "support/TrackRecord.h"

#include "analysis/peakFileData.h"
#include "library/VXAudioFileInfo.h"

#include <algorithm>
#include <memory>

namespace vx::test {

// A sine of `hz` lasting `frames` frames (the ring holds at most its first kRingBlocks blocks),
// a beat mark every `beatEntries` peak entries from entry 0 (none when 0); every `evenEvery`-th
// mark from mark `evenFirst` is also an even beat. The file info says `tempo` BPM. Pitch mode,
// no fade-in, stopped at frame 0.
inline VXAudioFileInfo& loadBeatTrack(audioStream& s, double tempo, int32_t frames,
                                      int beatEntries = 86, double hz = 440.0, int evenEvery = 0,
                                      int evenFirst = 0) {
    loadGenerated(s, std::min(frames, kRingBlocks * kBlockFrames), sine(hz));
    s.lengthFrames.store(frames);
    const int32_t entries = peakCountForFrames(frames);
    vx::test::setPeaks(s, peakFileData::create(entries));
    for (int32_t e = 0; e < entries; ++e) {
        uint8_t flags = 0;
        if (beatEntries > 0 && e % beatEntries == 0) {
            const int mark = e / beatEntries;
            flags = kPeakBeatFlag;
            if (evenEvery > 0 && mark >= evenFirst && (mark - evenFirst) % evenEvery == 0) {
                flags |= kPeakEvenBeatFlag;
            }
        }
        s.peakData()->setEntry(e, 10, flags);
    }
    auto info = std::make_shared<VXAudioFileInfo>();
    info->setTempo(tempo);
    vx::test::setInfo(s, info);
    s.pitchMode.store(true);
    s.outputRamp.On.store(false);
    s.isPlaying.store(false);
    return *info;
}

} // namespace vx::test

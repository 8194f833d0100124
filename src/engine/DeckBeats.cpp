#include "engine/DeckBeats.h"

#include "analysis/PeakGrid.h"
#include "analysis/peakFileData.h"
#include "engine/Transport.h"
#include "engine/audioStream.h"
#include "library/TrackLocation.h"
#include "library/VXAudioFileInfo.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <mutex>
#include <optional>

namespace vx {

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

bool keyLock(const audioStream& deck) {
    return !deck.pitchMode.load(relaxed);
}

bool loaded(const audioStream& deck) {
    return deck.isLoaded.load(std::memory_order_acquire);
}

// The track's tempo in BPM, 0 when it has none.
double tempoOf(const VXAudioFileInfo* info) {
    if (!info || !std::isfinite(info->tempo) || info->tempo <= 0.0) {
        return 0.0;
    }
    return info->tempo;
}

// Frame of a beat in entry e.
double beatFrame(int64_t e) {
    return 1.0 + static_cast<double>(kPeakWindowFrames) * e;
}

// The entry holding `frame`, floor(frame / 256), clamped to the int32 range (callers check the
// record's bounds).
int64_t entryOf(double frame) {
    const double e = std::floor(frame / kPeakWindowFrames);
    constexpr double lo = std::numeric_limits<int32_t>::min();
    constexpr double hi = std::numeric_limits<int32_t>::max();
    if (!(e > lo)) {
        return static_cast<int64_t>(lo);
    }
    return e < hi ? static_cast<int64_t>(e) : static_cast<int64_t>(hi);
}

// One past the last entry a forward scan may look at: inside the record and not starting
// beyond the track's end (256 × entry ≤ lengthFrames).
int64_t scanEnd(const peakFileData* peaks, int32_t lengthFrames) {
    if (!peaks || lengthFrames < 0) {
        return 0;
    }
    return std::min<int64_t>(peaks->count, int64_t{lengthFrames} / kPeakWindowFrames + 1);
}

bool isBeat(const peakFileData* peaks, int64_t e) {
    return peaks && e >= 0 && e < peaks->count && peaks->isBeatEntry(static_cast<int32_t>(e));
}

bool isEvenBeat(const peakFileData* peaks, int64_t e) {
    return isBeat(peaks, e) && (peaks->flags(static_cast<int32_t>(e)) & kPeakEvenBeatFlag) != 0;
}

// Whether beat entry e is one `mode` asks for.
bool suits(const peakFileData* peaks, int64_t e, int mode) {
    switch (mode) {
    case kBeatAny:
        return isBeat(peaks, e);
    case kBeatEven:
        return isEvenBeat(peaks, e);
    case kBeatOther:
        return isBeat(peaks, e) && !isEvenBeat(peaks, e);
    default:
        return false;
    }
}

// First beat entry in [from, end), or −1.
int64_t firstBeatEntry(const peakFileData* peaks, int64_t from, int64_t end) {
    for (int64_t e = std::max<int64_t>(from, 0); e < end; ++e) {
        if (isBeat(peaks, e)) {
            return e;
        }
    }
    return -1;
}

// Sets the even flag of the beat entries in [from, to) counted from `anchor` (frames): a beat
// is even when it lies within one entry of the anchor or a whole even number of beats away.
void markEvenBeats(peakFileData& peaks, int64_t from, int64_t to, double anchor, double cycle) {
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, peaks.count);
    for (int64_t e = from; e < to; ++e) {
        if (!isBeat(&peaks, e)) {
            continue;
        }
        const double d = std::fabs(static_cast<double>(kPeakWindowFrames) * e - anchor);
        const auto n = static_cast<int64_t>(std::llround(d / cycle));
        if (!(d > kPeakWindowFrames && n % 2 != 0)) {
            peaks.setFlagBits(static_cast<int32_t>(e), kPeakEvenBeatFlag);
        }
    }
}

// The answer of a forward beat search that needs no scan: 0 without a track or from its end
// on, a fixed step ahead when the track has no tempo; nothing when the grid must be searched.
std::optional<double> beatWithoutScan(const audioStream& deck, double frame) {
    if (!loaded(deck) || !(frame < deck.lengthFrames.load(relaxed))) {
        return 0.0;
    }
    if (tempoOf(deck.info().get()) <= 0.0) {
        return frame + kNoTempoBeatFrames;
    }
    return std::nullopt;
}

} // namespace

int beatParity(const audioStream& deck) {
    return beatParityAt(deck, deck.position.load(relaxed));
}

int beatParityAt(const audioStream& deck, double position) {
    if (!loaded(deck) || !std::isfinite(position)) {
        return kBeatAny;
    }
    const auto peaksHeld = deck.peakData();
    const peakFileData* peaks = peaksHeld.get();
    if (!peaks) {
        return kBeatAny;
    }
    const double x = std::round((position - 1.0) / kPeakWindowFrames);
    if (!(x >= 0.0 && x < peaks->count)) {
        return kBeatAny;
    }
    const auto e = static_cast<int64_t>(x);
    if (!isBeat(peaks, e)) {
        return kBeatAny;
    }
    return isEvenBeat(peaks, e) ? kBeatEven : kBeatOther;
}

double nextBeatFromFrame(const audioStream& deck, double frame, int mode) {
    if (const auto answer = beatWithoutScan(deck, frame)) {
        return *answer;
    }
    const auto peaksHeld = deck.peakData();
    const peakFileData* peaks = peaksHeld.get();
    const int64_t e =
        firstBeatEntry(peaks, entryOf(frame) + 1, scanEnd(peaks, deck.lengthFrames.load(relaxed)));
    if (e < 0) {
        return frame;
    }
    return suits(peaks, e, mode) ? beatFrame(e) : frame;
}

double nextBeatOfParity(const audioStream& deck, double frame, int mode) {
    if (const auto answer = beatWithoutScan(deck, frame)) {
        return *answer;
    }
    const auto peaksHeld = deck.peakData();
    const peakFileData* peaks = peaksHeld.get();
    const int64_t end = scanEnd(peaks, deck.lengthFrames.load(relaxed));
    for (int64_t e = std::max<int64_t>(entryOf(frame) + 1, 0); e < end; ++e) {
        if (suits(peaks, e, mode)) {
            return beatFrame(e);
        }
    }
    return frame;
}

double stepToNextBeat(audioStream& deck, int mode) {
    if (!loaded(deck)) {
        return 0.0;
    }
    resetEqState(deck);
    const double position = deck.position.load(relaxed);
    const int32_t length = deck.lengthFrames.load(relaxed);
    if (!(position < length)) {
        return position;
    }
    if (tempoOf(deck.info().get()) <= 0.0) {
        return position + kNoTempoBeatFrames;
    }
    // A beat found always lies after the position (it is in a later entry).
    const double moved = nextBeatOfParity(deck, position, mode);
    if (moved != position) {
        deck.position.store(moved, relaxed);
        // The beat may lie in a block the ring does not hold yet.
        deck.replanNeeded.store(true, relaxed);
    }
    return moved;
}

double nearestBeatToFrame(const audioStream& deck, double frame) {
    const int32_t length = deck.lengthFrames.load(relaxed);
    if (!loaded(deck) || !(frame < length)) {
        return 0.0;
    }
    if (tempoOf(deck.info().get()) <= 0.0) {
        return -1.0;
    }
    const auto peaksHeld = deck.peakData();
    const peakFileData* peaks = peaksHeld.get();
    const int64_t here = entryOf(frame);
    const int64_t after = firstBeatEntry(peaks, here + 1, scanEnd(peaks, length));
    const double forward = after >= 0 ? beatFrame(after) : static_cast<double>(length);

    int64_t before = -1;
    if (peaks) {
        for (int64_t e = std::min<int64_t>(here - 1, int64_t{peaks->count} - 1); e >= 0; --e) {
            if (isBeat(peaks, e)) {
                before = e;
                break;
            }
        }
    }
    const double toForward = std::fabs(forward - frame);
    if (before < 0) {
        // The track start stands in for the missing beat before.
        return toForward > std::fabs(frame) ? 0.0 : forward;
    }
    const double backward = beatFrame(before);
    return std::fabs(frame - backward) < toForward ? backward : forward;
}

void skipBeatsForNextTrack(audioStream& deck, int count) {
    if (count < 0 || !loaded(deck)) {
        return;
    }
    for (int64_t i = 0; i <= count; ++i) {
        const double before = deck.position.load(relaxed);
        stepToNextBeat(deck, kBeatAny);
        if (deck.position.load(relaxed) == before) {
            break; // no beat left (or no tempo): further steps cannot move either
        }
    }
    if (keyLock(deck)) {
        // A freshly loaded deck's stretcher is emptied when it starts: its old latency is void.
        deck.position.store(deck.position.load(relaxed) - pendingStretchLatency(deck), relaxed);
    }
}

double rewriteBeatGrid(audioStream& deck, double anchorFrame) {
    if (!loaded(deck)) {
        return 0.0;
    }
    const std::shared_ptr<VXAudioFileInfo> info = deck.info();
    const std::shared_ptr<peakFileData> peaks = deck.peakData();
    const int32_t length = deck.lengthFrames.load(relaxed);
    const double tempo = tempoOf(info.get());
    if (!peaks || !(anchorFrame >= 0.0 && anchorFrame <= length) || tempo <= 0.0 ||
        info->fileGroup == kBuiltInLocation) {
        return 0.0;
    }
    if (!regridPeaks(*peaks, anchorFrame, tempo)) {
        return 0.0;
    }
    recomputeEvenBeats(deck);

    std::filesystem::path track = deck.trackFile();
    if (track.empty()) {
        track = info->fileName;
    }
    if (!track.empty()) {
        peakFileWrite(*peaks, peakFilePath(track));
    }
    return beatPeriodWindows(tempo);
}

void recomputeEvenBeats(audioStream& deck) {
    const std::shared_ptr<peakFileData> peaks = deck.peakData();
    if (!peaks) {
        return;
    }
    for (int32_t i = 0; i < peaks->count; ++i) {
        peaks->clearFlagBits(i, kPeakEvenBeatFlag);
    }
    const auto info = deck.info();
    const double tempo = tempoOf(info.get());
    if (tempo <= 0.0) {
        return;
    }
    // A beat length that cannot divide (never set, or not a number) follows from the tempo.
    double cycle = info->cycleLen;
    if (!std::isfinite(cycle) || cycle <= 0.0) {
        cycle = VXAudioFileInfo::cycleLenForTempo(tempo);
    }

    const std::vector<long>& cues = deck.cuePoints;
    const int64_t count = peaks->count;
    const auto entryOfCue = [](long cue) { return entryOf(static_cast<double>(cue)); };
    if (cues.empty() || cues.front() != 0) {
        // Before the first cue: counted from the first beat there.
        const int64_t end = cues.empty() ? count : entryOfCue(cues.front());
        const int64_t first = firstBeatEntry(peaks.get(), 0, std::min(end, count));
        if (first >= 0) {
            markEvenBeats(*peaks, first, end,
                          static_cast<double>(kPeakWindowFrames) * static_cast<double>(first),
                          cycle);
        }
    }
    for (size_t k = 0; k < cues.size(); ++k) {
        // A beat just before the cue's entry still belongs to the cue: quantised to entries, a
        // beat on the cue may land in the entry before.
        const int64_t from = std::max<int64_t>(entryOfCue(cues[k]) - 1, 0);
        const int64_t to = k + 1 < cues.size() ? entryOfCue(cues[k + 1]) : count;
        markEvenBeats(*peaks, from, to, static_cast<double>(cues[k]), cycle);
    }
}

} // namespace vx

#include "engine/BlockCache.h"

#include "analysis/PeakWindowRule.h"
#include "analysis/peakFileData.h"
#include "engine/audioStream.h"
#include "platform/AudioFileReader.h"
#include "platform/Log.h"

#include <algorithm>
#include <cstring>

namespace vx {

namespace {

constexpr int16_t kWantedAhead = 1;
constexpr int16_t kWantedLoop = 2;
constexpr int16_t kWantedHere = 3;

bool heldByValidSlot(const audioStream& deck, int32_t block) {
    for (const soundBuffer& slot : deck.blocks) {
        if (slot.valid.load(std::memory_order_relaxed) &&
            slot.blockIndex.load(std::memory_order_relaxed) == block) {
            return true;
        }
    }
    return false;
}

bool blockFailed(const audioStream& deck, int32_t block) {
    return static_cast<size_t>(block) < deck.blockFailed.size() &&
           deck.blockFailed[static_cast<size_t>(block)] != 0;
}

// Searches for a wanted block not yet held, around `center`: forwards from it then backwards
// from center − 1 when moving forwards; backwards from center − 1 first when moving
// backwards. Decodes the first one found into `slot`.
int fillAround(audioStream& deck, soundBuffer& slot, int32_t center, bool forwards) {
    const int32_t blocks = deck.numBlocks.load(std::memory_order_relaxed);
    const auto tryBlock = [&](int32_t b) {
        if (b < 0 || b >= blocks || b >= static_cast<int32_t>(deck.blockWanted.size())) {
            return -1;
        }
        if (deck.blockWanted[b] == 0 || heldByValidSlot(deck, b) || blockFailed(deck, b)) {
            return -1;
        }
        if (decodeBlock(deck, slot, b * kBlockFrames)) {
            return 1;
        }
        // A block that does not decode is marked and passed over: the search goes on to the
        // wanted blocks behind it, and the damaged one is not read again on every pass.
        if (static_cast<size_t>(b) < deck.blockFailed.size()) {
            deck.blockFailed[static_cast<size_t>(b)] = 1;
        }
        logLine("block %ld does not decode: skipped", static_cast<long>(b));
        return -1;
    };
    const auto up = [&]() {
        for (int32_t b = std::max(center, 0); b < blocks; ++b) {
            const int r = tryBlock(b);
            if (r >= 0) {
                return r;
            }
        }
        return -1;
    };
    const auto down = [&]() {
        for (int32_t b = std::min(center - 1, blocks - 1); b >= 0; --b) {
            const int r = tryBlock(b);
            if (r >= 0) {
                return r;
            }
        }
        return -1;
    };
    int r = forwards ? up() : down();
    if (r < 0) {
        r = forwards ? down() : up();
    }
    return r;
}

} // namespace

void resetSlot(soundBuffer& slot) {
    slot.valid.store(false, std::memory_order_release);
    slot.spareFlag = false;
    slot.blockIndex.store(-1, std::memory_order_relaxed);
    slot.startFrame.store(-1, std::memory_order_relaxed);
    slot.requestedFrame.store(-1, std::memory_order_relaxed);
    slot.endFrame.store(0, std::memory_order_relaxed);
    slot.spare = 0;
    std::memset(slot.list.get(), 0, sizeof(float) * 2 * kBlockFrames);
}

void replan(audioStream& deck) {
    deck.replanNeeded.store(false, std::memory_order_relaxed);
    const int32_t blocks = deck.numBlocks.load(std::memory_order_relaxed);
    auto& wanted = deck.blockWanted;
    if (static_cast<int32_t>(wanted.size()) != blocks) {
        wanted.assign(static_cast<size_t>(std::max(blocks, 0)), 0);
    }
    if (blocks < kRingBlocks + 1) {
        std::fill(wanted.begin(), wanted.end(), kWantedHere);
        return;
    }
    std::fill(wanted.begin(), wanted.end(), 0);
    int budget = kRingBlocks;

    const auto p = static_cast<int32_t>(deck.position.load(std::memory_order_relaxed));
    const int32_t b = p / kBlockFrames;
    if (p >= -32767) {
        int marked = 0;
        for (int32_t i = std::max(b - 6, 0); i < std::min(b + 6, blocks) && marked < 10; ++i) {
            wanted[i] = kWantedHere;
            ++marked;
        }
        budget = kRingBlocks - marked;
    }

    const int32_t l = deck.loopStart.load(std::memory_order_relaxed);
    if (l >= -32767) {
        const int32_t lb = l / kBlockFrames;
        int share = (budget / 4) * 3;
        for (int32_t i = lb < 4 ? 0 : lb - 4; i < std::min(lb + 4, blocks); ++i) {
            if (share <= 0 || budget <= 0) {
                break;
            }
            if (wanted[i] == 0) {
                wanted[i] = kWantedLoop;
                --share;
                --budget;
            }
        }
    }

    if (budget > 0 && p >= -32767) {
        const auto markRange = [&](int32_t from, int32_t step) {
            for (int32_t i = from; i >= 0 && i < blocks && budget > 0; i += step) {
                if (wanted[i] == 0) {
                    wanted[i] = kWantedAhead;
                    --budget;
                }
            }
        };
        const int32_t start = std::clamp(b, 0, blocks - 1);
        if (deck.speed.load(std::memory_order_relaxed) >= 0.0) {
            markRange(start, 1);
            markRange(start, -1);
        } else {
            markRange(start, -1);
            markRange(start, 1);
        }
    }
}

int fillSlot(audioStream& deck, soundBuffer& slot) {
    const int32_t blocks = deck.numBlocks.load(std::memory_order_relaxed);
    const bool forwards = deck.speed.load(std::memory_order_relaxed) >= 0.0;
    const int32_t b =
        static_cast<int32_t>(deck.position.load(std::memory_order_relaxed)) / kBlockFrames;
    if (b > blocks) {
        return 0;
    }
    int r = fillAround(deck, slot, b, forwards);
    if (r >= 0) {
        return r;
    }
    r = fillAround(deck, slot, deck.loopStart.load(std::memory_order_relaxed) / kBlockFrames,
                   forwards);
    if (r >= 0) {
        return r;
    }
    const int32_t loopEnd = deck.loopEnd.load(std::memory_order_relaxed);
    if (loopEnd < deck.lengthFrames.load(std::memory_order_relaxed)) {
        r = fillAround(deck, slot, loopEnd / kBlockFrames, forwards);
        if (r >= 0) {
            return r;
        }
    }
    return 0;
}

int fillStep(audioStream& deck) {
    for (soundBuffer& slot : deck.blocks) {
        if (!slot.valid.load(std::memory_order_relaxed)) {
            return fillSlot(deck, slot);
        }
    }
    const int32_t blocks = deck.numBlocks.load(std::memory_order_relaxed);
    for (soundBuffer& slot : deck.blocks) {
        const int32_t held = slot.blockIndex.load(std::memory_order_relaxed);
        if (held >= 0 && held < blocks && held < static_cast<int32_t>(deck.blockWanted.size()) &&
            deck.blockWanted[held] == 0) {
            if (fillSlot(deck, slot)) {
                return 1;
            }
        }
    }
    return 0;
}

int decodeBlock(audioStream& deck, soundBuffer& slot, int32_t startFrame) {
    AudioFileReader* file = deck.file.get();
    const int32_t length = deck.lengthFrames.load(std::memory_order_relaxed);
    if (!file || startFrame >= length) {
        return 0;
    }
    resetSlot(slot);
    // The reader seeks sample-accurately, so a jump goes straight to the block's first frame
    // (no priming read is needed); sequential blocks continue without a seek.
    if (startFrame != deck.nextReadFrame.load(std::memory_order_relaxed)) {
        if (!file->seek(startFrame)) {
            logLine("Error seek:%ld", static_cast<long>(startFrame));
            return 0;
        }
    }
    const int64_t got = file->read(slot.list.get(), kBlockFrames);
    if (got < 0) {
        logLine("read error! :%ld", static_cast<long>(startFrame));
        deck.nextReadFrame.store(-1, std::memory_order_relaxed);
        resetSlot(slot);
        return 0;
    }
    if (got == 0) {
        resetSlot(slot);
        logLine("no data readed");
        deck.nextReadFrame.store(-1, std::memory_order_relaxed);
        return 0;
    }
    const auto frames = static_cast<int32_t>(got);
    deck.nextReadFrame.store(startFrame + frames, std::memory_order_relaxed);
    if (frames < kBlockFrames) {
        logLine("Not full load:%i", frames);
        if (startFrame + kBlockFrames < length) {
            logLine("fake read");
            resetSlot(slot);
            deck.nextReadFrame.store(-1, std::memory_order_relaxed);
            return 0;
        }
    }
    slot.requestedFrame.store(startFrame, std::memory_order_relaxed);
    slot.startFrame.store(startFrame, std::memory_order_relaxed);
    slot.frames.store(frames, std::memory_order_relaxed);
    slot.endFrame.store(startFrame + frames, std::memory_order_relaxed);
    slot.blockIndex.store(startFrame / kBlockFrames, std::memory_order_relaxed);
    slot.valid.store(true, std::memory_order_release);

    // Peaks of a block nobody has analysed yet are drawn from the decoded audio at once.
    const int32_t firstEntry = (startFrame + kPeakWindowFrames - 1) / kPeakWindowFrames;
    if (const auto peaks = deck.peakData(); peaks && !peaks->isComputed(firstEntry)) {
        makePeaksFromBlock(slot.list.get(), frames, startFrame, *peaks);
        peaks->changes.fetch_add(1, std::memory_order_release);
        deck.needsAnalysis.store(true, std::memory_order_relaxed);
    }
    return 1;
}

} // namespace vx

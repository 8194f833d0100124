#include "EngineFixture.h"

#include "analysis/peakFileData.h"
#include "engine/BlockCache.h"
#include "engine/audioStream.h"
#include "platform/AudioFileReader.h"
#include "platform/AudioFileWriter.h"
#include "platform/Log.h"
#include "support/TempDir.h"
#include "support/TrackRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vx {
namespace {

// The plan as a string, one digit per block: easy to read and compare.
std::string plan(audioStream& deck, int32_t blocks, double position, int32_t loopStart,
                 double speed) {
    deck.numBlocks.store(blocks);
    deck.lengthFrames.store(blocks * kBlockFrames);
    deck.position.store(position);
    deck.loopStart.store(loopStart);
    deck.speed.store(speed);
    deck.replanNeeded.store(true);
    replan(deck);
    EXPECT_FALSE(deck.replanNeeded.load());
    std::string s;
    for (int16_t w : deck.blockWanted) {
        s += static_cast<char>('0' + w);
    }
    return s;
}

TEST(BlockCache, ReplanMarksWhatMattersWithinTheBudgetOfTwentyBlocks) {
    struct Case {
        const char* name;
        int32_t blocks;
        double position;
        int32_t loopStart;
        double speed;
        const char* expected;
    };
    const int32_t B = kBlockFrames;
    const Case cases[] = {
        {"a track of 20 blocks is held whole", 20, 0, 0, 1.0, "33333333333333333333"},
        // 21 blocks: 6 around the start (no room below), the loop start's blocks are already
        // taken, then forwards until 20 are wanted.
        {"21 blocks plan a window", 21, 0, 0, 1.0, "333333111111111111110"},
        {"forwards from the middle", 40, 20.0 * B, 0, 1.0,
         "2222"
         "0000000000"
         "3333333333"
         "111111"
         "0000000000"},
        {"backwards plans below first", 40, 20.0 * B, 0, -1.0,
         "2222"
         "0000"
         "111111"
         "3333333333"
         "0000000000000000"},
        {"a loop start far away gets its own blocks", 40, 2.0 * B, 30 * B, 1.0,
         "33333333"
         "1111"
         "00000000000000"
         "22222222"
         "000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        audioStream deck;
        const std::string got = plan(deck, c.blocks, c.position, c.loopStart, c.speed);
        EXPECT_EQ(got, c.expected);
        int wanted = 0;
        for (char ch : got) {
            wanted += ch != '0';
        }
        EXPECT_LE(wanted, kRingBlocks);
    }
}

// The deck believes in 40 blocks, the file holds 10: every block from 10 on fails. Filling
// from block 12 goes on past the failures to the good blocks behind them, and a block that
// failed is tried once, however often the decoder passes.
TEST(BlockCache, AFailedBlockIsSkippedOnceAndTheWantedBlocksBehindItAreStillFilled) {
    test::TempDir dir;
    const auto path = dir.file("short.wav");
    ASSERT_TRUE(test::writeTrack(
        path, 10 * kBlockFrames, [](int64_t, int) { return 0.25f; }, 44100,
        AudioFileWriter::Format::WavInt16));
    audioStream deck;
    deck.file = AudioFileReader::open(path, AudioFileReader::Client::Stereo44100, nullptr);
    ASSERT_TRUE(deck.file);
    deck.nextReadFrame.store(0);
    deck.blockFailed.assign(40, 0);
    const auto peaks = peakFileData::create(peakCountForFrames(40 * kBlockFrames));
    test::setPeaks(deck, peaks);
    const std::string wanted = plan(deck, 40, 12.0 * kBlockFrames, 0, 1.0);

    LogCapture log;
    for (int pass = 0; pass < 40; ++pass) {
        fillStep(deck);
    }
    for (int32_t b = 0; b < 40; ++b) {
        const bool good = b < 10 && wanted[size_t(b)] != '0';
        EXPECT_EQ(findBlock(deck, b) != nullptr, good) << "block " << b;
        EXPECT_EQ(deck.blockFailed[size_t(b)] != 0, b >= 10 && wanted[size_t(b)] != '0') << b;
    }
    // Each good block drew its peaks and said so (the overview redraws on the count).
    EXPECT_EQ(peaks->changes.load(),
              10u - uint32_t(std::count(wanted.begin(), wanted.begin() + 10, '0')));
    EXPECT_TRUE(peaks->isComputed(peakCountForFrames(9 * kBlockFrames) + 1));
    const auto lines = log.lines();
    const auto failures = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("does not decode") != std::string::npos;
    });
    EXPECT_EQ(failures, std::count_if(deck.blockFailed.begin(), deck.blockFailed.end(),
                                      [](uint8_t f) { return f != 0; }));
}

} // namespace
} // namespace vx

#include "engine/BlockCache.h"
#include "engine/audioStream.h"

#include <gtest/gtest.h>

#include <string>

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
         "2222" "0000000000" "3333333333" "111111" "0000000000"},
        {"backwards plans below first", 40, 20.0 * B, 0, -1.0,
         "2222" "0000" "111111" "3333333333" "0000000000000000"},
        {"a loop start far away gets its own blocks", 40, 2.0 * B, 30 * B, 1.0,
         "33333333" "1111" "00000000000000" "22222222" "000000"},
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

} // namespace
} // namespace vx

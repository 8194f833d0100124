#include "analysis/peakFileData.h"
#include "controls/waveControl.h"
#include "support/TrackRecord.h"

#include "engine/EngineFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

namespace vx {
namespace {

constexpr Rgba8 kBlank{32, 32, 32, 32};
constexpr Rgba8 kWhite{255, 255, 255, 255};
constexpr Rgba8 kGreenCue{0, 255, 0, 0};

// A deck of the offline engine with a track of `lengthFrames` frames, its peak record (every
// entry height 10, no flags unless a test sets them) and a control over it. Pitch mode (no key
// lock), so the drawn position is the read position unless a test turns key lock on.
struct Drawing {
    explicit Drawing(int32_t lengthFrames, int deckIndex = 0)
        : d(engine.out.deck(deckIndex)), control(engine.out, deckIndex) {
        peaks = peakFileData::create(peakCountForFrames(lengthFrames));
        for (int32_t i = 0; i < peaks->count; ++i) {
            peaks->setEntry(i, 10, 0);
        }
        vx::test::setPeaks(d, peaks);
        d.lengthFrames.store(lengthFrames);
        d.pitchMode.store(true);
        d.position.store(0.0);
        d.baseSpeed.store(1.0);
        d.isLoaded.store(true);
    }

    // Places entry `entry` on the play row (240) at the given base speed, and fills a frame.
    void showEntryAtCentre(double entry, double speed = 1.0) {
        d.baseSpeed.store(speed);
        d.position.store(entry * 256.0);
        control.fillWaveData();
    }

    // Colour 0 blue, colour 1 (low-frequency windows) red, colour 2 green.
    void setPeakColors() {
        control.setPeakColor({Rgba8{0, 0, 255, 255}, Rgba8{255, 0, 0, 255}, Rgba8{0, 255, 0, 255}});
    }

    // Half-length of row r's line around the centre line.
    float halfLength(int r) const { return control.rowRight(r) - control.zeroX; }
    bool isMarker(int r) const {
        return control.rowLeft(r) == control.zeroX - 50.0f &&
               control.rowRight(r) == control.zeroX + 50.0f;
    }

    test::Engine engine;
    audioStream& d;
    waveControl control;
    std::shared_ptr<peakFileData> peaks;
};

TEST(waveControlDrawing, RowsAboveFrameZeroStayTwoPointLinesAndRowsMapToConsecutiveEntries) {
    Drawing w(2000 * 256);
    for (int32_t i = 0; i < w.peaks->count; ++i) {
        w.peaks->setEntry(i, static_cast<uint8_t>(i % 40 + 2), 0);
    }
    w.showEntryAtCentre(100.0); // row 0 would be entry −140
    for (int r = 0; r < 140; ++r) {
        ASSERT_FLOAT_EQ(w.control.rowLeft(r), w.control.zeroX - 1.0f) << r;
        ASSERT_FLOAT_EQ(w.control.rowRight(r), w.control.zeroX + 1.0f) << r;
        ASSERT_EQ(w.control.rowColor(r, 0), kBlank) << r;
        ASSERT_FLOAT_EQ(w.control.waveData[size_t(4 * r + 1)], float(r));
    }
    for (int r = 140; r < waveControl::kRows; ++r) {
        const int entry = r - 140;
        ASSERT_FLOAT_EQ(w.halfLength(r), float(entry % 40 + 2)) << r;
        ASSERT_FLOAT_EQ(w.control.zeroX - w.control.rowLeft(r), float(entry % 40 + 2)) << r;
        ASSERT_EQ(w.control.rowColor(r, 1), kWhite) << r;
    }
}

TEST(waveControlDrawing, RowsPastTheLastEntryAreNotFilled) {
    Drawing w(300 * 256); // entries 0…299
    w.showEntryAtCentre(200.0);
    // Row 40 shows entry 0, so entry 299 is on row 339.
    EXPECT_FLOAT_EQ(w.halfLength(339), 10.0f);
    EXPECT_EQ(w.control.rowColor(339, 0), kWhite);
    for (int r = 340; r < waveControl::kRows; ++r) {
        ASSERT_FLOAT_EQ(w.halfLength(r), 1.0f) << r;
        ASSERT_EQ(w.control.rowColor(r, 0), kBlank) << r;
    }
}

TEST(waveControlDrawing, TabletDoublesTheLineAndUncomputedEntriesDrawOnePoint) {
    Drawing w(2000 * 256);
    w.peaks->setEntry(1000, kPeakNotComputed, kPeakNotComputed);
    w.control.setLayout(ScreenLayout::Tablet);
    w.showEntryAtCentre(1000.0);
    EXPECT_FLOAT_EQ(w.halfLength(239), 20.0f);
    EXPECT_FLOAT_EQ(w.halfLength(240), 1.0f); // not computed yet
    EXPECT_EQ(w.control.numBeatMarks, 0);     // and not a beat either
    w.control.setLayout(ScreenLayout::Phone);
    w.control.fillWaveData();
    EXPECT_FLOAT_EQ(w.halfLength(239), 10.0f);
}

TEST(waveControlDrawing, KeyLockDrawsTheAudiblePosition) {
    Drawing w(4000 * 256);
    w.peaks->setEntry(1000, 30, 0);
    w.d.pitchMode.store(false);
    w.d.stretchLatency.store(-5120.0); // 20 entries behind the read position
    w.showEntryAtCentre(1020.0);
    EXPECT_FLOAT_EQ(w.halfLength(240), 30.0f);
    // While scratching the read position is the audible one.
    w.d.isScratching.store(true);
    w.control.fillWaveData();
    EXPECT_FLOAT_EQ(w.halfLength(220), 30.0f);
}

TEST(waveControlDrawing, AtDoubleSpeedABeatOnTheSkippedEntryStillGivesABeatMark) {
    Drawing w(5000 * 256);
    // Row r shows entry 1520 + 2r: entry 2001 falls between rows 240 and 241.
    w.peaks->setEntry(2001, 10, kPeakBeatFlag);
    w.peaks->setEntry(2100, 10, kPeakBeatFlag); // on row 290 itself
    w.showEntryAtCentre(2000.0, 2.0);
    EXPECT_FLOAT_EQ(w.control.timeScale, 512.0f);
    ASSERT_EQ(w.control.numBeatMarks, 2);
    EXPECT_FLOAT_EQ(w.control.beatMarkCoord[1], 241.0f);
    EXPECT_FLOAT_EQ(w.control.beatMarkCoord[3], 241.0f);
    EXPECT_FLOAT_EQ(w.control.beatMarkCoord[5], 290.0f);

    // At normal speed no entry is skipped: the beat is on its own row only.
    w.showEntryAtCentre(2000.0, 1.0);
    ASSERT_EQ(w.control.numBeatMarks, 2);
    EXPECT_FLOAT_EQ(w.control.beatMarkCoord[1], 241.0f);
    EXPECT_FLOAT_EQ(w.control.beatMarkCoord[5], 340.0f);
}

TEST(waveControlDrawing, ABeatMarkFlashesWhiteNearThePlayRowAndFadesAlongItsLengthElsewhere) {
    Drawing w(5000 * 256);
    w.peaks->setEntry(2003, 10, kPeakBeatFlag); // row 243: 3 rows from the play row
    w.peaks->setEntry(2004, 10, kPeakBeatFlag); // row 244: 4 rows away
    w.showEntryAtCentre(2000.0);
    ASSERT_EQ(w.control.numBeatMarks, 2);
    const auto color = [&](int mark, int end) {
        const uint8_t* c = &w.control.beatMarkColors[size_t(8 * mark + 4 * end)];
        return Rgba8{c[0], c[1], c[2], c[3]};
    };
    EXPECT_EQ(color(0, 0), (Rgba8{255, 255, 255, 255}));
    EXPECT_EQ(color(0, 1), (Rgba8{255, 255, 255, 0}));
    EXPECT_EQ(color(1, 0), (Rgba8{203, 54, 157, 255}));
    EXPECT_EQ(color(1, 1), (Rgba8{203, 54, 157, 0}));
    // Slots beyond the marks placed keep the deck's colour; deck 1 has its own.
    EXPECT_EQ(color(31, 0), (Rgba8{203, 54, 157, 255}));
    Drawing right(5000 * 256, 1);
    right.control.fillWaveData();
    EXPECT_EQ(right.control.beatMarkColors[0], 62);
    EXPECT_EQ(right.control.beatMarkColors[1], 140);
    EXPECT_EQ(right.control.beatMarkColors[2], 217);
}

TEST(waveControlDrawing, AtMostThirtyOneBeatMarksAreDrawn) {
    Drawing w(5000 * 256);
    for (int32_t i = 1800; i < 2300; i += 2) {
        w.peaks->setEntry(i, 10, kPeakBeatFlag);
    }
    w.showEntryAtCentre(2000.0);
    EXPECT_EQ(w.control.numBeatMarks, 31);
    EXPECT_FLOAT_EQ(w.control.beatMarkCoord[4 * 30 + 1], 100.0f); // entry 1860 on row 100
    // An unloaded deck draws nothing and clears the marks.
    w.d.isLoaded.store(false);
    w.control.fillWaveData();
    EXPECT_EQ(w.control.numBeatMarks, 0);
}

TEST(waveControlDrawing, ACueOnARowsEntryAndACueBetweenRowsBothDrawATwoRowGreenMarker) {
    Drawing w(5000 * 256);
    w.d.cuePoints = {2100L * 256 + 17, 2201L * 256 + 5};
    w.d.numCuePoints = 2;
    w.showEntryAtCentre(2000.0, 2.0); // row r shows entry 1520 + 2r
    // Entry 2100 is row 290's own entry; entry 2201 lies between rows 340 and 341.
    for (int r : {289, 290, 340, 341}) {
        EXPECT_TRUE(w.isMarker(r)) << r;
        EXPECT_EQ(w.control.rowColor(r, 0), kGreenCue) << r;
        EXPECT_EQ(w.control.rowColor(r, 1), kGreenCue) << r;
    }
    for (int r : {288, 291, 339, 342}) {
        EXPECT_FALSE(w.isMarker(r)) << r;
        EXPECT_EQ(w.control.rowColor(r, 0), kWhite) << r;
    }
}

TEST(waveControlDrawing, ATrackOf59SecondsShowsNoMinuteMarker) {
    Drawing w(59 * 44100);
    w.showEntryAtCentre(10100.0); // the end of the track is in view
    EXPECT_FALSE(w.control.isMinuteLabelVisible);
    for (int r = 0; r < waveControl::kRows; ++r) {
        ASSERT_FALSE(w.isMarker(r)) << r;
    }
    EXPECT_EQ(w.control.lastMinuteValue, -1.0f);
}

TEST(waveControlDrawing, AOneMinuteTrackShowsTheMarkerAndTheLabel0100AtItsEnd) {
    Drawing w(60 * 44100);        // entries 0…10335; minute 1 ends inside entry 10335
    w.showEntryAtCentre(10200.0); // row r shows entry 9960 + r
    EXPECT_TRUE(w.isMarker(374));
    EXPECT_TRUE(w.isMarker(375));
    EXPECT_EQ(w.control.rowColor(375, 0), kWhite);
    EXPECT_FALSE(w.isMarker(373));
    ASSERT_TRUE(w.control.isMinuteLabelVisible);
    EXPECT_EQ(w.control.minuteLabel, "01:00");
    EXPECT_EQ(w.control.lastMinuteValue, 1.0f);
    EXPECT_FLOAT_EQ(w.control.minuteLabelPoint.y, 375.0f - 13.0f);
    EXPECT_FALSE(w.control.minuteLabelAlignRight);

    // A frame without the boundary in view hides the label and keeps its text.
    w.showEntryAtCentre(5000.0);
    EXPECT_FALSE(w.control.isMinuteLabelVisible);
    EXPECT_EQ(w.control.minuteLabel, "01:00");
}

TEST(waveControlDrawing, TheLabelNamesTheMinuteThatEndsInTheRow) {
    Drawing w(4 * 60 * 44100, 1);
    w.control.setLayout(ScreenLayout::Tablet);
    // Minute 2 ends inside entry 20671 (2 / 9.674981e-5 = 20671.875).
    w.showEntryAtCentre(20671.0 - 100.0);
    ASSERT_TRUE(w.control.isMinuteLabelVisible);
    EXPECT_EQ(w.control.minuteLabel, "02:00");
    EXPECT_TRUE(w.isMarker(340));
    EXPECT_TRUE(w.isMarker(339));
    EXPECT_FLOAT_EQ(w.control.minuteLabelPoint.y, 340.0f - 26.0f);
    EXPECT_TRUE(w.control.minuteLabelAlignRight);
}

TEST(waveControlDrawing, EvenBeatsAreMarkedBelowTheirRowUnlessTheSettingSaysNot) {
    Drawing w(5000 * 256);
    const uint8_t evenBeat = kPeakBeatFlag | kPeakEvenBeatFlag;
    w.peaks->setEntry(2010, 10, evenBeat); // row 250
    w.peaks->setEntry(2030, 10, kPeakBeatFlag);
    w.peaks->setEntry(2050, 10, evenBeat); // row 290
    w.showEntryAtCentre(2000.0);
    EXPECT_EQ(w.control.numBeatMarks, 3);
    ASSERT_EQ(w.control.evenMarkNum, 2);
    EXPECT_FLOAT_EQ(w.control.evenMarkCoords[1], 256.0f);
    EXPECT_FLOAT_EQ(w.control.evenMarkCoords[5], 296.0f);

    w.control.setLayout(ScreenLayout::Tablet);
    w.control.fillWaveData();
    ASSERT_EQ(w.control.evenMarkNum, 2);
    EXPECT_FLOAT_EQ(w.control.evenMarkCoords[1], 262.0f);

    w.control.setDontMarkEvenBeat(true);
    w.control.fillWaveData();
    EXPECT_EQ(w.control.evenMarkNum, 0);
    EXPECT_EQ(w.control.numBeatMarks, 3);
}

TEST(waveControlDrawing, TheLoopRegionIsColouredInclusiveOfItsEnds) {
    Drawing w(5000 * 256);
    w.d.loopStart.store(2010 * 256 + 100);
    w.d.loopEnd.store(2020 * 256 + 255);
    w.d.loopActive.store(true);
    w.showEntryAtCentre(2000.0);
    const Rgba8 loop{128, 255, 0, 0};
    EXPECT_EQ(w.control.rowColor(249, 0), kWhite);
    EXPECT_EQ(w.control.rowColor(250, 0), loop);
    EXPECT_EQ(w.control.rowColor(260, 1), loop);
    EXPECT_EQ(w.control.rowColor(261, 0), kWhite);
    w.d.loopActive.store(false);
    w.control.fillWaveData();
    EXPECT_EQ(w.control.rowColor(255, 0), kWhite);
}

TEST(waveControlDrawing, LevelMeterLightsSegmentsFromTheHeldLevelWhilePlaying) {
    Drawing w(5000 * 256);
    w.engine.out.setGain(1.0f);
    w.d.position.store(2000.0 * 256);
    struct Case {
        float level;
        bool playing;
        int32_t segments;
    };
    // 6 ln 0.5 = −4.159 dB: the table entry at −4.010 dB reads 0.79385, × 7 = 5.56.
    const Case cases[] = {{1.0f, true, 7}, {0.5f, true, 6}, {0.0f, true, 0}, {1.0f, false, 0}};
    for (const Case& c : cases) {
        w.d.meterLevelHold.store(c.level);
        w.d.isPlaying.store(c.playing);
        w.control.fillWaveData();
        EXPECT_EQ(w.control.ampValue, c.segments) << c.level << " " << c.playing;
    }
    // Half the master gain halves the level.
    w.engine.out.setGain(0.5f);
    w.d.meterLevelHold.store(1.0f);
    w.d.isPlaying.store(true);
    w.control.fillWaveData();
    EXPECT_EQ(w.control.ampValue, 6);
    // Past the end of the track the meter is dark.
    w.d.position.store(5000.0 * 256);
    w.control.fillWaveData();
    EXPECT_EQ(w.control.ampValue, 0);
}

TEST(waveControlDrawing, EqTicksSitAcrossTheirSpanByTheBandGain) {
    Drawing w(5000 * 256);
    struct Case {
        float high, mid, low;
        float expectHigh, expectMid, expectLow; // left end − eqStart, phone: span 60, tick 4
    };
    const Case cases[] = {
        {0.0f, 0.0f, 0.0f, 28.0f, 28.0f, 28.0f},
        {20.0f, -50.0f, 5.0f, 56.0f, 0.0f, 42.0f},   // t = 1, −1, 0.5
        {2.5f, -6.25f, -12.5f, 42.0f, 14.0f, 14.0f}, // t = 0.5, −0.5, −0.5
        {-0.4f, 0.16f, 0.2f, 22.0f, 34.0f, 31.0f},   // t = −0.2, 0.2, 0.1
    };
    for (const Case& c : cases) {
        w.d.eqHighDb.store(c.high);
        w.d.eqMidDb.store(c.mid);
        w.d.eqLowDb.store(c.low);
        w.control.fillWaveData();
        const float start = w.control.eqStart;
        EXPECT_FLOAT_EQ(w.control.eqWidth, 60.0f);
        EXPECT_FLOAT_EQ(w.control.eqDisplayCoord[0] - start, c.expectHigh) << c.high;
        EXPECT_FLOAT_EQ(w.control.eqDisplayCoord[2] - start, c.expectHigh + 4.0f) << c.high;
        EXPECT_FLOAT_EQ(w.control.eqDisplayCoord[4] - start, c.expectMid) << c.mid;
        EXPECT_FLOAT_EQ(w.control.eqDisplayCoord[8] - start, c.expectLow) << c.low;
        EXPECT_FLOAT_EQ(w.control.eqDisplayCoord[10] - start, c.expectLow + 4.0f) << c.low;
    }
    // Tablet: span 120, tick 8, so t = 1 puts the tick at 112.
    w.control.setLayout(ScreenLayout::Tablet);
    w.d.eqHighDb.store(20.0f);
    w.control.fillWaveData();
    EXPECT_FLOAT_EQ(w.control.eqDisplayCoord[0] - w.control.eqStart, 112.0f);
    EXPECT_FLOAT_EQ(w.control.eqDisplayCoord[2] - w.control.eqDisplayCoord[0], 8.0f);
}

TEST(waveControlDrawing, PositionIndicatorTracksThePositionOverTheWholeTrack) {
    Drawing w(480 * 1000);
    w.d.position.store(120000.0); // a quarter of the track: y = 120
    w.control.fillWaveData();
    EXPECT_FLOAT_EQ(w.control.posIndicator[1], 115.0f);
    EXPECT_FLOAT_EQ(w.control.posIndicator[3], 125.0f);
    EXPECT_FLOAT_EQ(w.control.posIndicator[5], 120.0f);
    EXPECT_FLOAT_EQ(w.control.posIndicator[7], 120.0f);
}

TEST(waveControlDrawing, AFrozenDisplayShowsTheFrozenPositionAndSpeed) {
    Drawing w(5000 * 256);
    w.peaks->setEntry(1000, 40, 0);
    w.d.isPlaying.store(true);
    w.control.isFreezed = true;
    w.control.indexFreezed = 1000.0 * 256;
    w.control.speedFreezed = 1.0;
    w.d.position.store(3000.0 * 256);
    w.d.baseSpeed.store(2.0);
    w.control.fillWaveData();
    EXPECT_FLOAT_EQ(w.halfLength(240), 40.0f);
    EXPECT_FLOAT_EQ(w.control.timeScale, 256.0f);
    // A stopped deck cannot stay frozen.
    w.d.isPlaying.store(false);
    w.control.fillWaveData();
    EXPECT_FALSE(w.control.isFreezed);
}

TEST(waveControlDrawing, ThePlayheadRunAfterAColourChangeTurnsWhiteWhilePlaying) {
    Drawing w(5000 * 256);
    w.setPeakColors();
    w.d.isPlaying.store(true);
    // Entries 1995…2002 are low-frequency (colour 1): rows 235…242; the change is at row 234.
    for (int32_t i = 1995; i <= 2002; ++i) {
        w.peaks->setEntry(i, 10, kPeakLowFrequencyFlag);
    }
    w.showEntryAtCentre(2000.0);
    for (int r = 235; r <= 242; ++r) {
        EXPECT_EQ(w.control.rowColor(r, 0), kWhite) << r;
    }
    EXPECT_EQ(w.control.rowColor(234, 0), (Rgba8{0, 0, 255, 255}));
    EXPECT_EQ(w.control.rowColor(243, 0), (Rgba8{0, 0, 255, 255}));
    // Not while scratching.
    w.d.isScratching.store(true);
    w.control.fillWaveData();
    EXPECT_EQ(w.control.rowColor(238, 0), (Rgba8{255, 0, 0, 255}));
}

} // namespace
} // namespace vx

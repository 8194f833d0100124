// waveControl's drawing half: the per-frame arrays the shell draws (see waveControl.h).

#include "analysis/peakFileData.h"
#include "controls/waveControl.h"
#include "engine/AudioOut.h"
#include "engine/audioStream.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vx {

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

// Colour of every vertex before a frame fills it (all four bytes).
constexpr uint8_t kBlankColorByte = 32;
constexpr Rgba8 kWhite{255, 255, 255, 255};
// Loop region and cue markers: alpha 0, so the one-plus-one-minus-alpha blend adds them.
constexpr Rgba8 kLoopColor{128, 255, 0, 0};
constexpr Rgba8 kCueColor{0, 255, 0, 0};
constexpr Rgba8 kBeatColorDeck0{203, 54, 157, 255};
constexpr Rgba8 kBeatColorDeck1{62, 140, 217, 255};
// Level-meter segments from the bottom: four green, two yellow, one red.
constexpr Rgba8 kMeterColors[waveControl::kMeterSegments] = {
    {0, 255, 0, 255},   {0, 255, 0, 255},   {0, 255, 0, 255}, {0, 255, 0, 255},
    {255, 255, 0, 255}, {255, 255, 0, 255}, {255, 0, 0, 255}};
// Half-length of the line every row gets before the frame fills it (points).
constexpr float kBlankHalfLength = 1.0f;
// Position indicator: half-height of its tick (points).
constexpr float kIndicatorTick = 5.0f;
// The beat mark flashes white while it is this close to the play row (rows, exclusive).
constexpr int kFlashRows = 4;
// Rows the playhead highlight looks back from the play row.
constexpr int kHighlightLookBack = 8;

waveControl::Geometry phoneGeometry() {
    waveControl::Geometry g; // the defaults are the phone's, but for the control's width
    g.width = 160.0f;
    return g;
}

waveControl::Geometry tabletGeometry() {
    waveControl::Geometry g;
    g.width = 384.0f;
    g.heightPerByte = 2.0f;
    g.evenMarkOffset = 12.0f;
    g.indicatorLineWidth = 4.0f;
    g.eqTickLineWidth = 9.0f;
    g.eqTickLength = 8.0f;
    g.evenMarkLineWidth = 8.0f;
    g.evenMarkAlpha = 69;
    g.meterLineWidth = 7.0f;
    g.labelOffsetX = 43.0f;
    g.labelOffsetY = 26.0f;
    g.labelFontSize = 28.0f;
    g.beatMarkHalfLength = 100.0f;
    g.evenMarkInner = 104.0f;
    g.evenMarkOuter = 120.0f;
    g.indicatorInset = 8.0f;
    g.indicatorLength = 16.0f;
    g.meterInset = 24.0f;
    g.meterSegmentLength = 14.0f;
    g.meterSegmentGap = 4.0f;
    g.eqHalfWidth = 60.0f;
    g.eqRows = {430.0f, 445.0f, 460.0f};
    return g;
}

// How far the home position of the centre line lies from the control's middle, towards the
// deck's outer edge (points).
float homeShift(ScreenLayout layout) {
    return layout == ScreenLayout::Tablet ? 40.0f : 10.0f;
}

// Entry byte 1 as a beat flag: its upper four bits, none for an entry not computed yet.
uint8_t beatBits(uint8_t flags) {
    return flags == kPeakNotComputed ? uint8_t{0} : static_cast<uint8_t>(flags & kPeakBeatBits);
}

// Position of an EQ tick, −1…1 across the span, from the band's gain in dB.
double eqTickCubic(double db) {
    return db >= 0.0 ? std::cbrt(db / 20.0) : std::cbrt(db / 50.0);
}
double eqTickLow(double db) {
    return db >= 0.0 ? std::sqrt(db / 20.0) : -std::sqrt(-db / 50.0);
}

} // namespace

// The layout's values, the deck's beat-mark colour and every array whose geometry does not
// change from frame to frame.
void waveControl::setLayout(ScreenLayout layout) {
    layout_ = layout;
    geometry_ = layout == ScreenLayout::Tablet ? tabletGeometry() : phoneGeometry();
    const float middle = geometry_.width * 0.5f;
    const float outward = sideno != 0 ? 1.0f : -1.0f;
    _zeroCenter = middle;
    _zeroHome = middle + outward * homeShift(layout);
    zeroX = _zeroHome;
    const Rgba8 beat = sideno != 0 ? kBeatColorDeck1 : kBeatColorDeck0;
    beatMarkColor[0] = beat;
    beatMarkColor[1] = Rgba8{beat.r, beat.g, beat.b, 0};
    placeFixedArrays();
}

void waveControl::moveToHome() {
    zeroX = _zeroHome;
    placeFixedArrays();
}

void waveControl::moveToCenter() {
    zeroX = _zeroCenter;
    placeFixedArrays();
}

void waveControl::placeFixedArrays() {
    const Geometry& g = geometry_;
    // x at `inset` points from the deck's outer edge (left for deck 0, right for deck 1).
    const auto fromOuterEdge = [&](float inset) { return sideno != 0 ? g.width - inset : inset; };
    ampX = fromOuterEdge(g.meterInset);
    for (int k = 0; k < kMeterSegments; ++k) {
        const float bottom =
            g.meterBottom - static_cast<float>(k) * (g.meterSegmentLength + g.meterSegmentGap);
        ampIndicator[static_cast<size_t>(4 * k)] = ampX;
        ampIndicator[static_cast<size_t>(4 * k + 1)] = bottom;
        ampIndicator[static_cast<size_t>(4 * k + 2)] = ampX;
        ampIndicator[static_cast<size_t>(4 * k + 3)] = bottom - g.meterSegmentLength;
        for (int end = 0; end < 2; ++end) {
            const size_t at = static_cast<size_t>(8 * k + 4 * end);
            ampIndicatorColors[at] = kMeterColors[k].r;
            ampIndicatorColors[at + 1] = kMeterColors[k].g;
            ampIndicatorColors[at + 2] = kMeterColors[k].b;
            ampIndicatorColors[at + 3] = kMeterColors[k].a;
        }
    }
    posIndicator[0] = fromOuterEdge(g.indicatorInset);
    posIndicator[2] = posIndicator[0];
    posIndicator[4] = fromOuterEdge(0.0f);
    posIndicator[6] = fromOuterEdge(g.indicatorLength);
    eqWidth = 2.0f * g.eqHalfWidth;
    eqStart = zeroX - g.eqHalfWidth;
    for (int k = 0; k < 3; ++k) {
        eqDisplayCoord[static_cast<size_t>(4 * k + 1)] = g.eqRows[static_cast<size_t>(k)];
        eqDisplayCoord[static_cast<size_t>(4 * k + 3)] = g.eqRows[static_cast<size_t>(k)];
    }
    fillEqDisplay();
    resetRows();
}

void waveControl::restoreBeatMarksColor() {
    const Rgba8 end0 = beatMarkColor[0];
    const Rgba8 end1{end0.r, end0.g, end0.b, 0};
    for (int m = 0; m < kBeatMarkSlots; ++m) {
        uint8_t* c = &beatMarkColors[static_cast<size_t>(8 * m)];
        c[0] = end0.r;
        c[1] = end0.g;
        c[2] = end0.b;
        c[3] = end0.a;
        c[4] = end1.r;
        c[5] = end1.g;
        c[6] = end1.b;
        c[7] = end1.a;
    }
}

void waveControl::setPeakColor(const std::array<Rgba8, 3>& newColors) {
    peakColor = newColors;
}

Rgba8 waveControl::rowColor(int row, int end) const {
    const uint8_t* c = &colors[static_cast<size_t>(8 * row + 4 * end)];
    return Rgba8{c[0], c[1], c[2], c[3]};
}

void waveControl::resetRows() {
    for (int r = 0; r < kRows; ++r) {
        float* v = &waveData[static_cast<size_t>(4 * r)];
        v[0] = zeroX - kBlankHalfLength;
        v[1] = static_cast<float>(r);
        v[2] = zeroX + kBlankHalfLength;
        v[3] = static_cast<float>(r);
    }
    std::fill(colors.begin(), colors.begin() + 8 * kRows, kBlankColorByte);
}

void waveControl::setRowColor(int row, Rgba8 color) {
    uint8_t* c = &colors[static_cast<size_t>(8 * row)];
    c[0] = c[4] = color.r;
    c[1] = c[5] = color.g;
    c[2] = c[6] = color.b;
    c[3] = c[7] = color.a;
}

void waveControl::setMarkerLine(int row, Rgba8 color) {
    if (row < 0 || row >= kRows) {
        return;
    }
    waveData[static_cast<size_t>(4 * row)] = zeroX - kMarkerHalfLength;
    waveData[static_cast<size_t>(4 * row + 2)] = zeroX + kMarkerHalfLength;
    setRowColor(row, color);
}

// The label shows `minute`; its text is rebuilt only when that minute changes. It sits beside
// the centre line on the deck's inner side while the position indicator takes the outer edge,
// on the outer side otherwise; its top is the label's y offset above the row.
void waveControl::placeMinuteLabel(int row, double minute) {
    if (static_cast<float>(minute) != lastMinuteValue) {
        lastMinuteValue = static_cast<float>(minute);
        char text[32];
        std::snprintf(text, sizeof text, "%02.0f:00", minute);
        minuteLabel = text;
    }
    const Geometry& g = geometry_;
    const bool inner = showSmallNavigator;
    const bool toTheRight = (sideno == 0) == inner;
    minuteLabelPoint.x =
        toTheRight ? zeroX + g.labelOffsetX : zeroX - g.labelOffsetX - g.labelWidth;
    minuteLabelPoint.y = static_cast<float>(row) - g.labelOffsetY;
    minuteLabelAlignRight = sideno != 0;
    isMinuteLabelVisible = true;
}

void waveControl::fillWaveData() {
    isMinuteLabelVisible = false;
    numBeatMarks = 0;
    if (!stream || !stream->isLoaded.load(std::memory_order_acquire)) {
        return;
    }
    audioStream& d = *stream;
    const bool playing = d.isPlaying.load(relaxed);
    if (!playing) {
        isFreezed = false;
    }
    resetRows();

    double s = isFreezed ? speedFreezed : d.baseSpeed.load(relaxed);
    double p = isFreezed ? indexFreezed : d.position.load(relaxed);
    if (keyLock() && !d.isScratching.load(relaxed)) {
        p += d.stretchLatency.load(relaxed);
    }
    timeScale = static_cast<float>(s * kFramesPerRow * visualScale);
    const double e = s * visualScale; // entries per row
    const double top = std::floor(p - kRowsToEdge * timeScale);
    double x = top / kFramesPerRow; // the entry of row 0

    const int32_t length = d.lengthFrames.load(relaxed);
    const float indicatorY =
        length > 0
            ? static_cast<float>(kRows / static_cast<double>(length) * d.position.load(relaxed))
            : 0.0f;
    posIndicator[1] = indicatorY - kIndicatorTick;
    posIndicator[3] = indicatorY + kIndicatorTick;
    posIndicator[5] = indicatorY;
    posIndicator[7] = indicatorY;

    restoreBeatMarksColor();
    evenMarkNum = 0;

    const auto peaksHeld = d.peakData();
    const peakFileData* peaks = peaksHeld.get();
    if (peaks && e > 0.0) {
        int firstRow = 0;
        if (x < 0.0) {
            firstRow = static_cast<int>(std::trunc(-x / e));
            x = 0.0;
        }
        const int32_t lastEntry = peaks->count - 1;
        const Geometry& g = geometry_;
        const bool loopActive = d.loopActive.load(relaxed);
        const int32_t loopFirst = d.loopStart.load(relaxed) / kPeakWindowFrames;
        const int32_t loopLast = d.loopEnd.load(relaxed) / kPeakWindowFrames;
        const std::vector<long>& cues = d.cuePoints;
        const float outward = sideno != 0 ? 1.0f : -1.0f;
        bool minuteLabelPlaced = false;
        long previous = -1; // entry of the previous row; −1 before the first row

        for (int r = firstRow; r < kRows; ++r, x += e) {
            const long i = std::lround(x);
            if (i > lastEntry) {
                break; // no row reads past the last entry
            }
            const auto entry = static_cast<int32_t>(i);
            const float y = static_cast<float>(r);
            const uint8_t height = peaks->height(entry);
            const uint8_t flags = peaks->flags(entry);

            // The row's line and colour.
            const float h =
                height == kPeakNotComputed ? 1.0f : static_cast<float>(height) * g.heightPerByte;
            waveData[static_cast<size_t>(4 * r)] = zeroX - h;
            waveData[static_cast<size_t>(4 * r + 2)] = zeroX + h;
            const unsigned colorIndex = flags & 0x0F;
            setRowColor(r, peakColor[colorIndex < peakColor.size() ? colorIndex : 0]);

            // Beat flag; when rows skip entries, the skipped entry just before counts too.
            uint8_t beat = beatBits(flags);
            if (beat == 0 && previous >= 0 && i - previous >= 2) {
                beat = beatBits(peaks->flags(entry - 1));
            }
            if (beat != 0 && numBeatMarks < kMaxBeatMarks) {
                const size_t m = static_cast<size_t>(numBeatMarks);
                beatMarkCoord[4 * m] = zeroX - g.beatMarkHalfLength;
                beatMarkCoord[4 * m + 1] = y;
                beatMarkCoord[4 * m + 2] = zeroX + g.beatMarkHalfLength;
                beatMarkCoord[4 * m + 3] = y;
                if (std::abs(r - centerCoord) < kFlashRows) {
                    uint8_t* c = &beatMarkColors[8 * m];
                    c[0] = c[1] = c[2] = 255;
                    c[4] = c[5] = c[6] = 255;
                }
                ++numBeatMarks;
            }
            if (!dontMarkEvenBeat_ && evenMarkNum < kMaxEvenMarks &&
                (beat & kPeakEvenBeatFlag) != 0) {
                const size_t m = static_cast<size_t>(evenMarkNum);
                const float inward = -outward;
                evenMarkCoords[4 * m] = zeroX + inward * g.evenMarkInner;
                evenMarkCoords[4 * m + 1] = y + g.evenMarkOffset;
                evenMarkCoords[4 * m + 2] = zeroX + inward * g.evenMarkOuter;
                evenMarkCoords[4 * m + 3] = y + g.evenMarkOffset;
                ++evenMarkNum;
            }

            if (loopActive && entry >= loopFirst && entry <= loopLast) {
                setRowColor(r, kLoopColor);
            }

            if (x > 0.0) {
                const double minuteHere = std::ceil(x * kMinutesPerEntry);
                const double minuteNext = std::ceil((x + e) * kMinutesPerEntry);
                if (minuteHere != minuteNext) {
                    setMarkerLine(r, kWhite);
                    setMarkerLine(r - 1, kWhite);
                    if (!minuteLabelPlaced) {
                        placeMinuteLabel(r, minuteNext - 1.0);
                        minuteLabelPlaced = true;
                    }
                }
            }

            for (const long c : cues) {
                const long cueEntry = c / kPeakWindowFrames;
                if (cueEntry > i) {
                    break; // ascending
                }
                if (cueEntry == i || (previous >= 0 && cueEntry > previous)) {
                    setMarkerLine(r, kCueColor);
                    setMarkerLine(r - 1, kCueColor);
                    break;
                }
            }
            previous = i;
        }
    }

    fillLevelMeter(p);
    if (playing && !d.isScratching.load(relaxed)) {
        highlightPlayhead();
    }
    fillEqDisplay();
}

// The level meter: lit segments from the deck's held level and the master gain.
void waveControl::fillLevelMeter(double position) {
    ampValue = 0;
    const audioStream& d = *stream;
    if (!d.isPlaying.load(relaxed) || position < 0.0 ||
        position >= static_cast<double>(d.lengthFrames.load(relaxed))) {
        return;
    }
    const double level = static_cast<double>(d.meterLevelHold.load(relaxed)) * engine_.getGain();
    const double decibels = 6.0 * std::log(level);
    const long lit = std::lround(static_cast<double>(kMeterSegments) *
                                 mTable.valueAt(static_cast<float>(decibels)));
    ampValue = static_cast<int32_t>(std::clamp(lit, 0L, static_cast<long>(kMeterSegments)));
}

// Whitens the run of rows at the play position that share one colour, starting after the
// nearest colour change within eight rows above the play row.
void waveControl::highlightPlayhead() {
    const Rgba8 below = rowColor(kCenterRow + 1, 0);
    int change = -1;
    for (int r = kCenterRow; r > kCenterRow - kHighlightLookBack; --r) {
        if (!(rowColor(r, 0) == below)) {
            change = r;
            break;
        }
    }
    if (change < 0) {
        return;
    }
    const Rgba8 run = rowColor(change + 1, 0);
    for (int r = change + 1; r < kRows && rowColor(r, 0) == run; ++r) {
        setRowColor(r, kWhite);
    }
}

// The EQ ticks, high, mid and low: each sits across the span by the band's gain.
void waveControl::fillEqDisplay() {
    const float tick = geometry_.eqTickLength;
    double t[3] = {0.0, 0.0, 0.0};
    if (stream) {
        t[0] = eqTickCubic(stream->eqHighDb.load(relaxed));
        t[1] = eqTickCubic(stream->eqMidDb.load(relaxed));
        t[2] = eqTickLow(stream->eqLowDb.load(relaxed));
    }
    for (int k = 0; k < 3; ++k) {
        const float left =
            eqStart + static_cast<float>(std::round((eqWidth - tick) * (t[k] + 1.0) / 2.0));
        eqDisplayCoord[static_cast<size_t>(4 * k)] = left;
        eqDisplayCoord[static_cast<size_t>(4 * k + 2)] = left + tick;
    }
}

} // namespace vx

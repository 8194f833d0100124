#pragma once
// DeckStatusDisplay: the mixing screen's status part — each deck's read-outs (time, pitch,
// BPM or analysis progress) with their enlargement and dimming, the refresh pass that rewrites
// them, the overview strips' refresh, and the top bar (time mode, zoom, re-analyse, record,
// menu).
//
// The refresh pass runs on a main-run-loop timer (0.1 s, 1.0 s while the application is
// inactive) rather than a thread of its own: it only ever changes view state, which belongs to
// the main thread anyway.
//
// Threads: main thread only.

#include "deck/DeckPart.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace vx {

class DeckStatusDisplay : private DeckPart {
public:
    DeckStatusDisplay(SampleTestController& owner, DeckContext& context);
    ~DeckStatusDisplay();

    // The read-outs of each deck: [0] elapsed ("%02d:%02d") or remaining ("-%02d:%02d") time,
    // [2] pitch ("%+02.2f%%"), [3] BPM ("%3.1f", "???" unknown, or the analysis progress
    // "%3.1f%%"); [1] is never written. A label is rewritten only when its value changed.
    const LabelState& indicator(int deck, int index) const {
        return DIndicator_[size_t(deck & 1)][size_t(index & 3)].label;
    }
    // The refresh pass runs every 0.1 s while the screen is shown (every 1.0 s while the
    // application is inactive), redrawing everything at its first pass.
    void startIndicators();
    void stopIndicators();
    void setApplicationInactive(bool inactive) { inactive_ = inactive; }
    // One refresh pass: the read-outs, their enlargement and dimming, buttons and strips.
    void doCpu();
    void printDIndicator(int index, int deck);
    void played2Center(int deck);
    void played2Home(int deck);
    void speed2Center(int deck);
    void speed2Home(int deck);
    // The speed read-out above the pitch buttons enlarged (a pitch button repeats) or not.
    void enlargeSpeedReadout(int deck, bool on);
    void hideSpeed(int deck);
    void showSpeed(int deck);
    bool speedHidden(int deck) const { return speedHidden_[size_t(deck & 1)]; }
    // An analysis ended: the BPM read-outs are rewritten at the next pass and the re-analyse
    // button goes off.
    void analysisEnded();
    // Overview strips: redraws a strip whose peak data changed, and every strip's marks.
    void updateNavigators();
    int navigatorMarksRedraws() const { return navigatorMarksRedraws_; }
    // Top bar.
    void toggleAfterBefore(int deck);
    bool showLastTime(int deck) const { return showLastTime_[size_t(deck & 1)]; }
    void zoomButtonAction();
    const ButtonState& zoomButton() const { return zoomButton_; }
    void freezeButtomAction();
    void updatePeaks();
    const ButtonState& freezeButton() const { return freezeButton_; }
    // Records the mix to the next "VXNexa_%04i.wav" of the documents folder, or stops it.
    void recordAction();
    const ButtonState& recordButton() const { return recordButton_; }
    void setDocumentsFolder(const std::filesystem::path& folder) { documentsFolder_ = folder; }
    void menuAction();

private:
    struct Indicator {
        LabelState label;
        double oldValue = -10.0;
    };
    std::array<std::array<Indicator, 4>, 2> DIndicator_{};
    bool needIndicators_ = false;
    bool inactive_ = false;
    std::unique_ptr<TimerHandle> indicatorTimer_;
    std::array<bool, 2> showLastTime_{false, false};
    std::array<bool, 2> playedOnCenter_{false, false};
    std::array<bool, 2> speedOnCenter_{false, false};
    std::array<bool, 2> speedHidden_{false, false};
    ButtonState zoomButton_;
    ButtonState freezeButton_;
    ButtonState recordButton_;
    int navigatorMarksRedraws_ = 0;
    // Per deck: the peak record and its change count as last drawn on the overview strip.
    struct PeaksSeen {
        const void* record = nullptr;
        uint32_t changes = 0;
    };
    std::array<PeaksSeen, 2> peaksSeen_{};
    std::filesystem::path documentsFolder_;
};

} // namespace vx

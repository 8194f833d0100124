#pragma once
// SettingsController: the settings screen, a grouped table of switches, segmented controls and
// sliders. Each control's value lives in two places: the user-defaults store (so it survives a
// restart) and the process-wide flag the engine and the mixing screen read (SettingsFlags,
// owned by the application). A control's action writes both at once and tells the host which
// key changed, so that readers that keep a copy can take the new value at once.
//
// Plain state for the shell to draw (the rows, each control's on/selected/value) and handlers
// for it to call (viewWillAppear, the control actions, done, viewDidDisappear). Main thread
// only.

#include <array>
#include <string>
#include <vector>

namespace vx {

class UserDefaults;

// The process-wide settings flags, with the values of a fresh installation.
struct SettingsFlags {
    bool normalizeVolume = true;     // "kNormalizeVolume"
    bool stopProofLock = false;      // "kStopProofLock"
    bool randomSong = false;         // "kRandonSong"
    bool hideBundled = false;        // "kHideBundled"
    bool snapCueToBeat = true;       // "kSnapCueToBeat"
    bool dontMarkEvenBeat = false;   // "kDontMarkEvenBeat"
    double pitchStep = 0.001;        // "kPitchStep": speed change per pitch-button step
    int fadeCurve = 1;               // "kFadeCurve": crossfader curve index
    float dipCorrection = 1.0f;      // "kDipCorrection": crossfader centre correction
    double xFadeTime = 4.5;          // "kXFadeTime": automatic crossfade, seconds
    float songPartInAutoPlay = 0.5f; // "kSongPartInAutoPlay": share of a track party mode plays
    bool transferAccessCode = false; // "kTransferAccessCode": the Wi-Fi transfer asks a code
};

// What the settings screen asks of the application around it. Main thread.
class SettingsHost {
public:
    virtual ~SettingsHost() = default;
    // The value under `key` changed (flag and store already hold it).
    virtual void settingChanged(const std::string& key) = 0;
    // The screen was closed with its done button.
    virtual void settingsDidHide() = 0;
    // Tablet layout: the screen is shown in a popover.
    virtual bool isTablet() const = 0;
    // Tablet layout: close the settings popover.
    virtual void closeSettingsPopover() = 0;
};

class SettingsController {
public:
    enum class Control { Switch, Segmented, Slider, None };
    struct Row {
        const char* cell;    // the row's name
        const char* control; // its control's name (empty for the explanation row)
        const char* key;     // the user-defaults key (empty for the explanation row)
        Control kind;
    };
    struct Group {
        const char* title;
        std::vector<Row> rows;
    };

    // The pitch-step segments' values, segment 0 first.
    static constexpr std::array<double, 3> kPitchSteps = {0.001, 0.0005, 0.0002};

    // Main thread. `defaults`, `flags` and `host` must outlive the controller.
    SettingsController(UserDefaults& defaults, SettingsFlags& flags, SettingsHost& host);

    // The three groups and their rows, in screen order.
    static const std::vector<Group>& groups();
    // The pitch-step segment for `step`: the one whose value × 100000, truncated, equals
    // `step` × 100000 truncated; −1 for none.
    static int pitchStepSegmentFor(double step);

    // --- handlers (main thread) --------------------------------------------------------------
    // Sets every control from the flags ("kHideBundled" from the store).
    void viewWillAppear();
    void volNormChanged(bool on);
    void stopProofLockChanged(bool on);
    void randomTrackChanged(bool on);
    void hideBundledChanged(bool on); // also writes the store to disk at once
    void snapCueToBeatChanged(bool on);
    void markEvenBeatChanged(bool on);  // on = mark even beats = "kDontMarkEvenBeat" NO
    void pitchStepChanged(int segment); // 0…2; others are ignored
    void curveChanged(int segment);     // ≥ 0
    void dipCorrectionChanged(float value);
    void xFadeTimeChanged(double value);
    void songPartInAutoPlayChanged(float value);
    // The Wi-Fi transfer's access code: read by the next start of the server.
    void transferAccessCodeChanged(bool on);
    // The done button: the screen goes, the store is written, the host is told.
    void done();
    // The screen went away: the store is written; tablet: the popover closes.
    void viewDidDisappear();

    // --- state for the shell (main thread) ---------------------------------------------------
    bool shown() const { return shown_; }
    bool volNormSwitch() const { return volNorm_; }
    bool stopProofLockSwitch() const { return stopProofLock_; }
    bool randomTrackSwitch() const { return randomTrack_; }
    bool hideBundledSwitch() const { return hideBundled_; }
    bool snapCueToBeatSwitch() const { return snapCueToBeat_; }
    bool markEvenBeatSwitch() const { return markEvenBeat_; }
    int pitchStepSegmented() const { return pitchStepSegment_; } // −1: none selected
    int curveSegmented() const { return curveSegment_; }
    float dipCorrectionSlider() const { return dipCorrection_; }
    double xFadeTimeSlider() const { return xFadeTime_; }
    float songPartInAutoPlaySlider() const { return songPart_; }
    bool transferAccessCodeSwitch() const { return transferAccessCode_; }

private:
    UserDefaults& defaults_;
    SettingsFlags& flags_;
    SettingsHost& host_;

    bool shown_ = false;
    bool volNorm_ = false;
    bool stopProofLock_ = false;
    bool randomTrack_ = false;
    bool hideBundled_ = false;
    bool snapCueToBeat_ = false;
    bool markEvenBeat_ = false;
    int pitchStepSegment_ = -1;
    int curveSegment_ = 0;
    float dipCorrection_ = 0;
    double xFadeTime_ = 0;
    float songPart_ = 0;
    bool transferAccessCode_ = false;
};

} // namespace vx

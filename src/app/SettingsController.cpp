#include "app/SettingsController.h"

#include "library/TrackLocation.h"
#include "platform/UserDefaults.h"

#include <cmath>

namespace vx {

namespace {

constexpr const char* kNormalizeVolume = "kNormalizeVolume";
constexpr const char* kStopProofLock = "kStopProofLock";
constexpr const char* kRandonSong = "kRandonSong";
constexpr const char* kSnapCueToBeat = "kSnapCueToBeat";
constexpr const char* kDontMarkEvenBeat = "kDontMarkEvenBeat";
constexpr const char* kPitchStep = "kPitchStep";
constexpr const char* kFadeCurve = "kFadeCurve";
constexpr const char* kDipCorrection = "kDipCorrection";
constexpr const char* kXFadeTime = "kXFadeTime";
constexpr const char* kSongPartInAutoPlay = "kSongPartInAutoPlay";
constexpr const char* kTransferAccessCode = "kTransferAccessCode";

long long truncatedSteps(double step) {
    return static_cast<long long>(std::trunc(step * 100000.0));
}

} // namespace

SettingsController::SettingsController(UserDefaults& defaults, SettingsFlags& flags,
                                       SettingsHost& host)
    : defaults_(defaults), flags_(flags), host_(host) {}

const std::vector<SettingsController::Group>& SettingsController::groups() {
    using C = Control;
    static const std::vector<Group> table = {
        {"Tracks",
         {
             {"VolNormCell", "VolNormSwitch", kNormalizeVolume, C::Switch},
             {"stopProofLockCell", "stopProofLockSwitch", kStopProofLock, C::Switch},
             {"RandomTrackCell", "randomTrackSwitch", kRandonSong, C::Switch},
             {"hideBundledCell", "hideBundledSwitch", kHideBundled, C::Switch},
             {"snapCueToBeatCell", "snapCueToBeatSwitch", kSnapCueToBeat, C::Switch},
             {"markEvenBeatCell", "markEvenBeatSwitch", kDontMarkEvenBeat, C::Switch},
         }},
        {"Pitch and Cross-fader",
         {
             {"pitchStepCell", "pitchStepSegmented", kPitchStep, C::Segmented},
             {"CurveCell", "CurveSegmented", kFadeCurve, C::Segmented},
             {"CurveHelpCell", "", "", C::None},
             {"dipCorrectionCell", "dipCorrectionSlider", kDipCorrection, C::Slider},
             {"XFadeTimeCell", "XFadeTimeSlider", kXFadeTime, C::Slider},
         }},
        {"Party mode",
         {
             {"SongPartInAutoPlayCell", "songSongPartInAutoPlaySlider", kSongPartInAutoPlay,
              C::Slider},
         }},
        {"Wi-Fi transfer",
         {
             {"transferAccessCodeCell", "transferAccessCodeSwitch", kTransferAccessCode, C::Switch},
         }},
    };
    return table;
}

int SettingsController::pitchStepSegmentFor(double step) {
    for (size_t i = 0; i < kPitchSteps.size(); ++i) {
        if (truncatedSteps(kPitchSteps[i]) == truncatedSteps(step)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void SettingsController::viewWillAppear() {
    shown_ = true;
    curveSegment_ = flags_.fadeCurve;
    dipCorrection_ = flags_.dipCorrection;
    xFadeTime_ = flags_.xFadeTime;
    songPart_ = flags_.songPartInAutoPlay;
    volNorm_ = flags_.normalizeVolume;
    stopProofLock_ = flags_.stopProofLock;
    randomTrack_ = flags_.randomSong;
    hideBundled_ = defaults_.boolForKey(kHideBundled, flags_.hideBundled);
    snapCueToBeat_ = flags_.snapCueToBeat;
    markEvenBeat_ = !flags_.dontMarkEvenBeat;
    pitchStepSegment_ = pitchStepSegmentFor(flags_.pitchStep);
    // The server reads the store when it starts, so the store is what the switch shows.
    transferAccessCode_ = defaults_.boolForKey(kTransferAccessCode, flags_.transferAccessCode);
}

void SettingsController::volNormChanged(bool on) {
    volNorm_ = on;
    flags_.normalizeVolume = on;
    // Written at once, not only when the application goes to the background: the decoder
    // reads the key when it opens the next track.
    defaults_.setBool(kNormalizeVolume, on);
    host_.settingChanged(kNormalizeVolume);
}

void SettingsController::stopProofLockChanged(bool on) {
    stopProofLock_ = on;
    flags_.stopProofLock = on;
    defaults_.setBool(kStopProofLock, on);
    host_.settingChanged(kStopProofLock);
}

void SettingsController::randomTrackChanged(bool on) {
    randomTrack_ = on;
    flags_.randomSong = on;
    defaults_.setBool(kRandonSong, on);
    host_.settingChanged(kRandonSong);
}

void SettingsController::hideBundledChanged(bool on) {
    hideBundled_ = on;
    flags_.hideBundled = on;
    defaults_.setBool(kHideBundled, on);
    defaults_.synchronize();
    host_.settingChanged(kHideBundled);
}

void SettingsController::snapCueToBeatChanged(bool on) {
    snapCueToBeat_ = on;
    flags_.snapCueToBeat = on;
    defaults_.setBool(kSnapCueToBeat, on);
    host_.settingChanged(kSnapCueToBeat);
}

void SettingsController::markEvenBeatChanged(bool on) {
    markEvenBeat_ = on;
    flags_.dontMarkEvenBeat = !on;
    defaults_.setBool(kDontMarkEvenBeat, !on);
    host_.settingChanged(kDontMarkEvenBeat);
}

void SettingsController::pitchStepChanged(int segment) {
    if (segment < 0 || segment >= static_cast<int>(kPitchSteps.size())) {
        return;
    }
    pitchStepSegment_ = segment;
    flags_.pitchStep = kPitchSteps[static_cast<size_t>(segment)];
    defaults_.setDouble(kPitchStep, flags_.pitchStep);
    host_.settingChanged(kPitchStep);
}

void SettingsController::curveChanged(int segment) {
    if (segment < 0) {
        return;
    }
    curveSegment_ = segment;
    flags_.fadeCurve = segment;
    defaults_.setInteger(kFadeCurve, segment);
    host_.settingChanged(kFadeCurve);
}

void SettingsController::dipCorrectionChanged(float value) {
    dipCorrection_ = value;
    flags_.dipCorrection = value;
    defaults_.setFloat(kDipCorrection, value);
    host_.settingChanged(kDipCorrection);
}

void SettingsController::xFadeTimeChanged(double value) {
    xFadeTime_ = value;
    flags_.xFadeTime = value;
    defaults_.setDouble(kXFadeTime, value);
    host_.settingChanged(kXFadeTime);
}

void SettingsController::songPartInAutoPlayChanged(float value) {
    songPart_ = value;
    flags_.songPartInAutoPlay = value;
    defaults_.setFloat(kSongPartInAutoPlay, value);
    host_.settingChanged(kSongPartInAutoPlay);
}

void SettingsController::transferAccessCodeChanged(bool on) {
    transferAccessCode_ = on;
    flags_.transferAccessCode = on;
    defaults_.setBool(kTransferAccessCode, on);
    host_.settingChanged(kTransferAccessCode);
}

void SettingsController::done() {
    shown_ = false;
    defaults_.synchronize();
    host_.settingsDidHide();
}

void SettingsController::viewDidDisappear() {
    shown_ = false;
    defaults_.synchronize();
    if (host_.isTablet()) {
        host_.closeSettingsPopover();
    }
}

} // namespace vx

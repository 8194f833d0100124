#include "app/SettingsController.h"

#include "platform/UserDefaults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vx {
namespace {

class RecordingSettingsHost : public SettingsHost {
public:
    void settingChanged(const std::string& key) override { changed.push_back(key); }
    void settingsDidHide() override { ++didHide; }
    bool isTablet() const override { return tablet; }
    void closeSettingsPopover() override { ++popoverClosed; }

    std::vector<std::string> changed;
    int didHide = 0;
    bool tablet = false;
    int popoverClosed = 0;
};

class SettingsControllerTest : public ::testing::Test {
protected:
    test::TempDir dir_;
    std::filesystem::path file_ = dir_.file("settings.json");
    UserDefaults defaults_{file_};
    SettingsFlags flags_;
    RecordingSettingsHost host_;
    SettingsController screen_{defaults_, flags_, host_};
};

TEST_F(SettingsControllerTest, FourGroupsOfThirteenRowsWithTheirKeys) {
    const auto& groups = SettingsController::groups();
    ASSERT_EQ(groups.size(), 4u);
    EXPECT_STREQ(groups[0].title, "Tracks");
    EXPECT_STREQ(groups[1].title, "Pitch and Cross-fader");
    EXPECT_STREQ(groups[2].title, "Party mode");
    EXPECT_EQ(groups[0].rows.size(), 6u);
    EXPECT_EQ(groups[1].rows.size(), 5u);
    EXPECT_EQ(groups[2].rows.size(), 1u);
    EXPECT_STREQ(groups[3].title, "Wi-Fi transfer");
    ASSERT_EQ(groups[3].rows.size(), 1u);
    EXPECT_STREQ(groups[3].rows[0].key, "kTransferAccessCode");
}

// Each switch, flipped both ways: the flag, the stored key and the switch agree, and the host
// hears of the key. The even-beat switch stores the opposite of what it shows.
TEST_F(SettingsControllerTest, EverySwitchWritesItsFlagAndKey) {
    struct SwitchCase {
        const char* key;
        std::function<void(bool)> flip;
        std::function<bool()> flag;
        std::function<bool()> shown;
        bool inverted;
    };
    const std::vector<SwitchCase> cases = {
        {"kNormalizeVolume", [&](bool on) { screen_.volNormChanged(on); },
         [&] { return flags_.normalizeVolume; }, [&] { return screen_.volNormSwitch(); }, false},
        {"kStopProofLock", [&](bool on) { screen_.stopProofLockChanged(on); },
         [&] { return flags_.stopProofLock; }, [&] { return screen_.stopProofLockSwitch(); },
         false},
        {"kRandonSong", [&](bool on) { screen_.randomTrackChanged(on); },
         [&] { return flags_.randomSong; }, [&] { return screen_.randomTrackSwitch(); }, false},
        {"kHideBundled", [&](bool on) { screen_.hideBundledChanged(on); },
         [&] { return flags_.hideBundled; }, [&] { return screen_.hideBundledSwitch(); }, false},
        {"kSnapCueToBeat", [&](bool on) { screen_.snapCueToBeatChanged(on); },
         [&] { return flags_.snapCueToBeat; }, [&] { return screen_.snapCueToBeatSwitch(); },
         false},
        {"kDontMarkEvenBeat", [&](bool on) { screen_.markEvenBeatChanged(on); },
         [&] { return !flags_.dontMarkEvenBeat; }, [&] { return screen_.markEvenBeatSwitch(); },
         true},
        {"kTransferAccessCode", [&](bool on) { screen_.transferAccessCodeChanged(on); },
         [&] { return flags_.transferAccessCode; },
         [&] { return screen_.transferAccessCodeSwitch(); }, false},
    };
    screen_.viewWillAppear();
    EXPECT_FALSE(screen_.transferAccessCodeSwitch()); // off at first start
    for (const auto& c : cases) {
        for (const bool on : {true, false, true}) {
            SCOPED_TRACE(std::string(c.key) + (on ? " on" : " off"));
            host_.changed.clear();
            c.flip(on);
            EXPECT_EQ(c.shown(), on);
            EXPECT_EQ(c.flag(), on);
            ASSERT_TRUE(defaults_.hasKey(c.key));
            EXPECT_EQ(defaults_.boolForKey(c.key), c.inverted ? !on : on);
            EXPECT_EQ(host_.changed, std::vector<std::string>{c.key});
        }
    }
    // "kHideBundled" is on disk at once.
    screen_.hideBundledChanged(false);
    EXPECT_FALSE(UserDefaults(file_).boolForKey("kHideBundled", true));
}

TEST_F(SettingsControllerTest, SegmentsAndSlidersWriteTheirKeys) {
    screen_.viewWillAppear();
    screen_.curveChanged(2);
    screen_.dipCorrectionChanged(0.75f);
    screen_.xFadeTimeChanged(7.25);
    screen_.songPartInAutoPlayChanged(0.3f);
    EXPECT_EQ(defaults_.integerForKey("kFadeCurve"), 2);
    EXPECT_EQ(flags_.fadeCurve, 2);
    EXPECT_EQ(defaults_.floatForKey("kDipCorrection"), 0.75f);
    EXPECT_EQ(flags_.dipCorrection, 0.75f);
    EXPECT_EQ(defaults_.doubleForKey("kXFadeTime"), 7.25);
    EXPECT_EQ(flags_.xFadeTime, 7.25);
    EXPECT_EQ(defaults_.floatForKey("kSongPartInAutoPlay"), 0.3f);
    EXPECT_EQ(flags_.songPartInAutoPlay, 0.3f);
}

TEST_F(SettingsControllerTest, AFreshInstallationShowsItsDefaults) {
    screen_.viewWillAppear();
    EXPECT_TRUE(screen_.shown());
    EXPECT_TRUE(screen_.markEvenBeatSwitch()) << "\"kDontMarkEvenBeat\" NO shows on";
    EXPECT_TRUE(screen_.volNormSwitch());
    EXPECT_TRUE(screen_.snapCueToBeatSwitch());
    EXPECT_EQ(screen_.pitchStepSegmented(), 0);
    EXPECT_EQ(screen_.curveSegmented(), 1);
    EXPECT_EQ(screen_.xFadeTimeSlider(), 4.5);
}

TEST_F(SettingsControllerTest, DoneAndDisappearingWriteTheStore) {
    screen_.viewWillAppear();
    screen_.stopProofLockChanged(true);
    screen_.done();
    EXPECT_FALSE(screen_.shown());
    EXPECT_EQ(host_.didHide, 1);
    EXPECT_TRUE(UserDefaults(file_).boolForKey("kStopProofLock"));

    screen_.viewWillAppear();
    screen_.randomTrackChanged(true);
    screen_.viewDidDisappear();
    EXPECT_TRUE(UserDefaults(file_).boolForKey("kRandonSong"));
    EXPECT_EQ(host_.didHide, 1);
    EXPECT_EQ(host_.popoverClosed, 0) << "a phone has no popover";
    host_.tablet = true;
    screen_.viewDidDisappear();
    EXPECT_EQ(host_.popoverClosed, 1);
}

// Each pitch-step segment stores its step; after a restart (the flags read from the store, as
// the application reads them at launch) the stored step selects the segment again.
TEST_F(SettingsControllerTest, PitchStepSegmentsStoreTheirStepAndAreSelectedAfterARestart) {
    for (const auto& [segment, step] :
         {std::pair{2, 0.0002}, std::pair{1, 0.0005}, std::pair{0, 0.001}}) {
        SCOPED_TRACE(segment);
        screen_.viewWillAppear();
        screen_.pitchStepChanged(segment);
        EXPECT_EQ(defaults_.doubleForKey("kPitchStep"), step);
        EXPECT_EQ(flags_.pitchStep, step);
        screen_.done();

        UserDefaults restarted(file_);
        SettingsFlags flags;
        flags.pitchStep = restarted.doubleForKey("kPitchStep", 0.001);
        SettingsController again(restarted, flags, host_);
        again.viewWillAppear();
        EXPECT_EQ(again.pitchStepSegmented(), segment);
    }
    screen_.pitchStepChanged(3); // no such segment: nothing changes
    EXPECT_EQ(screen_.pitchStepSegmented(), 0);
    EXPECT_EQ(defaults_.doubleForKey("kPitchStep"), 0.001);
    // A step no segment has selects none; one that only differs past the fifth decimal selects
    // the segment it truncates to.
    EXPECT_EQ(SettingsController::pitchStepSegmentFor(0.003), -1);
    EXPECT_EQ(SettingsController::pitchStepSegmentFor(0.0002000001), 2);
    EXPECT_EQ(SettingsController::pitchStepSegmentFor(0.00049), -1);
}

} // namespace
} // namespace vx

// A setting changed on the settings screen holds at once for the screens that keep a copy of
// it: the next pitch step of the mixing screen uses the step just chosen.

#include "AppFixture.h"

#include "app/SettingsController.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

TEST(SettingsEffect, APitchStepChosenInTheSettingsIsTheNextStep) {
    test::AppHome home;
    test::AppRun run(home);
    SettingsFlags flags;
    SettingsController settings(run.app().defaults(), flags, run.app());
    settings.viewWillAppear();
    SampleTestController& screen = *run.app().mixingScreen();
    for (const auto& [segment, step] : {std::pair{1, 0.0005}, std::pair{2, 0.0002}}) {
        settings.pitchStepChanged(segment);
        const double before = run.deck(0).baseSpeed.load();
        screen.plusButton(0);
        screen.plusButtonUp(0);
        EXPECT_NEAR(run.deck(0).baseSpeed.load() - before, step, 1e-9) << segment;
        EXPECT_DOUBLE_EQ(run.app().pitchStep(), step);
    }
}

// Each switch, flipped on the settings screen the delegate hosts, reaches the reader that
// keeps a copy of it before anything else happens: the delegate's flags, the open browser's
// list and random button, the key the decoder reads when it opens the next track.
TEST(SettingsEffect, EverySwitchReachesItsReaderAtOnce) {
    test::AppHome home;
    test::AppRun run(home);
    DuovexAppDelegate& app = run.app();
    app.applicationWillResignActive();
    home.addTrack("mine"); // added while away: listed beside the built-in ones on return
    app.applicationDidBecomeActive();
    LoadFile& browser = run.open(0);
    const size_t everything = browser.infoList().size();
    ASSERT_GT(everything, 1u);
    app.showSettings();
    SettingsController& settings = *app.settings();

    settings.volNormChanged(false);
    EXPECT_FALSE(app.normalizeVolume());
    EXPECT_FALSE(app.defaults().boolForKey("kNormalizeVolume", true));
    settings.stopProofLockChanged(true);
    EXPECT_TRUE(app.stopProofLock());
    settings.markEvenBeatChanged(false);
    EXPECT_TRUE(app.dontMarkEvenBeat());
    settings.randomTrackChanged(true);
    EXPECT_TRUE(browser.randomSongEnabled());
    settings.hideBundledChanged(true);
    EXPECT_EQ(browser.infoList().size(), 1u); // only the user's track is left
    settings.hideBundledChanged(false);
    EXPECT_EQ(browser.infoList().size(), everything);
    settings.snapCueToBeatChanged(false);
    EXPECT_FALSE(app.snapCueToBeat());
}

} // namespace
} // namespace vx

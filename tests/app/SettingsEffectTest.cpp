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

} // namespace
} // namespace vx

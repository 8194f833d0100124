// The sample library and the recordings list as the application makes them.

#include "app/AppFixture.h"
#include "dsp/SamplePlayerFixed.h"
#include "support/FakePreviewPlayer.h"

namespace vx {
namespace {

using namespace vx::test;

TEST(SampleScreens, APadAssignmentSurvivesARestart) {
    AppHome home;
    const fs::path kick = home.documents("kick.wav");
    fs::copy_file(home.paths().samples() / "fx_1.wav", kick);
    FakePreviewPlayer preview;
    const auto withPreview = [&](DuovexAppDelegate& app) { app.setPreviewPlayer(&preview); };
    {
        AppRun run(home, "1.0", false, withPreview);
        SampleEdit* edit = run.app().showSampleEdit();
        ASSERT_NE(edit, nullptr);
        edit->showOverlay(edit->rowOf("kick.wav"));
        edit->setSample2Button(SampleEdit::kFirstPadTag + 2);
        edit->done();
        EXPECT_EQ(run.app().sampleEdit(), nullptr);
        ASSERT_NE(run.app().showRecordEdit(), nullptr);
        run.app().recordEditDidHide();
    }
    AppRun again(home, "1.0", false, withPreview);
    EXPECT_EQ(again.engine().pad(2).path, kick.string());
    EXPECT_EQ(again.app().showSampleEdit()->rows().at(0).padLabel, "3");
}

} // namespace
} // namespace vx

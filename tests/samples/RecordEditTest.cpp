// The recordings list: listing, playback with the position slider, conversion off the main
// thread, and the refusals while the mix is being recorded.

#include "samples/RecordEdit.h"

#include "samples/SamplesFixture.h"

#include <cmath>

namespace vx {
namespace {

using namespace vx::test;

struct Recordings : SamplesFixture {
    RecordEdit& screen() {
        if (!edit) {
            edit = std::make_unique<RecordEdit>(engine.out, notifications, pasteboard, preview,
                                                alerts, loop, conversion, docs);
            edit->viewWillAppear();
        }
        return *edit;
    }
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (const auto& row : screen().rows()) {
            out.push_back(row.fileName + "|" + row.extension + "|" + row.sizeText + "|" +
                          row.durationText);
        }
        return out;
    }
    // Starts recording the mix into the documents folder.
    void recordMix(const std::string& name) {
        ASSERT_TRUE(engine.out.PrepareRecordFor(docs / name));
        ASSERT_TRUE(engine.out.startRecord());
    }
    ConversionState conversion;
    std::unique_ptr<RecordEdit> edit;
};

TEST_F(Recordings, ListsOnlyRecordingsWithSizeAndDuration) {
    writeTone("VXNexa_0001.wav", 61.0);
    writeBytes(docs / "VXNexa_0002.m4a", std::string(2048, 'x'));
    writeTone("mix.wav");
    fs::create_directories(docs / "old");
    writeBytes(docs / "old" / "VXNexa_0009.wav", "x");
    EXPECT_EQ(names(), (std::vector<std::string>{"VXNexa_0001.wav|wav| 10 Mb|01:01",
                                                 "VXNexa_0002.m4a|m4a|  2 kb|00:00"}));
    screen().selectRow(0);
    EXPECT_EQ(screen().recordName(), "VXNexa_0001");
    EXPECT_EQ(screen().positionBefore(), "00:00");
    EXPECT_EQ(screen().positionAfter(), "01:01");
    // Renamed without the prefix it leaves this list.
    EXPECT_EQ(screen().rename("VXNexa_0001.wav", "party"), RenameResult::Renamed);
    EXPECT_EQ(names(), std::vector<std::string>{"VXNexa_0002.m4a|m4a|  2 kb|00:00"});
    EXPECT_TRUE(fs::exists(docs / "party.wav"));
}

TEST_F(Recordings, TheSliderFollowsThePlayerEveryFiftiethOfASecond) {
    writeTone("VXNexa_0001.wav");
    writeTone("VXNexa_0002.wav");
    screen().playRow(0);
    preview.advance(2.5);
    loop.runFor(RecordEdit::kSliderInterval);
    EXPECT_DOUBLE_EQ(screen().slider(), 0.25);
    EXPECT_EQ(screen().positionBefore(), "00:02");
    EXPECT_EQ(screen().positionAfter(), "00:07");

    // Dragging pauses, seeks and resumes.
    screen().sliderTouch();
    EXPECT_FALSE(preview.playing());
    screen().sliderPosition(0.5);
    EXPECT_DOUBLE_EQ(preview.currentTime(), 5.0);
    EXPECT_EQ(screen().positionBefore(), "00:05");
    screen().sliderUp();
    EXPECT_TRUE(preview.playing());

    // Another row's playback takes the slider over from the start.
    screen().playRow(1);
    EXPECT_EQ(screen().playingRow(), 1);
    EXPECT_DOUBLE_EQ(screen().slider(), 0.0);
    EXPECT_EQ(preview.played,
              (std::vector<std::string>{"VXNexa_0001.wav", "VXNexa_0001.wav", "VXNexa_0002.wav"}));
}

TEST_F(Recordings, AFileWithoutLengthKeepsTheSliderAtItsStart) {
    FakePreviewPlayer empty(0.0);
    writeBytes(docs / "VXNexa_0001.wav", "");
    RecordEdit edit(engine.out, notifications, pasteboard, empty, alerts, loop, conversion, docs);
    edit.viewWillAppear();
    edit.playRow(0);
    loop.runFor(RecordEdit::kSliderInterval);
    edit.sliderPosition(0.7);
    EXPECT_EQ(edit.slider(), 0.0);
    EXPECT_EQ(edit.positionBefore(), "00:00");
    EXPECT_EQ(edit.positionAfter(), "00:00");
}

TEST_F(Recordings, ConvertsOffTheMainThreadAndAFailureKeepsTheEarlierCopy) {
    writeTone("VXNexa_0003.wav", 3.0);
    screen().selectRow(screen().rowOf("VXNexa_0003.wav"));
    bool result = false;
    screen().setConvertedHandler([&](bool ok) { result = ok; });
    ASSERT_TRUE(screen().convertFile());
    EXPECT_TRUE(screen().converting());
    EXPECT_FALSE(engine.device.isRunning());
    ASSERT_TRUE(loop.runUntil([&] { return !screen().converting(); }, 60.0));
    EXPECT_TRUE(result);
    EXPECT_TRUE(engine.device.isRunning());
    ASSERT_EQ(screen().rows().size(), 2u);
    EXPECT_EQ(screen().rows()[0].fileName, "VXNexa_0003.m4a");
    EXPECT_EQ(screen().rows()[0].durationText, "00:03");
    EXPECT_EQ(screen().rows()[1].fileName, "VXNexa_0003.wav");

    // The recording gets damaged; converting it again fails and the good M4A stays.
    const std::string good = readBytes(docs / "VXNexa_0003.m4a");
    writeBytes(docs / "VXNexa_0003.wav", "damaged");
    screen().selectRow(screen().rowOf("VXNexa_0003.wav"));
    ASSERT_TRUE(screen().convertFile());
    ASSERT_TRUE(loop.runUntil([&] { return !screen().converting(); }, 60.0));
    EXPECT_FALSE(result);
    EXPECT_TRUE(readBytes(docs / "VXNexa_0003.m4a") == good);
}

TEST_F(Recordings, TheMixBeingRecordedIsLeftAlone) {
    writeTone("VXNexa_0001.wav");
    writeBytes(docs / "VXNexa_0001.m4a", "aac");
    recordMix("VXNexa_0002.wav");
    const int live = screen().rowOf("VXNexa_0002.wav");
    ASSERT_GE(live, 0);
    EXPECT_FALSE(screen().deleteRow(live));
    EXPECT_EQ(screen().rename("VXNexa_0002.wav", "x"), RenameResult::Failed);
    // No conversion at all while recording: it would stop the output under the recording.
    screen().selectRow(screen().rowOf("VXNexa_0001.wav"));
    EXPECT_FALSE(screen().convertFile());
    EXPECT_TRUE(engine.device.isRunning());
    EXPECT_TRUE(engine.out.isRecording());
    EXPECT_TRUE(fs::exists(docs / "VXNexa_0002.wav"));
    EXPECT_EQ(alerts.shown.size(), 3u);

    // Other recordings can still go, and a deletion is announced.
    EXPECT_TRUE(screen().deleteRow(screen().rowOf("VXNexa_0001.wav")));
    EXPECT_EQ(deliveries("playBackFileChanged"), 1);
    engine.out.abortRecord();
}

TEST_F(Recordings, SharesOnlyM4aFiles) {
    writeTone("VXNexa_0001.wav");
    writeBytes(docs / "VXNexa_0001.m4a", "aac");
    screen().selectRow(screen().rowOf("VXNexa_0001.wav"));
    EXPECT_FALSE(screen().share());
    EXPECT_EQ(pasteboard.changeCount(), 0u);
    screen().selectRow(screen().rowOf("VXNexa_0001.m4a"));
    EXPECT_TRUE(screen().share());
    ASSERT_EQ(pasteboard.items().size(), 2u);
    EXPECT_EQ(pasteboard.items()[0][0].data, (Pasteboard::Data{'a', 'a', 'c'}));
}

TEST_F(Recordings, ATenMinuteMixConvertsWhileTheMainLoopKeepsRunning) {
    // Ten minutes, one second at each pitch from 220 Hz up.
    ASSERT_TRUE(writeTrack(
        docs / "VXNexa_0010.wav", 600 * 44100,
        [](int64_t frame, int) {
            const double hz = 220.0 + double(frame / 44100);
            return 0.4f * float(std::sin(2 * M_PI * hz * double(frame % 44100) / 44100));
        },
        44100, AudioFileWriter::Format::WavInt16));
    SystemClock realTime;
    RunLoop mainLoop(realTime);
    RecordEdit edit(engine.out, notifications, pasteboard, preview, alerts, mainLoop, conversion,
                    docs);
    edit.viewWillAppear();
    edit.selectRow(edit.rowOf("VXNexa_0010.wav"));
    ASSERT_TRUE(edit.convertFile());
    // The interface's timers go on while the file converts.
    int ticksWhileConverting = 0;
    TimerHandle tick = mainLoop.every(RecordEdit::kSliderInterval,
                                      [&] { ticksWhileConverting += edit.converting() ? 1 : 0; });
    ASSERT_TRUE(mainLoop.runUntil([&] { return !edit.converting(); }, 600.0));
    tick.invalidate();
    EXPECT_GT(ticksWhileConverting, 1);
    ASSERT_GE(edit.rowOf("VXNexa_0010.m4a"), 0);
    EXPECT_EQ(edit.rows()[size_t(edit.rowOf("VXNexa_0010.m4a"))].durationText, "10:00");
}

} // namespace
} // namespace vx

// The sample library: listing, pad assignment, delete, rename, pasteboard exchange and the
// microphone, on a private documents folder with the engine on the offline device.

#include "samples/SampleEdit.h"

#include "dsp/SamplePlayerFixed.h"
#include "engine/sampleLoad.h"
#include "platform/AudioInput.h"
#include "samples/MicRecorder.h"
#include "samples/SamplesFixture.h"

#include <cstring>

namespace vx {
namespace {

using namespace vx::test;

struct SampleLibrary : SamplesFixture {
    SampleEdit& screen() {
        if (!edit) {
            edit = std::make_unique<SampleEdit>(engine.out, defaults, notifications, pasteboard,
                                                preview, alerts, docs);
            edit->setNow([] { return std::time_t(1735560000); });
            edit->viewWillAppear();
        }
        return *edit;
    }
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (const auto& row : screen().rows()) {
            out.push_back(row.fileName + "=" + row.padLabel);
        }
        return out;
    }
    void assign(const std::string& file, int tag) {
        screen().showOverlay(screen().rowOf(file));
        screen().setSample2Button(tag);
    }
    std::unique_ptr<SampleEdit> edit;
};

TEST_F(SampleLibrary, ListsPlainWavFilesWithTheirPadButNotRecordings) {
    writeTone("kick.wav", 2.0);
    writeBytes(docs / "SNARE.WAV", "not audio");
    writeBytes(docs / "VXNexa_0001.wav", "mix");
    writeBytes(docs / "song.mp3", "mp3");
    fs::create_directories(docs / "sub");
    writeBytes(docs / "sub" / "deep.wav", "x");
    defaults.setString(lastSampleKey(3), (docs / "kick.wav").string());
    EXPECT_EQ(names(), (std::vector<std::string>{"SNARE.WAV=X", "kick.wav=4"}));
    EXPECT_EQ(screen().rows()[1].assigned, 3);
    // Duration of the tone, size in kb; an unreadable file shows 00:00.
    EXPECT_EQ(screen().rows()[1].info.substr(0, 16), "00:02, 344.6 kb,");
    EXPECT_EQ(screen().rows()[0].info.substr(0, 13), "00:00, 0.0 kb");
}

TEST_F(SampleLibrary, AFilePlaysOnOnePadAndTheChoiceSurvivesARestart) {
    const fs::path kick = writeTone("kick.wav");
    assign("kick.wav", 101);
    assign("kick.wav", 104);
    EXPECT_EQ(engine.out.pad(4).path, kick.string());
    EXPECT_EQ(engine.out.pad(1).path, "");
    EXPECT_EQ(defaults.stringForKey(lastSampleKey(1), "unset"), "");
    EXPECT_EQ(names(), std::vector<std::string>{"kick.wav=5"});
    EXPECT_EQ(deliveries("sampleChanged"), 2);
    EXPECT_EQ(UserDefaults(defaults.file()).stringForKey(lastSampleKey(4)), kick.string());

    // Any other tag clears the file's pad.
    assign("kick.wav", 99);
    EXPECT_EQ(engine.out.pad(4).path, "");
    EXPECT_EQ(UserDefaults(defaults.file()).stringForKey(lastSampleKey(4), "unset"), "");
    EXPECT_EQ(names(), std::vector<std::string>{"kick.wav=X"});
}

TEST_F(SampleLibrary, DeletingAPadFileClearsThePad) {
    writeTone("kick.wav");
    writeTone("hat.wav");
    assign("kick.wav", 100);
    ASSERT_TRUE(screen().deleteRow(screen().rowOf("kick.wav")));
    EXPECT_FALSE(fs::exists(docs / "kick.wav"));
    EXPECT_EQ(engine.out.pad(0).path, "");
    EXPECT_EQ(defaults.stringForKey(lastSampleKey(0), "unset"), "");
    EXPECT_EQ(names(), std::vector<std::string>{"hat.wav=X"});
}

TEST_F(SampleLibrary, RenameKeepsTheExtensionStaysInTheFolderAndMovesThePad) {
    writeTone("kick.wav");
    writeBytes(docs / "hat.wav", "hat");
    assign("kick.wav", 102);
    const struct {
        std::string stem;
        RenameResult result;
        std::string alert;
    } cases[] = {
        {"hat", RenameResult::Exists, "Velvox Nexa: File:hat.wav exists!"},
        {"../kick", RenameResult::BadName, "Velvox Nexa: Can't use this name"},
        {"a/b", RenameResult::BadName, "Velvox Nexa: Can't use this name"},
        {"", RenameResult::BadName, "Velvox Nexa: Can't use this name"},
        {".hidden", RenameResult::BadName, "Velvox Nexa: Can't use this name"},
    };
    for (const auto& c : cases) {
        alerts.shown.clear();
        EXPECT_EQ(screen().rename("kick.wav", c.stem), c.result) << c.stem;
        EXPECT_EQ(alerts.shown, std::vector<std::string>{c.alert}) << c.stem;
        EXPECT_EQ(readBytes(docs / "hat.wav"), "hat");
        EXPECT_TRUE(fs::exists(docs / "kick.wav"));
    }
    EXPECT_FALSE(fs::exists(dir.path() / "kick.wav"));

    // Through the dialog: tag 300, filled with the name without its extension.
    struct Answering : Alerts {
        void showAlert(const std::string&, const std::string&, const std::string&) override {}
        void ask(AlertRequest request) override {
            asked = request;
            request.answer(1, request.tag, "Kick Deep");
        }
        AlertRequest asked;
    } answering;
    SampleEdit edit2(engine.out, defaults, notifications, pasteboard, preview, answering, docs);
    edit2.viewWillAppear();
    edit2.selectRow(edit2.rowOf("kick.wav"));
    edit2.renameAction();
    EXPECT_EQ(answering.asked.title, "New name for the file");
    EXPECT_EQ(answering.asked.tag, 300);
    EXPECT_EQ(answering.asked.text, "kick");
    EXPECT_TRUE(fs::exists(docs / "Kick Deep.wav"));
    EXPECT_EQ(engine.out.pad(2).path, (docs / "Kick Deep.wav").string());
    EXPECT_EQ(defaults.stringForKey(lastSampleKey(2)), (docs / "Kick Deep.wav").string());
}

TEST_F(SampleLibrary, CopiesInFiveMebibytePiecesAndPastesBackByteIdentical) {
    std::string big(12 * 1000 * 1000, '\0');
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = char(i * 2654435761u >> 13);
    }
    writeBytes(docs / "big.wav", big);
    screen().selectRow(screen().rowOf("big.wav"));
    ASSERT_TRUE(screen().copySelected());
    const auto& items = pasteboard.items();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0][0].data.size(), 5242880u);
    EXPECT_EQ(items[1][0].data.size(), 5242880u);
    EXPECT_EQ(items[2][0].data.size(), big.size() - 2 * 5242880u);
    EXPECT_EQ(items[3][0].type, kPasteboardTypeText);
    EXPECT_EQ(items[3][0].data, (Pasteboard::Data{'b', 'i', 'g', '.', 'w', 'a', 'v', 0}));

    EXPECT_FALSE(screen().pasteAction());
    EXPECT_EQ(alerts.shown.back(), "Velvox Nexa: File:big.wav exists!");
    fs::remove(docs / "big.wav");
    ASSERT_TRUE(screen().pasteAction());
    EXPECT_TRUE(readBytes(docs / "big.wav") == big);
    EXPECT_EQ(deliveries("playBackFileChanged"), 1);
}

TEST_F(SampleLibrary, APastedNameIsBoundedAndMustBeAPlainName) {
    const auto paste = [&](std::vector<uint8_t> name) {
        std::vector<Pasteboard::Item> items{{{kPasteboardTypeAudio, {'R', 'I', 'F', 'F'}}}};
        if (!name.empty()) {
            items.push_back({{kPasteboardTypeText, std::move(name)}});
        }
        pasteboard.setItems(std::move(items));
        alerts.shown.clear();
        return screen().pasteAction();
    };
    const auto bytes = [](const char* text, bool nul) {
        std::vector<uint8_t> out(text, text + std::strlen(text));
        if (nul) {
            out.push_back(0);
        }
        return out;
    };
    // No zero byte: the name ends with the data.
    EXPECT_TRUE(paste(bytes("open.wav", false)));
    EXPECT_EQ(readBytes(docs / "open.wav"), "RIFF");
    // Leaving the folder, hidden or database names are refused; nothing is written.
    for (const char* bad : {"../escape.wav", "/tmp/abs.wav", "..", "velvox.sqlite"}) {
        EXPECT_FALSE(paste(bytes(bad, true))) << bad;
        EXPECT_EQ(alerts.shown, std::vector<std::string>{"Velvox Nexa: Can't create file"});
    }
    EXPECT_FALSE(fs::exists(dir.path() / "escape.wav"));
    // No name: "Pasted_" with the calendar year and a 24-hour clock, in local time.
    EXPECT_TRUE(paste({}));
    std::tm local{};
    const std::time_t when = 1735560000;
    localtime_r(&when, &local);
    EXPECT_TRUE(fs::exists(docs / pastedFileName(local)));
    // Nothing of the audio type.
    pasteboard.setItems({{{kPasteboardTypeText, bytes("x.wav", true)}}});
    EXPECT_FALSE(screen().pasteAction());
    EXPECT_EQ(alerts.shown.back(), "Velvox Nexa: Can't get item set");
    // No partial or hidden files were left.
    for (const auto& entry : fs::directory_iterator(docs)) {
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    }
}

TEST(PastedFileName, CalendarYearAndTwentyFourHourClock) {
    // 2024-12-30 is in ISO week 1 of 2025; 01:00 and 13:00 must not give the same name.
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 11;
    t.tm_mday = 30;
    t.tm_hour = 13;
    t.tm_min = 5;
    t.tm_sec = 9;
    t.tm_wday = 1;
    t.tm_yday = 364;
    EXPECT_EQ(pastedFileName(t), "Pasted_2024-12-30_13-05-09.wav");
    t.tm_hour = 1;
    EXPECT_EQ(pastedFileName(t), "Pasted_2024-12-30_01-05-09.wav");
}

// 1.3 s of a stereo 48 kHz signal that uses the whole 16-bit range, both extremes included.
std::vector<int16_t> micSignal() {
    std::vector<int16_t> samples(size_t(48000 * 13 / 10) * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = int16_t(int32_t((i * 7919u) % 65536u) - 32768);
    }
    return samples;
}

TEST_F(SampleLibrary, MicrophoneTakesAreBitExactAndTakeTheNextFreeNumber) {
    const auto signal = micSignal();
    OfflineAudioInput input(48000, 2, signal);
    MicRecorder recorder(input, dir.path() / "tmp");
    writeBytes(docs / "mic_1.wav", "someone else's");
    defaults.setInteger("kRecordNo", 1);
    ASSERT_TRUE(screen().record(recorder));
    EXPECT_FALSE(engine.device.isRunning()); // the session belongs to the microphone
    input.waitUntilDelivered();
    EXPECT_NEAR(recorder.elapsed(), 1.3, 1e-9);
    EXPECT_EQ(screen().recDone(recorder), "mic_2.wav");
    EXPECT_TRUE(engine.device.isRunning());
    EXPECT_EQ(readBytes(docs / "mic_1.wav"), "someone else's");
    EXPECT_EQ(UserDefaults(defaults.file()).integerForKey("kRecordNo"), 3);

    const std::string file = readBytes(docs / "mic_2.wav");
    ASSERT_EQ(file.size(), 44 + signal.size() * 2);
    uint32_t rate = 0;
    uint16_t channels = 0, bits = 0;
    std::memcpy(&channels, file.data() + 22, 2);
    std::memcpy(&rate, file.data() + 24, 4);
    std::memcpy(&bits, file.data() + 34, 2);
    EXPECT_EQ(rate, 48000u);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(std::memcmp(file.data() + 44, signal.data(), signal.size() * 2), 0);
    EXPECT_GE(screen().rowOf("mic_2.wav"), 0);
}

TEST_F(SampleLibrary, WithoutAnInputDeviceRecordingIsRefusedAndPlaybackRestored) {
    OfflineAudioInput none(48000, 2, {}, false);
    MicRecorder recorder(none, dir.path() / "tmp");
    EXPECT_FALSE(screen().record(recorder));
    EXPECT_EQ(alerts.shown, std::vector<std::string>{"Record: Record is not possible"});
    EXPECT_TRUE(engine.device.isRunning());
    EXPECT_EQ(screen().recDone(recorder), "");
    EXPECT_EQ(defaults.integerForKey("kRecordNo"), 0);
    EXPECT_TRUE(screen().rows().empty());
}

} // namespace
} // namespace vx

#include "platform/AudioDevice.h"
#include "platform/Log.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

// A device whose set-up step `failAt` (1…6) fails with `status`; records what ran.
class FailingDevice final : public AudioDevice {
public:
    FailingDevice(int failAt, int status) : failAt_(failAt), status_(status) {}
    std::string name() const override { return "failing"; }
    std::string statusText(int status) const override { return "status " + std::to_string(status); }
    int initializeSession(InterruptionListener) override { return 0; }
    int setCategory(const std::string&) override { return 0; }
    int setActive(bool) override { return 0; }
    double hardwareSampleRate() const override { return 44100; }
    double hardwareBufferDuration() const override { return 1024 / 44100.0; }
    int createUnit() override { return step(1); }
    int enableInput() override { return step(2); }
    int setRenderCallback(RenderCallback, void*) override { return step(3); }
    int getClientFormat(StreamFormat& f) const override {
        f.sample = SampleFormat::Int16Interleaved;
        return const_cast<FailingDevice*>(this)->step(4);
    }
    int setClientFormat(const StreamFormat&) override { return step(5); }
    int initializeUnit() override { return step(6); }
    int startUnit() override { return 0; }
    int stopUnit() override { return 0; }
    void disposeUnit() override { disposed = true; }
    bool isRunning() const override { return false; }

    std::vector<int> ran;
    bool disposed = false;

private:
    int step(int n) {
        ran.push_back(n);
        return n == failAt_ ? status_ : 0;
    }
    int failAt_;
    int status_;
};

static int silentRender(void*, uint32_t, AudioBufferList&) {
    return 0;
}

TEST(AudioDevice, EachSetUpStepReportsItsOwnMessageAndStops) {
    struct Case {
        int failAt;
        const char* message;
    };
    const Case cases[] = {
        {1, "couldn't open the remote I/O unit"},
        {2, "couldn't enable input on the remote I/O unit"},
        {3, "couldn't set remote i/o render callback"},
        {4, "couldn't get the remote I/O unit's output client format"},
        {5, "couldn't set the remote I/O unit's input client format"},
        {6, "couldn't initialize the remote I/O unit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failAt);
        FailingDevice device(c.failAt, -9985);
        LogCapture capture;
        StreamFormat format;
        std::string error;
        EXPECT_FALSE(setUpOutputUnit(device, &silentRender, nullptr, format, &error));
        std::vector<int> expectedSteps;
        for (int i = 1; i <= c.failAt; ++i) {
            expectedSteps.push_back(i);
        }
        EXPECT_EQ(device.ran, expectedSteps);
        EXPECT_TRUE(device.disposed);
        EXPECT_TRUE(capture.contains(std::string("Error: ") + c.message + " (-9985)"));
        EXPECT_EQ(error, std::string(c.message) + ": status -9985");
    }
}

TEST(AudioDevice, SuccessfulSetUpRunsAllStepsAndReturnsTheClientFormat) {
    FailingDevice device(0, 0);
    StreamFormat format;
    std::string error;
    EXPECT_TRUE(setUpOutputUnit(device, &silentRender, nullptr, format, &error));
    EXPECT_EQ(device.ran, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_FALSE(device.disposed);
    EXPECT_EQ(format.sample, SampleFormat::Int16Interleaved);
}

TEST(AudioDevice, StatusPrintsAsFourCharacterCodeOrNumber) {
    EXPECT_EQ(formatStatus(0x666d743f), "fmt?"); // 'fmt?'
    EXPECT_EQ(formatStatus(-9985), "-9985");
    EXPECT_EQ(formatStatus(-50), "-50");
    EXPECT_EQ(formatStatus(1), "1");
}

} // namespace
} // namespace vx

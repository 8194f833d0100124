#include "platform/OfflineAudioDevice.h"
#include "platform/AudioFileReader.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"
#include "support/DecodedFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace vx {
namespace {

// A render callback whose samples encode their frame index: left = n, right = -n (float),
// or left = n % 30000, right = -(n % 30000) (16-bit), so every frame can be checked exactly.
struct CountingSource {
    uint64_t nextFrame = 0;
    int callbacks = 0;
    std::vector<uint32_t> sizes;

    static int render(void* context, uint32_t frames, AudioBufferList& out) {
        auto* self = static_cast<CountingSource*>(context);
        self->callbacks++;
        self->sizes.push_back(frames);
        for (uint32_t i = 0; i < frames; ++i) {
            const uint64_t n = self->nextFrame + i;
            if (out.count == 2) {
                static_cast<float*>(out.buffers[0].data)[i] = static_cast<float>(n);
                static_cast<float*>(out.buffers[1].data)[i] = -static_cast<float>(n);
            } else {
                auto* pcm = static_cast<int16_t*>(out.buffers[0].data);
                pcm[2 * i] = static_cast<int16_t>(n % 30000);
                pcm[2 * i + 1] = static_cast<int16_t>(-static_cast<int>(n % 30000));
            }
        }
        self->nextFrame += frames;
        return 0;
    }
};

std::unique_ptr<OfflineAudioDevice> startedDevice(OfflineAudioDevice::Options options,
                                                  CountingSource& source) {
    auto device = std::make_unique<OfflineAudioDevice>(options);
    StreamFormat format;
    std::string error;
    EXPECT_TRUE(setUpOutputUnit(*device, &CountingSource::render, &source, format, &error))
        << error;
    EXPECT_EQ(device->startUnit(), 0);
    return device;
}

TEST(OfflineAudioDevice, FloatBuffersArriveInterleavedInOrderWithAShortLastBuffer) {
    CountingSource source;
    auto device = startedDevice({.bufferFrames = 1024}, source);
    const auto out = device->renderToMemory(2500);
    ASSERT_EQ(out.size(), 5000u);
    for (size_t n = 0; n < 2500; ++n) {
        ASSERT_EQ(out[2 * n], static_cast<float>(n)) << "frame " << n;
        ASSERT_EQ(out[2 * n + 1], -static_cast<float>(n)) << "frame " << n;
    }
    EXPECT_EQ(source.sizes, (std::vector<uint32_t>{1024, 1024, 452}));
    EXPECT_EQ(device->framesRendered(), 2500u);
}

TEST(OfflineAudioDevice, StoppedUnitRendersSilenceWithoutCallingBack) {
    CountingSource source;
    auto device = startedDevice({.bufferFrames = 512}, source);
    ASSERT_EQ(device->stopUnit(), 0);
    const auto out = device->renderToMemory(1000);
    ASSERT_EQ(out.size(), 2000u);
    for (float v : out) {
        ASSERT_EQ(v, 0.0f);
    }
    EXPECT_EQ(source.callbacks, 0);
    EXPECT_EQ(device->framesRendered(), 1000u);
}

TEST(OfflineAudioDevice, FilesHoldTheRenderedFramesAtTheDevicesRate) {
    test::TempDir dir;
    std::string error;
    CountingSource source;
    auto device = startedDevice({.bufferFrames = 1024}, source);
    ASSERT_TRUE(device->renderToFile(dir.file("mix.wav"), 3000, &error)) << error;
    const std::vector<float> back = test::decodeFile(dir.file("mix.wav")).samples;
    ASSERT_EQ(back.size(), 6000u);
    for (size_t n = 0; n < 3000; ++n) {
        ASSERT_EQ(back[2 * n], static_cast<float>(n));
        ASSERT_EQ(back[2 * n + 1], -static_cast<float>(n));
    }

    CountingSource source16;
    auto device16 = startedDevice(
        {.sampleRate = 48000.0, .bufferFrames = 256, .sample = SampleFormat::Int16Interleaved},
        source16);
    ASSERT_TRUE(device16->renderToFile(dir.file("mix16.wav"), 1000, &error)) << error;
    const auto mix16 = test::decodeFile(dir.file("mix16.wav"), AudioFileReader::Client::MonoNative);
    EXPECT_EQ(mix16.format.sampleRate, 48000);
    EXPECT_EQ(mix16.format.channels, 2);
    EXPECT_EQ(mix16.frames(), 1000);
}

TEST(OfflineAudioDevice, SixteenBitOutputInMemoryIsThePcmOver32768) {
    CountingSource source;
    auto device =
        startedDevice({.bufferFrames = 256, .sample = SampleFormat::Int16Interleaved}, source);
    const auto out = device->renderToMemory(300);
    for (size_t n = 0; n < 300; ++n) {
        ASSERT_FLOAT_EQ(out[2 * n], static_cast<float>(n) / 32768.0f);
        ASSERT_FLOAT_EQ(out[2 * n + 1], -static_cast<float>(n) / 32768.0f);
    }
}

TEST(OfflineAudioDevice, AudioClockRunsDueMainThreadWorkBetweenBuffers) {
    ManualClock clock;
    RunLoop loop(clock);
    CountingSource source;
    auto device = startedDevice({.bufferFrames = 1024}, source);
    device->attachRunLoop(&loop, &clock);

    std::vector<std::string> order;
    device->setSettleHook([&] { order.push_back("settle@" + std::to_string(source.nextFrame)); });
    uint64_t firedAtFrame = 0;
    // 0.05 s = 2205 frames: due after the third buffer (3072 frames), not before.
    loop.after(0.05, [&] {
        firedAtFrame = device->framesRendered();
        order.push_back("timer");
    });
    device->renderToMemory(4096);
    EXPECT_EQ(firedAtFrame, 3072u);
    EXPECT_NEAR(clock.now(), 4096 / 44100.0, 1e-9);
    const std::vector<std::string> expected = {"settle@1024", "settle@2048", "settle@3072", "timer",
                                               "settle@4096"};
    EXPECT_EQ(order, expected);
}

TEST(OfflineAudioDevice, SinkCanStopThePull) {
    CountingSource source;
    auto device = startedDevice({.bufferFrames = 100}, source);
    int buffers = 0;
    const bool finished = device->pull(
        1000, [&](const float*, uint32_t, const AudioBufferList&) { return ++buffers < 3; });
    EXPECT_FALSE(finished);
    EXPECT_EQ(buffers, 3);
    EXPECT_EQ(source.callbacks, 3);
}

TEST(OfflineAudioDevice, OwnThreadRendersUntilStoppedAndNeverAfter) {
    CountingSource source;
    auto device =
        startedDevice({.bufferFrames = 64, .pacedRealTime = true, .ownThread = true}, source);
    // The device was started before the sink was set; set it now and wait for buffers.
    std::mutex mutex;
    std::condition_variable cv;
    int seen = 0;
    device->stopUnit();
    device->setThreadSink([&](const float*, uint32_t, const AudioBufferList&) {
        std::lock_guard lock(mutex);
        ++seen;
        cv.notify_all();
        return true;
    });
    ASSERT_EQ(device->startUnit(), 0);
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return seen >= 5; }));
    }
    ASSERT_EQ(device->stopUnit(), 0);
    EXPECT_FALSE(device->isRunning());
    int afterStop;
    {
        std::lock_guard lock(mutex);
        afterStop = seen;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::lock_guard lock(mutex);
    EXPECT_EQ(seen, afterStop);
}

} // namespace
} // namespace vx

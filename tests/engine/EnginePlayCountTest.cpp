#include "engine/AudioOut.h"
#include "engine/DeckDecoder.h"
#include "engine/Transport.h"
#include "library/DBController.h"
#include "library/LibraryFixture.h"
#include "library/VXAudioFileInfo.h"
#include "platform/Clock.h"
#include "platform/OfflineAudioDevice.h"
#include "platform/Paths.h"
#include "platform/RunLoop.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

// The first play after a load counts once in the database, on the main thread's service pass;
// later plays of the same load do not.
TEST(EnginePlayCount, TheFirstPlayAfterALoadCountsOnce) {
    test::LibraryTempDir home;
    const Paths paths = Paths::forHome(home.path());
    std::string error;
    ASSERT_TRUE(paths.ensureWritableFolders(&error)) << error;
    const auto track = paths.documents() / "Count Me.wav";
    ASSERT_TRUE(test::writeTone(track, 3.0));
    auto db = DBController::init(paths, &error);
    ASSERT_TRUE(db) << error;
    auto info = VXAudioFileInfo::initWithFile(track, paths);
    db->addFileToDB(*info, 0);

    ManualClock clock;
    RunLoop loop(clock);
    EngineServices services;
    services.db = db;
    services.loop = &loop;
    OfflineAudioDevice device;
    AudioOut engine(device, &loop, &services);
    ASSERT_TRUE(engine.init());
    ASSERT_TRUE(engine.StartSound());
    engine.runDecode1(track);
    ASSERT_TRUE(engine.settleDecoders(30.0));
    ASSERT_TRUE(engine.deck(0).isLoaded.load());

    const auto playCount = [&] { return db->getFullInfoForFile(track)->playcount; };
    const int before = playCount();
    engine.startPlay();
    device.renderToMemory(2048);
    EXPECT_EQ(playCount(), before); // not counted on the render path
    engine.serviceRenderRequests();
    EXPECT_EQ(playCount(), before + 1);

    deckStop(engine.deck(0));
    engine.startPlay();
    engine.serviceRenderRequests();
    EXPECT_EQ(playCount(), before + 1);
    engine.closeDecoders();
}

} // namespace
} // namespace vx

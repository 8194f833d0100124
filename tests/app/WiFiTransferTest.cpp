// The transfer service inside the application: its alerts and their button, a start that
// fails, and the files the browser may not delete while the application uses them. (Requests
// over HTTP are tested through velvox-cli serve in WiFiTransferHttpTest.)

#include "app/WiFiTransfer.h"
#include "app/AppFixture.h"
#include "engine/analyzeProgress.h"
#include "platform/Log.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vx::test {
namespace {

struct Caller final : ServerCaller {
    void serverStoped() override { ++stopped; }
    int stopped = 0;
};

WiFiTransferOptions onLoopback(int port = 0) {
    WiFiTransferOptions options;
    options.port = port;
    options.bindAddress = "127.0.0.1";
    return options;
}

TEST(WiFiTransferTest, TheServerListensWhileItsAlertIsOpenAndStopsWithItsButton) {
    AppHome home;
    AppRun run(home);
    WiFiTransfer& transfer = run.app().wifiTransfer();
    transfer.setOptions(onLoopback());
    Caller caller;
    run.app().startServerAction(&caller);
    ASSERT_TRUE(transfer.isListening());
    const auto& shown = run.alerts().shown.back();
    EXPECT_EQ(shown.title, "Server started");
    EXPECT_EQ(shown.message, "http://127.0.0.1:" + std::to_string(transfer.port()));
    EXPECT_EQ(shown.button, "Stop");
    EXPECT_EQ(transfer.alertTag(), WiFiTransfer::kServerAlertTag);
    EXPECT_TRUE(fs::is_symlink(home.paths().temporary() / "docroot"));

    run.alerts().press(0);
    EXPECT_EQ(caller.stopped, 1);
    EXPECT_FALSE(transfer.isListening());
    EXPECT_TRUE(transfer.urlString().empty());
    // The server object is reused: a second start listens again.
    run.app().startServerAction(&caller);
    EXPECT_TRUE(transfer.isListening());
    run.alerts().press(0);
    EXPECT_EQ(caller.stopped, 2);
}

TEST(WiFiTransferTest, AStartThatCannotListenShowsTheServerError) {
    // A port another socket holds.
    const int taken = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(taken, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length);

    AppHome home;
    AppRun run(home);
    LogCapture log;
    WiFiTransfer& transfer = run.app().wifiTransfer();
    transfer.setOptions(onLoopback(ntohs(address.sin_port)));
    Caller caller;
    run.app().startServerAction(&caller);
    ::close(taken);
    EXPECT_FALSE(transfer.isListening());
    const auto& shown = run.alerts().shown.back();
    EXPECT_EQ(shown.title, "Server error");
    EXPECT_NE(shown.message.find("Address already in use"), std::string::npos) << shown.message;
    EXPECT_EQ(shown.button, "OK");
    EXPECT_TRUE(log.contains("Error starting HTTP Server: "));
    run.alerts().press(0);
    EXPECT_EQ(caller.stopped, 1);
}

TEST(WiFiTransferTest, RequestsAreCarriedOutOnTheMainThread) {
    AppHome home;
    AppRun run(home);
    WiFiTransfer& transfer = run.app().wifiTransfer();
    transfer.setOptions(onLoopback());
    std::vector<std::string> started;
    run.app().notifications().addObserver(&started, "UploadingStarted", [&](const Notification& n) {
        started.push_back(std::get<std::string>(n.object));
    });
    bool checkedOnMain = false;
    transfer.setBusyCheck([&](const std::string&) -> std::optional<std::string> {
        checkedOnMain = run.loop().isMainThread();
        return std::nullopt;
    });
    ASSERT_FALSE(transfer.startServer());
    // A client thread uploads and then deletes; this thread runs the main loop meanwhile.
    std::atomic<int> uploaded{0};
    std::atomic<int> deleted{0};
    std::thread client([&] {
        httplib::Client c("127.0.0.1", transfer.port());
        auto r = c.Post(
            "/files", httplib::MultipartFormDataItems{{"newfile", "abc", "a b.txt", "text/plain"}});
        uploaded = r ? r->status : -1;
        r = c.Post("/files/a%20b.txt", "_method=DELETE", "application/x-www-form-urlencoded");
        deleted = r ? r->status : -1;
    });
    while (deleted.load() == 0) {
        run.loop().runPosted();
        run.loop().waitForPost(0.01);
    }
    client.join();
    run.loop().runPosted();
    EXPECT_EQ(uploaded.load(), 302);
    EXPECT_EQ(deleted.load(), 302);
    EXPECT_EQ(started, std::vector<std::string>{"a b.txt"});
    EXPECT_TRUE(checkedOnMain);
    EXPECT_FALSE(fs::exists(home.documents("a b.txt")));
    transfer.stopServer();
    run.app().notifications().removeObserver(&started);
}

TEST(WiFiTransferTest, FilesTheApplicationUsesAreNotDeleted) {
    AppHome home;
    const fs::path onDeck = home.addTrack("Deck");
    const fs::path analysed = home.addTrack("Analysed", false);
    const fs::path mix = home.documents("VXNexa_0001.wav");
    AppRun run(home);
    WiFiTransfer& transfer = run.app().wifiTransfer();

    run.engine().runDecode(0, onDeck);
    ASSERT_TRUE(run.runUntil([&] { return run.loadedFile(0) == onDeck; }, 1.0));
    std::atomic<float> progress{0.0f};
    ASSERT_TRUE(run.engine().registerAnalyze(
        std::make_shared<analyzeProgress>(&progress, analysed.filename().string())));
    ASSERT_TRUE(run.engine().PrepareRecordFor(mix));
    run.engine().setRecordFile(mix);
    ASSERT_TRUE(run.engine().startRecord());

    for (const fs::path& file : {onDeck, analysed, mix}) {
        SCOPED_TRACE(file.filename());
        EXPECT_EQ(transfer.fileShouldDelete(file.filename().string()), TransferResult::Busy);
        EXPECT_TRUE(fs::exists(file));
    }
    EXPECT_TRUE(home.hasFileRow(0, onDeck));
    // Once the recording has ended the mix is the user's to delete.
    run.engine().abortRecord();
    EXPECT_EQ(transfer.fileShouldDelete(mix.filename().string()), TransferResult::Done);
    EXPECT_FALSE(fs::exists(mix));
    run.engine().setProgressForAnalyze(analysed, -1.0f);
}

} // namespace
} // namespace vx::test

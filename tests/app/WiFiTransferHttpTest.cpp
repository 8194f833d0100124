// The Wi-Fi transfer over real HTTP, through the path a user takes: `velvox-cli serve` on a
// test home, listening on 127.0.0.1 on a port the system picks, and an HTTP client.

#include "app/AppFixture.h"
#include "app/TransferServer.h"

#include <httplib.h>

#include <atomic>
#include <set>

namespace vx::test {
namespace {

class WiFiTransferHttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(home_.paths().temporary());
        // Something outside the documents folder that no request may read, change or remove.
        std::ofstream(secret_) << "secret";
    }

    fs::path homeDir() const { return home_.paths().documents().parent_path(); }
    httplib::Client client(const TransferServer& server) const {
        httplib::Client c("127.0.0.1", server.port());
        c.set_read_timeout(60, 0);
        return c;
    }
    static httplib::Result upload(httplib::Client& c, const std::string& name,
                                  const std::string& content) {
        return c.Post("/files", httplib::MultipartFormDataItems{
                                    {"newfile", content, name, "application/octet-stream"}});
    }
    static httplib::Result remove(httplib::Client& c, const std::string& rawName,
                                  const httplib::Headers& headers = {}) {
        return c.Post("/files/" + rawName, headers, "_method=delete",
                      "application/x-www-form-urlencoded");
    }
    // Entries of the upload folder (empty when every upload was moved or removed).
    size_t uploadLeftovers() const {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e :
             fs::directory_iterator(home_.paths().documents() / ".vxupload")) {
            ++n;
        }
        return n;
    }
    int crateMembers() const {
        SQLite::Database db((home_.paths().documents() / DBController::kDatabaseName).string(),
                            SQLite::OPEN_READONLY);
        return db.execAndGet("select count(*) from crates").getInt();
    }

    AppHome home_{AppHome::Options{.builtIns = false}};
    fs::path secret_ = homeDir() / "secret.txt";
};

TEST_F(WiFiTransferHttpTest, UploadsListsDownloadsAndDeletesKeepingTheLibraryInStep) {
    // A real MP3 (with its peak file) to upload, made outside the documents folder.
    const fs::path made = home_.addTrack("Song");
    const std::string song = readFile(made);
    fs::remove(made);
    fs::remove(peakFilePath(made));
    // A name with a newline, a folder and database files beside the tracks.
    std::ofstream(home_.documents("line\nbreak.aac")) << "x";
    std::ofstream(home_.documents("velvox.sqlite-shm.bak")) << "x";
    fs::create_directory(home_.documents("folder.mp3"));
    TransferServer server(homeDir());
    auto c = client(server);

    auto r = upload(c, "song.mp3", song);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 302);
    EXPECT_EQ(r->get_header_value("Location"), "/");
    EXPECT_TRUE(home_.hasRow(0, "song.mp3"));
    r = upload(c, "notes.txt", "first");
    EXPECT_EQ(r->status, 302);
    EXPECT_FALSE(home_.hasRow(0, "notes.txt"));
    // An existing name keeps the old file and says so.
    r = upload(c, "notes.txt", "second");
    EXPECT_EQ(r->status, 409);
    EXPECT_NE(r->body.find("notes.txt"), std::string::npos);
    EXPECT_EQ(readFile(home_.documents("notes.txt")), "first");

    EXPECT_EQ(upload(c, "it's.wav", "w")->status, 302);
    ASSERT_TRUE(fs::exists(home_.documents("velvox.sqlite")));
    r = c.Get("/files");
    ASSERT_TRUE(r);
    // Sorted by extension, then by name; quote and newline escaped; no folder, no database
    // file (the database, its write-ahead log and shared memory, or a copy beside them).
    EXPECT_EQ(r->body, "[{'name':'line\\nbreak.aac', 'id':0},{'name':'song.mp3', 'id':1},"
                       "{'name':'notes.txt', 'id':2},{'name':'it\\'s.wav', 'id':3}]");
    EXPECT_EQ(c.Get("/files/it's.wav")->body, "w");

    r = c.Get("/files/notes.txt");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->body, "first");

    // Deleting the track takes its file, row, crate membership and peak file.
    {
        auto db = DBController::init(home_.paths());
        ASSERT_TRUE(db);
        db->addToCrate(2, *db->getFullInfoForFile(home_.documents("song.mp3")));
    }
    std::ofstream(home_.documents("song.peak")) << "peaks";
    ASSERT_EQ(crateMembers(), 1);
    r = remove(c, "song.mp3", {{"Origin", "http://127.0.0.1:" + std::to_string(server.port())}});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 302);
    EXPECT_FALSE(fs::exists(home_.documents("song.mp3")));
    EXPECT_FALSE(fs::exists(home_.documents("song.peak")));
    EXPECT_FALSE(home_.hasRow(0, "song.mp3"));
    EXPECT_EQ(crateMembers(), 0);
    EXPECT_EQ(remove(c, "song.mp3")->status, 404);
    EXPECT_EQ(uploadLeftovers(), 0u);

    EXPECT_EQ(server.stop(), 128 + SIGTERM);
    EXPECT_NE(server.output().find("Server stopped"), std::string::npos);
}

TEST_F(WiFiTransferHttpTest, RefusesEveryNameOutsideTheFolderAndEveryDatabaseFile) {
    std::ofstream(home_.documents("keep.txt")) << "keep";
    TransferServer server(homeDir(), {"--max-upload", "1"});
    auto c = client(server);
    struct Case {
        const char* what;
        std::string method; // GET, DELETE (the form post) or UPLOAD (the file's own name)
        std::string name;   // raw: as it stands in the target or the part's header
        int status;
    };
    const std::vector<Case> cases = {
        {"plain traversal", "GET", "../secret.txt", 400},
        {"encoded traversal", "GET", "..%2Fsecret.txt", 400},
        {"encoded dots", "GET", "%2E%2E%2Fsecret.txt", 400},
        {"double-encoded", "GET", "..%252Fsecret.txt", 400},
        {"double-encoded dots", "GET", "%252E%252E%252Fsecret.txt", 404},
        {"absolute", "GET", "%2Fetc%2Fpasswd", 400},
        {"backslash", "GET", "..%5Csecret.txt", 400},
        {"NUL", "GET", "keep.txt%00.mp3", 400},
        {"bad escape", "GET", "%zz", 400},
        {"database", "GET", "velvox.sqlite", 404},
        {"database any case", "GET", "VELVOX.SQLITE", 404},
        {"write-ahead log", "GET", "velvox.sqlite-wal", 404},
        {"shared memory", "GET", "velvox.sqlite-shm", 404},
        {"delete traversal", "DELETE", "..%2Fsecret.txt", 400},
        {"delete double-encoded", "DELETE", "%252E%252E%252Fsecret.txt", 404},
        {"delete absolute", "DELETE", "%2Fhome%2Fsecret.txt", 400},
        {"delete database", "DELETE", "velvox.sqlite", 404},
        {"delete log", "DELETE", "velvox.sqlite-wal", 404},
        {"upload traversal", "UPLOAD", "../secret.txt", 400},
        {"upload backslash", "UPLOAD", "..\\secret.txt", 400},
        {"upload absolute", "UPLOAD", "/tmp/evil.txt", 400},
        {"upload database", "UPLOAD", "velvox.sqlite", 400},
        {"upload log", "UPLOAD", "velvox.sqlite-wal", 400},
        {"upload dot-dot", "UPLOAD", "..", 400},
        {"upload hidden", "UPLOAD", ".vxupload", 400},
        {"hidden", "GET", ".vxupload", 400},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        httplib::Result r = k.method == "GET"      ? c.Get("/files/" + k.name)
                            : k.method == "DELETE" ? remove(c, k.name)
                                                   : upload(c, k.name, "hostile");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, k.status);
        EXPECT_EQ(r->body.find("secret\n"), std::string::npos);
        EXPECT_EQ(r->body.find("SQLite format"), std::string::npos);
    }
    // A cross-site post is refused before anything happens; so is one from an opaque origin.
    for (const httplib::Headers& h :
         std::vector<httplib::Headers>{{{"Origin", "http://evil.example"}},
                                       {{"Origin", "null"}},
                                       {{"Referer", "http://evil.example/page.html"}},
                                       {{"Origin", "http://127.0.0.1:1"}}}) {
        auto r = remove(c, "keep.txt", h);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 403);
    }
    // A site's own name rebound to this address is not this host.
    for (const char* host : {"evil.example", "evil.example:8080", "127.0.0.1.evil.example"}) {
        SCOPED_TRACE(host);
        EXPECT_EQ(c.Get("/files", {{"Host", host}})->status, 403);
        EXPECT_EQ(remove(c, "keep.txt", {{"Host", host}, {"Origin", std::string("http://") + host}})
                      ->status,
                  403);
    }
    EXPECT_EQ(c.Get("/files", {{"Host", "velvox.local:8080"}})->status, 200);
    EXPECT_EQ(c.Get("/files/")->status, 404);
    // Larger than the 1 MB cap: refused on the head alone, before the body is sent.
    const std::string answer = rawExchange(server.port(), uploadHead(server.port(), 2 << 20));
    EXPECT_EQ(answer.rfind("HTTP/1.1 413", 0), 0u) << answer;
    // A body without a length that grows past the cap is cut off and removed.
    auto r = c.Post(
        "/files", httplib::Headers{}, httplib::MultipartFormDataItems{},
        httplib::MultipartFormDataProviderItems{{"newfile",
                                                 [](size_t offset, httplib::DataSink& sink) {
                                                     const std::string block(64 * 1024, 'z');
                                                     if (offset >= (3u << 20)) {
                                                         sink.done();
                                                         return true;
                                                     }
                                                     return sink.write(block.data(), block.size());
                                                 },
                                                 "big.bin", "application/octet-stream"}});
    if (r) { // the server may close before the client has sent everything
        EXPECT_EQ(r->status, 413);
    }

    EXPECT_EQ(readFile(secret_), "secret");
    EXPECT_EQ(readFile(home_.documents("keep.txt")), "keep");
    EXPECT_TRUE(fs::exists(home_.documents("velvox.sqlite")));
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(home_.paths().documents())) {
        names.insert(e.path().filename().string());
    }
    names.erase("velvox.sqlite-wal");
    names.erase("velvox.sqlite-shm");
    EXPECT_EQ(names, (std::set<std::string>{".vxupload", "keep.txt", "velvox.sqlite"}));
    EXPECT_EQ(uploadLeftovers(), 0u);
    EXPECT_FALSE(fs::exists("/tmp/evil.txt"));
}

TEST_F(WiFiTransferHttpTest, AnUploadCutOffLeavesNothingBehind) {
    TransferServer server(homeDir());
    const std::string body = multipartBody("cut.mp3", std::string(1 << 20, 'c'));
    const auto waitForLeftovers = [&](size_t count) {
        for (int i = 0; i < 400 && uploadLeftovers() != count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return uploadLeftovers();
    };
    // Part of the body arrives and is being stored; then the client goes away.
    const int fd = openConnection(server.port());
    ASSERT_GE(fd, 0);
    sendAll(fd, uploadHead(server.port(), body.size()) + body.substr(0, 300000));
    EXPECT_EQ(waitForLeftovers(1), 1u);
    ::close(fd);
    EXPECT_EQ(waitForLeftovers(0), 0u);
    auto c = client(server);
    EXPECT_FALSE(fs::exists(home_.documents("cut.mp3")));
    EXPECT_EQ(c.Get("/files")->body, "[]");
    // The whole body stores the file.
    const std::string whole =
        rawExchange(server.port(), uploadHead(server.port(), body.size()) + body);
    EXPECT_EQ(whole.rfind("HTTP/1.1 302", 0), 0u) << whole;
    EXPECT_EQ(fs::file_size(home_.documents("cut.mp3")), 1u << 20);
}

TEST_F(WiFiTransferHttpTest, ConcurrentUploadsAreEachStoredWholeOrRefused) {
    TransferServer server(homeDir());
    const auto payload = [](int i) { return std::string(200000 + 997 * i, char('a' + i)); };
    std::vector<std::thread> threads;
    std::vector<int> status(25, 0);
    for (int i = 0; i < 25; ++i) {
        threads.emplace_back([&, i] {
            auto c = client(server);
            // 20 different names, then 5 uploads of one name with different contents.
            const std::string name = i < 20 ? "track" + std::to_string(i) + ".bin" : "same.bin";
            const auto r = upload(c, name, payload(i));
            status[size_t(i)] = r ? r->status : -100 - int(r.error());
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(status[size_t(i)], 302);
        EXPECT_EQ(readFile(home_.documents("track" + std::to_string(i) + ".bin")), payload(i));
    }
    int stored = -1;
    for (int i = 20; i < 25; ++i) {
        EXPECT_TRUE(status[size_t(i)] == 302 || status[size_t(i)] == 409) << status[size_t(i)];
        if (status[size_t(i)] == 302) {
            EXPECT_EQ(stored, -1) << "two uploads of one name both stored";
            stored = i;
        }
    }
    ASSERT_NE(stored, -1);
    EXPECT_EQ(readFile(home_.documents("same.bin")), payload(stored));
    EXPECT_EQ(uploadLeftovers(), 0u);
}

TEST_F(WiFiTransferHttpTest, ALargeDownloadIsStreamedNotLoaded) {
    constexpr size_t kSize = 100u << 20;
    {
        std::ofstream out(home_.documents("big.wav"), std::ios::binary);
        std::string block(1 << 20, '\0');
        for (size_t mb = 0; mb < kSize >> 20; ++mb) {
            for (size_t i = 0; i < block.size(); i += 4096) {
                block[i] = char(mb); // each megabyte marked, so a misplaced chunk shows
            }
            out.write(block.data(), std::streamsize(block.size()));
        }
    }
    TransferServer server(homeDir());
    auto c = client(server);
    ASSERT_TRUE(c.Get("/files"));
    const long before = server.peakResidentKb();
    size_t received = 0;
    bool inOrder = true;
    const auto r = c.Get("/files/big.wav", [&](const char* data, size_t length) {
        for (size_t i = 0; i < length; ++i) {
            const size_t at = received + i;
            if (at % 4096 == 0 && data[i] != char(at >> 20)) {
                inOrder = false;
            }
        }
        received += length;
        return true;
    });
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(received, kSize);
    EXPECT_TRUE(inOrder);
    // The server's peak memory grew by far less than the file.
    EXPECT_LT(server.peakResidentKb() - before, 24 * 1024) << "kB before: " << before;
}

TEST_F(WiFiTransferHttpTest, TheAccessCodeTheAddressCarriesIsAsked) {
    TransferServer server(homeDir(), {"--code"});
    const size_t at = server.url().find("/?code=");
    ASSERT_NE(at, std::string::npos) << server.url();
    const std::string code = server.url().substr(at + 7, 6);
    auto c = client(server);
    EXPECT_EQ(c.Get("/files")->status, 403);
    EXPECT_EQ(c.Get("/files?code=000000" + code.substr(6))->status, code == "000000" ? 200 : 403);
    const auto page = c.Get("/?code=" + code);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    const std::string cookie = page->get_header_value("Set-Cookie");
    ASSERT_EQ(cookie.rfind("vxcode=" + code + ";", 0), 0u) << cookie;
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
    EXPECT_EQ(c.Get("/files", {{"Cookie", "vxcode=" + code}})->status, 200);
    EXPECT_EQ(c.Get("/files", {{"Cookie", "vxcode=1" + code}})->status, 403);
}

TEST_F(WiFiTransferHttpTest, ServeStopsAfterItsMinutes) {
    TransferServer server(homeDir(), {"--minutes", "0.01"});
    EXPECT_EQ(server.wait(), 0);
    EXPECT_NE(server.output().find("Server stopped"), std::string::npos);
}

} // namespace
} // namespace vx::test

// The web server's own rules, without the application: which clients are on the local network,
// and the answers without a delegate.

#include "app/HTTPServer.h"
#include "library/LibraryFixture.h"

#include <gtest/gtest.h>
#include <httplib.h>

namespace vx {
namespace {

TEST(HTTPServerTest, OnlyLocalNetworkClientsAreAnswered) {
    const struct {
        const char* address;
        bool local;
    } cases[] = {
        {"127.0.0.1", true},       {"127.255.0.9", true},
        {"10.1.2.3", true},        {"172.16.0.1", true},
        {"172.31.255.254", true},  {"172.15.255.255", false},
        {"172.32.0.1", false},     {"192.168.0.20", true},
        {"192.169.0.1", false},    {"169.254.10.1", true},
        {"169.253.0.1", false},    {"8.8.8.8", false},
        {"100.64.0.1", false},     {"::1", true},
        {"fe80::1", true},         {"fd12:3456::1", true},
        {"2001:db8::1", false},    {"::ffff:192.168.1.4", true},
        {"::ffff:8.8.8.8", false}, {"", false},
        {"not an address", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HTTPServer::isLocalClient(c.address), c.local) << c.address;
    }
}

TEST(HTTPServerTest, WithoutADelegateListAndShowAreNotFoundAndChangesUnavailable) {
    test::LibraryTempDir dir;
    HTTPServerSettings settings;
    settings.bindAddress = "127.0.0.1";
    settings.port = 0;
    settings.documents = dir.path();
    settings.docroot = dir.path() / "docroot";
    std::filesystem::create_directories(settings.docroot);
    std::ofstream(settings.docroot / "index.html") << "<p>page</p>";
    std::ofstream(dir.path() / "song.mp3") << "x";
    HTTPServer server(settings);
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    httplib::Client c("127.0.0.1", server.port());
    EXPECT_EQ(c.Get("/files")->status, 404);
    EXPECT_EQ(c.Get("/files/song.mp3")->status, 404);
    EXPECT_EQ(
        c.Post("/files/song.mp3", "_method=delete", "application/x-www-form-urlencoded")->status,
        503);
    EXPECT_EQ(
        c.Post("/files", httplib::MultipartFormDataItems{{"newfile", "y", "n.txt", ""}})->status,
        503);
    // The page itself is served, and nothing beside the document root.
    EXPECT_EQ(c.Get("/")->body, "<p>page</p>");
    EXPECT_EQ(c.Get("/..%2Fsong.mp3")->status, 404);
    server.stop();
    EXPECT_FALSE(server.isRunning());
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "song.mp3"));
}

} // namespace
} // namespace vx

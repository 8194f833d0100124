#include "platform/Paths.h"

#include "platform/EncodeFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace vx;
namespace fs = std::filesystem;

namespace {

using fixture::TempDir;

// Sets (or, with nothing, unsets) an environment variable for the life of the guard.
class EnvGuard {
public:
    EnvGuard(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~EnvGuard() {
        if (old_) {
            ::setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

} // namespace

TEST(Paths, TakeHomeArgumentFindsBothFormsAnywhere) {
    struct Case {
        std::vector<std::string> args;
        std::optional<std::string> home;
        std::vector<std::string> rest;
        bool error;
    };
    const std::vector<Case> cases = {
        {{"--home", "/h", "play", "x.wav"}, "/h", {"play", "x.wav"}, false},
        {{"play", "x.wav", "--home", "/h"}, "/h", {"play", "x.wav"}, false},
        {{"play", "--home", "/h", "x.wav"}, "/h", {"play", "x.wav"}, false},
        {{"--home=/h", "play"}, "/h", {"play"}, false},
        {{"play", "--home=/h"}, "/h", {"play"}, false},
        {{"--home", "/a", "play", "--home=/b"}, "/b", {"play"}, false},
        {{"--home=/b", "--home", "/a"}, "/a", {}, false},
        {{"--home", "dir with spaces"}, "dir with spaces", {}, false},
        {{"play", "x.wav"}, std::nullopt, {"play", "x.wav"}, false},
        {{"--homeless", "--home-x", "home"},
         std::nullopt,
         {"--homeless", "--home-x", "home"},
         false},
        {{}, std::nullopt, {}, false},
        {{"play", "--home"}, std::nullopt, {"play"}, true},
        {{"--home", "--headless"}, std::nullopt, {"--headless"}, true},
        {{"--home=", "play"}, std::nullopt, {"play"}, true},
        {{"--home", ""}, std::nullopt, {""}, true},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        std::vector<std::string> args = c.args;
        std::string error = "stale";
        const auto home = takeHomeArgument(args, &error);
        EXPECT_EQ(home, c.home ? std::optional<fs::path>(*c.home) : std::nullopt) << "case " << i;
        EXPECT_EQ(args, c.rest) << "case " << i;
        EXPECT_EQ(!error.empty(), c.error) << "case " << i << ": " << error;
    }
    std::vector<std::string> args = {"--home", "/h"};
    EXPECT_EQ(takeHomeArgument(args), fs::path("/h")); // the error pointer is optional
}

TEST(Paths, ForHomePutsEverythingUnderTheHomeMadeAbsolute) {
    const Paths paths = Paths::forHome("/srv/vx");
    EXPECT_EQ(paths.documents(), fs::path("/srv/vx/Documents"));
    EXPECT_EQ(paths.settingsFile(), fs::path("/srv/vx/settings.json"));
    EXPECT_EQ(paths.temporary(), fs::path("/srv/vx/tmp"));
    EXPECT_EQ(paths.cache(), fs::path("/srv/vx/cache"));
    EXPECT_EQ(Paths::forHome("some/home").documents(), fs::current_path() / "some/home/Documents");
}

TEST(Paths, HomeArgumentBeatsTheEnvironmentWhichBeatsXdg) {
    EnvGuard home("VELVOX_HOME", "/env/home");
    EnvGuard data("XDG_DATA_HOME", "/xdg/data");
    EXPECT_EQ(Paths::resolve(fs::path("/arg/home")).documents(), fs::path("/arg/home/Documents"));
    EXPECT_EQ(Paths::resolve(std::nullopt).documents(), fs::path("/env/home/Documents"));
    EXPECT_EQ(Paths::resolve(std::nullopt).settingsFile(), fs::path("/env/home/settings.json"));
}

TEST(Paths, XdgFoldersWhenNoHomeIsGiven) {
    EnvGuard home("VELVOX_HOME", std::nullopt);
    EnvGuard data("XDG_DATA_HOME", "/xdg/data");
    EnvGuard config("XDG_CONFIG_HOME", "/xdg/config");
    EnvGuard runtime("XDG_RUNTIME_DIR", "/run/user/1234");
    EnvGuard cache("XDG_CACHE_HOME", "/xdg/cache");
    const Paths paths = Paths::resolve(std::nullopt);
    const std::string uid = std::to_string(::getuid());
    EXPECT_EQ(paths.cache(), fs::path("/xdg/cache/velvox-nexa"));
    EXPECT_EQ(paths.documents(), fs::path("/xdg/data/velvox-nexa/Documents"));
    EXPECT_EQ(paths.settingsFile(), fs::path("/xdg/config/velvox-nexa/settings.json"));
    EXPECT_EQ(paths.temporary(), fs::path("/run/user/1234/velvox-nexa-" + uid));
}

TEST(Paths, XdgDefaultsUnderTheUsersHome) {
    EnvGuard velvoxHome("VELVOX_HOME", "");
    EnvGuard userHome("HOME", "/home/dj");
    EnvGuard data("XDG_DATA_HOME", std::nullopt);
    EnvGuard config("XDG_CONFIG_HOME", "relative/is/ignored");
    EnvGuard runtime("XDG_RUNTIME_DIR", "");
    EnvGuard cache("XDG_CACHE_HOME", std::nullopt);
    const Paths paths = Paths::resolve(std::nullopt);
    EXPECT_EQ(paths.cache(), fs::path("/home/dj/.cache/velvox-nexa"));
    EXPECT_EQ(paths.documents(), fs::path("/home/dj/.local/share/velvox-nexa/Documents"));
    EXPECT_EQ(paths.settingsFile(), fs::path("/home/dj/.config/velvox-nexa/settings.json"));
    EXPECT_EQ(paths.temporary(), fs::path("/tmp/velvox-nexa-" + std::to_string(::getuid())));
}

TEST(Paths, ResourcesComeFromTheEnvironmentOrTheBuild) {
    {
        EnvGuard resources("VELVOX_RESOURCES", std::nullopt);
        const Paths paths = Paths::forHome("/h");
        EXPECT_EQ(paths.resources(), fs::path(VX_RESOURCES_DIR));
        EXPECT_EQ(Paths::resolve(std::nullopt).resources(), fs::path(VX_RESOURCES_DIR));
    }
    // Installed: <prefix>/bin/velvox finds <prefix>/share/velvox-nexa.
    EXPECT_EQ(Paths::installedResources("/opt/vx/bin/velvox"),
              fs::path("/opt/vx/share/velvox-nexa"));
    EnvGuard resources("VELVOX_RESOURCES", "/opt/vx/res");
    const Paths paths = Paths::resolve(fs::path("/h"));
    EXPECT_EQ(paths.resources(), fs::path("/opt/vx/res"));
    EXPECT_EQ(paths.sound(), fs::path("/opt/vx/res/sound"));
    EXPECT_EQ(paths.samples(), fs::path("/opt/vx/res/samples"));
    EXPECT_EQ(paths.docroot(), fs::path("/opt/vx/res/docroot"));
    EXPECT_EQ(paths.databaseTemplate(), fs::path("/opt/vx/res/velvox.sqlite"));
}

TEST(Paths, EnsureWritableFoldersCreatesThemAndKeepsTemporaryPrivate) {
    TempDir dir;
    const Paths paths(dir.path() / "a" / "Documents", "/res", dir.path() / "b" / "tmp",
                      dir.path() / "c" / "conf" / "settings.json");
    std::string error = "stale";
    ASSERT_TRUE(paths.ensureWritableFolders(&error)) << error;
    EXPECT_TRUE(error.empty());
    EXPECT_TRUE(fs::is_directory(paths.documents()));
    EXPECT_TRUE(fs::is_directory(paths.temporary()));
    EXPECT_TRUE(fs::is_directory(dir.path() / "c" / "conf"));
    EXPECT_FALSE(fs::exists(paths.settingsFile())); // only its folder
    struct stat info {};
    ASSERT_EQ(::stat(paths.temporary().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    // A second call finds everything in place.
    EXPECT_TRUE(paths.ensureWritableFolders(nullptr));
}

TEST(Paths, EnsureWritableFoldersReportsAFolderThatCannotBeMade) {
    TempDir dir;
    std::ofstream(dir.path() / "file") << "x";
    const Paths paths = Paths::forHome(dir.path() / "file");
    std::string error;
    EXPECT_FALSE(paths.ensureWritableFolders(&error));
    EXPECT_NE(error.find("documents"), std::string::npos) << error;
    EXPECT_NE(error.find((dir.path() / "file" / "Documents").string()), std::string::npos) << error;
}

TEST(Paths, EnsureWritableFoldersRefusesATemporaryFolderThatIsALink) {
    TempDir dir;
    fs::create_directories(dir.path() / "elsewhere");
    fs::create_directory_symlink(dir.path() / "elsewhere", dir.path() / "tmp");
    const Paths paths = Paths::forHome(dir.path());
    std::string error;
    EXPECT_FALSE(paths.ensureWritableFolders(&error));
    EXPECT_NE(error.find("temporary"), std::string::npos) << error;
}

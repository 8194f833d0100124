// velvox-cli import: the music folder (from user-dirs.dirs) or given files into the documents
// folder and the library, as the user runs it; and a run killed in the middle.

#include "cli/CliHarness.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <nlohmann/json.hpp>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <set>

namespace vx::test {
namespace {

const fs::path kDemo = fs::path(VX_RESOURCES_DIR) / "sound" / "Night Drive.mp3";

// A copy of a demo track at `path`, titled `title`, with a TBPM frame when `tempo` > 0.
void demoTrack(const fs::path& path, const std::string& title, int tempo) {
    fs::create_directories(path.parent_path());
    fs::copy_file(kDemo, path, fs::copy_options::overwrite_existing);
    TagLib::MPEG::File file(path.c_str());
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    tag->setTitle(TagLib::String(title, TagLib::String::UTF8));
    if (tempo > 0) {
        auto* frame = new TagLib::ID3v2::TextIdentificationFrame("TBPM", TagLib::String::UTF8);
        frame->setText(TagLib::String(std::to_string(tempo)));
        tag->addFrame(frame);
    }
    ASSERT_TRUE(file.save());
}

// The library's user rows: file name -> tempo.
std::map<std::string, double> userRows(const fs::path& documents) {
    std::map<std::string, double> rows;
    SQLite::Database db((documents / "velvox.sqlite").string(), SQLite::OPEN_READONLY);
    SQLite::Statement query(db, "select filename, tempo from parameters where location=0");
    while (query.executeStep()) {
        rows[query.getColumn(0).getString()] = query.getColumn(1).getDouble();
    }
    return rows;
}

class CliImportTest : public CliTest {
protected:
    fs::path documents() const { return homeDir() / "Documents"; }
    // velvox-cli --home HOME import ARGUMENTS, as the user `user` (HOME, no XDG_CONFIG_HOME).
    CliRun import(const fs::path& user, const std::string& arguments) {
        return run("--home '" + homeDir().string() + "' import " + arguments,
                   "HOME='" + user.string() + "' XDG_CONFIG_HOME=");
    }
};

TEST_F(CliImportTest, TheMusicFolderAsJsonThenAgainAsReimports) {
    const fs::path user = dir_ / "user";
    fs::create_directories(user / ".config");
    std::ofstream(user / ".config" / "user-dirs.dirs") << "XDG_MUSIC_DIR=\"$HOME/Tunes\"\n";
    demoTrack(user / "Tunes" / "Night Drive.mp3", "Night/Drive", 124);
    demoTrack(user / "Tunes" / "Ночь" / "Solar Run.mp3", "Solar Run", 0);
    std::ofstream(user / "Tunes" / "empty.mp3");
    std::ofstream(user / "Tunes" / "notes.txt") << "not a track";
    const CliRun first = import(user, "--json");
    EXPECT_EQ(first.exitCode, 1) << first.err; // the empty file failed, after all were tried
    EXPECT_NE(first.err.find("importing 1 of 3: Night Drive.mp3\n"), std::string::npos);
    EXPECT_NE(first.err.find("importing 3 of 3: Solar Run.mp3\n"), std::string::npos);
    const auto json = nlohmann::ordered_json::parse(first.out);
    ASSERT_EQ(json.size(), 3u);
    const std::vector<std::string> keys = {"source", "file", "title",    "artist", "album",
                                           "tempo",  "pid",  "reimport", "error"};
    for (const auto& item : json) {
        std::vector<std::string> got;
        for (const auto& [key, value] : item.items()) {
            got.push_back(key);
        }
        EXPECT_EQ(got, keys);
    }
    const auto& night = json[0];
    EXPECT_EQ(night["source"], (user / "Tunes" / "Night Drive.mp3").string());
    EXPECT_EQ(night["title"], "Night|Drive");
    EXPECT_EQ(night["artist"], "Velvox Nexa Demo");
    EXPECT_EQ(night["tempo"], 124.0);
    EXPECT_EQ(night["reimport"], false);
    EXPECT_TRUE(night["error"].is_null());
    const std::string nightName = "Night Drive@n" + night["pid"].get<std::string>() + ".mp3";
    EXPECT_EQ(night["file"], (documents() / nightName).string());
    EXPECT_EQ(json[1]["error"], "empty file (0 bytes)");
    EXPECT_TRUE(json[1]["file"].is_null());
    EXPECT_EQ(json[2]["source"], (user / "Tunes" / "Ночь" / "Solar Run.mp3").string());
    const std::string solarName = "Solar Run@n" + json[2]["pid"].get<std::string>() + ".mp3";
    EXPECT_EQ(slurp(documents() / nightName), slurp(user / "Tunes" / "Night Drive.mp3"));

    const auto rows = userRows(documents());
    EXPECT_EQ(rows, (std::map<std::string, double>{{nightName, 124.0}, {solarName, 0.0}}));

    // One file again: its id is still relative to the music folder, so it replaces its file
    // and keeps its one row.
    const CliRun again =
        import(user, "'" + (user / "Tunes" / "Night Drive.mp3").string() + "' --json");
    ASSERT_EQ(again.exitCode, 0) << again.err;
    const auto second = nlohmann::json::parse(again.out);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0]["file"], night["file"]);
    EXPECT_EQ(second[0]["reimport"], true);
    // So does a subfolder of the music folder.
    const CliRun sub = import(user, "'" + (user / "Tunes" / "Ночь").string() + "' --json");
    ASSERT_EQ(sub.exitCode, 0) << sub.err;
    const auto third = nlohmann::json::parse(sub.out);
    ASSERT_EQ(third.size(), 1u);
    EXPECT_EQ(third[0]["pid"], json[2]["pid"]);
    EXPECT_EQ(third[0]["reimport"], true);
    EXPECT_EQ(userRows(documents()), rows);
}

TEST_F(CliImportTest, BadArgumentsAndAMissingFile) {
    EXPECT_EQ(import(dir_, "--nope").exitCode, 2);
    fs::create_directories(dir_ / "folder");
    EXPECT_EQ(
        import(dir_, "'" + (dir_ / "folder").string() + "' '" + kDemo.string() + "'").exitCode, 2);
    const CliRun missing = import(dir_, "'" + (dir_ / "gone.mp3").string() + "' --json");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(nlohmann::json::parse(missing.out)[0]["error"], "No such file or directory");
}

// A run killed while it copies leaves no partial file under a track's name and no row for a
// file that is not there; the next run clears what the killed one left and imports the rest.
TEST_F(CliImportTest, KilledInTheMiddle) {
    const fs::path music = dir_ / "music";
    constexpr int kTracks = 24;
    for (int i = 0; i < kTracks; ++i) {
        const fs::path path =
            music / ("disc " + std::to_string(i % 3)) / ("t" + std::to_string(i) + ".mp3");
        fs::create_directories(path.parent_path());
        fs::copy_file(kDemo, path);
    }
    int errPipe[2];
    ASSERT_EQ(::pipe(errPipe), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(errPipe[1], 2);
        ::close(errPipe[0]);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::execl(VX_CLI_PATH, VX_CLI_PATH, "--home", homeDir().c_str(), "import", music.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(errPipe[1]);
    // Kill as the sixth file starts: five are complete, the sixth is being copied.
    std::string err;
    char buffer[256];
    while (err.find("importing 6 of") == std::string::npos) {
        const ssize_t n = ::read(errPipe[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        err.append(buffer, size_t(n));
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(errPipe[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the import ended before it was killed:\n" << err;

    const std::string demo = slurp(kDemo);
    std::set<std::string> tracks;
    for (const auto& entry : fs::directory_iterator(documents())) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 4 && name.substr(name.size() - 4) == ".mp3") {
            EXPECT_EQ(slurp(entry.path()), demo) << name << " is not a complete copy";
            tracks.insert(name);
        }
    }
    EXPECT_GE(tracks.size(), 5u);
    EXPECT_LT(tracks.size(), size_t(kTracks));
    for (const auto& [name, tempo] : userRows(documents())) {
        EXPECT_TRUE(tracks.count(name)) << name << " has a row but no file";
    }

    const CliRun rest = import(dir_, "'" + music.string() + "'");
    ASSERT_EQ(rest.exitCode, 0) << rest.err;
    size_t imported = 0;
    for (const auto& entry : fs::directory_iterator(documents())) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find(".part-"), std::string::npos) << name << " was left behind";
        imported += name.substr(name.size() - 4) == ".mp3" ? 1 : 0;
    }
    EXPECT_EQ(imported, size_t(kTracks));
    EXPECT_EQ(userRows(documents()).size(), size_t(kTracks));
}

} // namespace
} // namespace vx::test

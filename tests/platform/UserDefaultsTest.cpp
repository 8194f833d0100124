#include "platform/UserDefaults.h"
#include "platform/Log.h"

#include "platform/EncodeFixture.h"
#include "platform/FileSizeLimit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <thread>

using namespace vx;
namespace fs = std::filesystem;

namespace {

using fixture::TempDir;

using fixture::folderEntries;
using fixture::readBytes;
using fixture::writeBytes;

// Same alternative and the same bits (so NaN equals NaN and -0 differs from +0).
bool identical(const UserDefaults::Value& a, const UserDefaults::Value& b) {
    if (a.index() != b.index()) {
        return false;
    }
    if (const double* x = std::get_if<double>(&a)) {
        return std::memcmp(x, &std::get<double>(b), sizeof(double)) == 0;
    }
    if (const float* x = std::get_if<float>(&a)) {
        return std::memcmp(x, &std::get<float>(b), sizeof(float)) == 0;
    }
    return a == b;
}

struct Entry {
    std::string key;
    UserDefaults::Value value;
};

const std::vector<Entry>& edgeValues() {
    using D = std::numeric_limits<double>;
    using F = std::numeric_limits<float>;
    static const std::vector<Entry> entries = {
        {"bool true", true},
        {"bool false", false},
        {"int zero", int64_t{0}},
        {"int minus one", int64_t{-1}},
        {"int min", std::numeric_limits<int64_t>::min()},
        {"int max", std::numeric_limits<int64_t>::max()},
        {"uint 2^63", uint64_t{1} << 63},
        {"uint 2^63+1", (uint64_t{1} << 63) + 1},
        {"uint max", std::numeric_limits<uint64_t>::max()},
        {"uint zero", uint64_t{0}},
        {"double tenth", 0.1},
        {"double third", 1.0 / 3.0},
        {"double minus zero", -0.0},
        {"double denormal", D::denorm_min()},
        {"double min normal", D::min()},
        {"double max", D::max()},
        {"double lowest", D::lowest()},
        {"double 2^53+2", 9007199254740994.0},
        {"double nan", D::quiet_NaN()},
        {"double inf", D::infinity()},
        {"double minus inf", -D::infinity()},
        {"double pitch step", 0.001},
        {"float tenth", 0.1f},
        {"float one", 1.0f},
        {"float minus zero", -0.0f},
        {"float denormal", F::denorm_min()},
        {"float max", F::max()},
        {"float nan", F::quiet_NaN()},
        {"float minus inf", -F::infinity()},
        {"string empty", std::string()},
        {"string quotes", std::string("say \"NO\" \\ 'yes'\n\ttab")},
        {"string utf8", std::string("Ümläut – 日本語 – 🎧")},
        {"string control", std::string("\x01\x1f\x7f")},
        {"string not utf8", std::string("\xff\xfe\xc0\x80 latin1 caf\xe9")},
        {"string nul inside", std::string("a\0b", 3)},
        {"key \"with\" quotes", std::string("v")},
        {std::string("caf\xe9_track.mp3"), int64_t{7}},
        {std::string("\0leading zero", 13), int64_t{8}},
        {std::string("\0hex:41", 7), int64_t{9}},
        {"", std::string("empty key")},
    };
    return entries;
}

// Each test's store lives in its own temp folder.
class UserDefaultsTest : public ::testing::Test {
protected:
    TempDir dir;
    const fs::path file = dir.path() / "settings.json";
};

} // namespace

TEST_F(UserDefaultsTest, EveryTypeAndEdgeValueRoundTripsExactly) {
    const UserDefaults::Map trackMemory = {
        {"kSpeed", 1.0123456789012345},
        {"kVolume", 0.8f},
        {"kFlag", true},
        {"kBig", std::numeric_limits<uint64_t>::max()},
        {"kNeg", int64_t{-5}},
        {"kName", std::string("\"q\" \xff")},
        {std::string("\xff key"), 0.5},
    };
    {
        UserDefaults defaults(file);
        for (const auto& [key, value] : edgeValues()) {
            std::visit(
                [&, &key = key](const auto& v) {
                    using T = std::decay_t<decltype(v)>;
                    if constexpr (std::is_same_v<T, bool>) {
                        defaults.setBool(key, v);
                    } else if constexpr (std::is_same_v<T, int64_t>) {
                        defaults.setInteger(key, v);
                    } else if constexpr (std::is_same_v<T, uint64_t>) {
                        defaults.setUnsigned(key, v);
                    } else if constexpr (std::is_same_v<T, double>) {
                        defaults.setDouble(key, v);
                    } else if constexpr (std::is_same_v<T, float>) {
                        defaults.setFloat(key, v);
                    } else {
                        defaults.setString(key, v);
                    }
                },
                value);
        }
        defaults.setMap("Folder_track.mp3", trackMemory);
        defaults.setMap("empty map", {});
        ASSERT_TRUE(defaults.synchronize());
    }
    UserDefaults reloaded(file);
    EXPECT_EQ(reloaded.keys().size(), edgeValues().size() + 2);
    for (const auto& [key, value] : edgeValues()) {
        const auto back = reloaded.valueForKey(key);
        ASSERT_TRUE(back.has_value()) << key;
        EXPECT_TRUE(identical(*back, value)) << key;
    }
    const auto map = reloaded.mapForKey("Folder_track.mp3");
    ASSERT_TRUE(map.has_value());
    ASSERT_EQ(map->size(), trackMemory.size());
    for (const auto& [key, value] : trackMemory) {
        ASSERT_TRUE(map->contains(key)) << key;
        EXPECT_TRUE(identical(map->at(key), value)) << key;
    }
    const auto empty = reloaded.mapForKey("empty map");
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());
    // Typed getters see the same values.
    EXPECT_EQ(reloaded.unsignedForKey("uint max"), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(reloaded.integerForKey("int min"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(reloaded.floatForKey("float tenth"), 0.1f);
    EXPECT_EQ(reloaded.stringForKey("string utf8"), "Ümläut – 日本語 – 🎧");
}

TEST_F(UserDefaultsTest, SettersReplaceTheTypeAndRemoveDeletes) {
    UserDefaults defaults(file);
    defaults.setMap("k", {{"kSpeed", 1.0}});
    defaults.setFloat("k", 0.5f);
    EXPECT_FALSE(defaults.mapForKey("k").has_value());
    EXPECT_TRUE(identical(*defaults.valueForKey("k"), UserDefaults::Value{0.5f}));
    defaults.remove("k");
    EXPECT_FALSE(defaults.hasKey("k"));
    EXPECT_EQ(defaults.floatForKey("k", 3.0f), 3.0f);
    defaults.remove("never there");
}

TEST_F(UserDefaultsTest, GettersConvertBetweenKinds) {
    UserDefaults d(file);
    d.setInteger("int", -3);
    d.setUnsigned("huge", std::numeric_limits<uint64_t>::max());
    d.setDouble("real", 2.75);
    d.setDouble("negative real", -2.75);
    d.setDouble("nan", std::nan(""));
    d.setFloat("float", 0.1f);
    d.setBool("yes", true);
    d.setString("text number", "42");
    d.setString("text real", "-1.5");
    d.setString("text YES", "YES");
    d.setString("text no", "no");
    d.setString("text word", "hello");
    d.setMap("map", {{"a", 1.0}});

    EXPECT_EQ(d.doubleForKey("int"), -3.0);
    EXPECT_EQ(d.unsignedForKey("int", 99), 0u); // negative saturates at 0
    EXPECT_EQ(d.integerForKey("huge"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(d.integerForKey("real"), 2);
    EXPECT_EQ(d.integerForKey("negative real"), -2);
    EXPECT_EQ(d.integerForKey("nan", 5), 5);
    EXPECT_TRUE(std::isnan(d.doubleForKey("nan")));
    EXPECT_EQ(d.doubleForKey("float"), static_cast<double>(0.1f));
    EXPECT_EQ(d.floatForKey("real"), 2.75f);
    EXPECT_EQ(d.integerForKey("yes"), 1);
    EXPECT_TRUE(d.boolForKey("int"));
    EXPECT_FALSE(d.boolForKey("nan", false));
    EXPECT_EQ(d.integerForKey("text number"), 42);
    EXPECT_EQ(d.unsignedForKey("text number"), 42u);
    EXPECT_EQ(d.doubleForKey("text real"), -1.5);
    EXPECT_EQ(d.integerForKey("text real"), -1);
    EXPECT_TRUE(d.boolForKey("text YES"));
    EXPECT_FALSE(d.boolForKey("text no", true));
    EXPECT_TRUE(d.boolForKey("text number"));
    EXPECT_EQ(d.integerForKey("text word", 17), 17);
    EXPECT_TRUE(d.boolForKey("text word", true));
    EXPECT_FALSE(d.boolForKey("text word", false));
    EXPECT_EQ(d.stringForKey("int"), "-3");
    EXPECT_EQ(d.stringForKey("huge"), "18446744073709551615");
    EXPECT_EQ(d.stringForKey("real"), "2.75");
    EXPECT_EQ(d.stringForKey("float"), "0.1");
    EXPECT_EQ(d.stringForKey("yes"), "1");
    EXPECT_EQ(d.stringForKey("map", "fallback"), "fallback");
    EXPECT_EQ(d.doubleForKey("map", 9.0), 9.0);
    EXPECT_EQ(d.integerForKey("missing", -1), -1);
    EXPECT_EQ(d.stringForKey("missing", "x"), "x");
    EXPECT_FALSE(d.mapForKey("int").has_value());
    EXPECT_FALSE(d.valueForKey("map").has_value());
}

TEST(UserDefaults, ConversionHelpersForMapEntries) {
    struct Case {
        UserDefaults::Value value;
        std::optional<int64_t> integer;
        std::optional<uint64_t> unsignedValue;
        std::optional<double> real;
    };
    const std::vector<Case> cases = {
        {1e30, std::numeric_limits<int64_t>::max(), std::numeric_limits<uint64_t>::max(), 1e30},
        {-1e30, std::numeric_limits<int64_t>::min(), uint64_t{0}, -1e30},
        {9007199254740993.0, int64_t{9007199254740992}, uint64_t{9007199254740992},
         9007199254740992.0},
        {0.999f, int64_t{0}, uint64_t{0}, static_cast<double>(0.999f)},
        {std::string("+7"), int64_t{7}, uint64_t{7}, 7.0},
        {std::string("1e3"), int64_t{1000}, uint64_t{1000}, 1000.0},
        {std::string(" 7"), std::nullopt, std::nullopt, std::nullopt},
        {std::string("7x"), std::nullopt, std::nullopt, std::nullopt},
        {std::string(""), std::nullopt, std::nullopt, std::nullopt},
        {false, int64_t{0}, uint64_t{0}, 0.0},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(UserDefaults::asInteger(c.value), c.integer) << "case " << i;
        EXPECT_EQ(UserDefaults::asUnsigned(c.value), c.unsignedValue) << "case " << i;
        EXPECT_EQ(UserDefaults::asDouble(c.value), c.real) << "case " << i;
    }
    EXPECT_EQ(UserDefaults::asFloat(UserDefaults::Value{std::string("0.1")}), 0.1f);
}

TEST_F(UserDefaultsTest, MissingFileStartsEmptyWithoutComplaint) {
    LogCapture capture;
    UserDefaults defaults(dir.path() / "absent" / "settings.json");
    EXPECT_TRUE(defaults.keys().empty());
    EXPECT_FALSE(defaults.hasKey("isFirstStart"));
    EXPECT_TRUE(capture.lines().empty());
    // The first synchronize creates the folder.
    defaults.setString("isFirstStart", "NO");
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_EQ(UserDefaults(defaults.file()).stringForKey("isFirstStart"), "NO");
}

TEST_F(UserDefaultsTest, CorruptFilesAreMovedAsideAndTheStoreStartsEmpty) {
    const std::vector<std::string> corrupt = {
        "{\"values\": {\"kTempoLock\": {\"bool\": tr", // cut short
        "",                                            // empty
        "[1, 2, 3]",                                   // JSON, not ours
        "{\"values\": {\"kLaunchCount\": {\"int\": \"three\"}}}",
        "{\"values\": {\"k\": {\"int\": 1, \"bool\": true}}}",
        "{\"values\": {\"k\": {\"int\": 9223372036854775808}}}", // does not fit an int
        "{\"values\": {\"k\": {\"uint\": -1}}}",
        "{\"values\": {\"k\": {\"map\": {\"kSpeed\": {\"real\": 1}}}}}",
        "{\"values\": {\"k\": {\"bytes\": \"abc\"}}}", // odd hex
    };
    for (size_t i = 0; i < corrupt.size(); ++i) {
        writeBytes(file, corrupt[i]);
        LogCapture capture;
        UserDefaults defaults(file);
        EXPECT_TRUE(defaults.keys().empty()) << "case " << i;
        const fs::path aside = file.string() + ".corrupt-" + std::to_string(i + 1);
        EXPECT_FALSE(fs::exists(file)) << "case " << i;
        ASSERT_TRUE(fs::exists(aside)) << "case " << i;
        EXPECT_EQ(readBytes(aside), corrupt[i]) << "case " << i;
        EXPECT_TRUE(capture.contains("corrupt")) << "case " << i;
        EXPECT_TRUE(capture.contains(aside.string())) << "case " << i;
    }
    // A store that started empty after a corrupt file saves normally.
    UserDefaults defaults(file);
    defaults.setInteger("kLaunchCount", 1);
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_EQ(UserDefaults(file).integerForKey("kLaunchCount"), 1);
}

TEST_F(UserDefaultsTest, FailedRenameLeavesNoTemporaryFile) {
    fs::create_directories(file / "occupied"); // a non-empty folder where the file should be
    LogCapture capture;
    UserDefaults defaults(file);
    defaults.setBool("kTempoLock", true);
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_TRUE(capture.contains("could not save"));
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"settings.json"}));
    EXPECT_TRUE(fs::is_directory(file / "occupied"));
}

TEST_F(UserDefaultsTest, FolderThatIsAFileFailsCleanly) {
    writeBytes(dir.path() / "plain", "not a folder");
    LogCapture capture;
    UserDefaults defaults(dir.path() / "plain" / "settings.json");
    EXPECT_TRUE(defaults.keys().empty());
    defaults.setBool("kTempoLock", true);
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_TRUE(capture.contains("could not save"));
    EXPECT_EQ(readBytes(dir.path() / "plain"), "not a folder");
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"plain"}));
    EXPECT_TRUE(defaults.boolForKey("kTempoLock")); // the value stays in memory
}

TEST_F(UserDefaultsTest, WriteFailureHalfwayKeepsThePreviousFile) {
    UserDefaults defaults(file);
    defaults.setString("LastSample1", "/music/pad.wav");
    ASSERT_TRUE(defaults.synchronize());
    const std::string before = readBytes(file);

    // A file size limit makes the write of a large store fail partway, as a full disk would.
    defaults.setString("big", std::string(64 * 1024, 'x'));
    bool written = true;
    {
        const fixture::FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.active());
        written = defaults.synchronize();
    }

    EXPECT_FALSE(written);
    EXPECT_EQ(readBytes(file), before);
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"settings.json"}));
    EXPECT_EQ(UserDefaults(file).stringForKey("LastSample1"), "/music/pad.wav");
    EXPECT_FALSE(UserDefaults(file).hasKey("big"));
}

TEST_F(UserDefaultsTest, ConcurrentReadersWritersAndSynchronize) {
    UserDefaults defaults(file);
    constexpr int kThreads = 4;
    constexpr int kPerThread = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&defaults, t] {
            for (int i = 0; i < kPerThread; ++i) {
                const std::string key =
                    "Folder_track" + std::to_string(t) + "_" + std::to_string(i) + ".mp3";
                defaults.setMap(key, {{"kSpeed", 1.0 + i}, {"kVolume", 0.5f}});
                const auto back = defaults.mapForKey(key);
                ASSERT_TRUE(back.has_value());
                defaults.setInteger("counter" + std::to_string(t), i);
                (void)defaults.integerForKey("counter" + std::to_string((t + 1) % kThreads));
            }
        });
    }
    std::thread saver([&defaults] {
        for (int i = 0; i < 10; ++i) {
            EXPECT_TRUE(defaults.synchronize());
        }
    });
    for (auto& thread : threads) {
        thread.join();
    }
    saver.join();
    ASSERT_TRUE(defaults.synchronize());
    UserDefaults reloaded(file);
    EXPECT_EQ(reloaded.keys().size(), size_t{kThreads * kPerThread + kThreads});
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(reloaded.integerForKey("counter" + std::to_string(t)), kPerThread - 1);
        const auto map = reloaded.mapForKey("Folder_track" + std::to_string(t) + "_7.mp3");
        ASSERT_TRUE(map.has_value());
        EXPECT_EQ(UserDefaults::asDouble(map->at("kSpeed")), 8.0);
    }
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"settings.json"}));
}

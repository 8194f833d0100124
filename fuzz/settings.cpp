// Fuzz target: the settings reader. Whatever the file holds, loading never crashes, every
// value reads back through every getter, the numbers the application relies on are finite and
// in range, and what is saved loads back to the same keys and values.

#include "FuzzSupport.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <cmath>
#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vx;
    setLogToStderr(false);
    static const auto folder = fuzz::scratchPath("settings");
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    std::filesystem::create_directories(folder, ec);
    const auto file = folder / "settings.json";
    fuzz::writeScratch(file, data, size);

    UserDefaults defaults(file);
    for (const std::string& key : defaults.keys()) {
        defaults.boolForKey(key);
        defaults.integerForKey(key);
        defaults.unsignedForKey(key);
        defaults.doubleForKey(key);
        defaults.floatForKey(key);
        defaults.stringForKey(key);
        defaults.mapForKey(key);
    }
    if (defaults.hasKey("LastVolume")) {
        const double v = defaults.doubleForKey("LastVolume", -1.0);
        VX_FUZZ_CHECK(std::isfinite(v) && v >= 0.0 && v <= 1.0);
    }
    VX_FUZZ_CHECK(defaults.synchronize());
    UserDefaults again(file);
    VX_FUZZ_CHECK(again.keys() == defaults.keys());
    for (const std::string& key : defaults.keys()) {
        VX_FUZZ_CHECK(again.valueForKey(key) == defaults.valueForKey(key) ||
                      (defaults.valueForKey(key) && std::isnan(defaults.doubleForKey(key))));
        VX_FUZZ_CHECK(again.mapForKey(key).has_value() == defaults.mapForKey(key).has_value());
    }
    return 0;
}

#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vx {

// UserDefaults: the application's settings and saved session, as typed values in a JSON file.
//
// Every value keeps its type (bool, signed and unsigned 64-bit integers, double, float, text,
// and maps of those for the per-track memory), so what is written comes back exactly: an
// unsigned folder signature above 2^63, a double to the bit (NaN, infinities and -0 included),
// text with quotes, UTF-8 or even bytes that are not UTF-8 (file names can be anything).
//
// Reads and writes go to memory; synchronize() writes the file atomically (a temporary file
// in the same folder, written, flushed to disk, then renamed over the old one), so a crash or
// a full disk leaves either the old file or the new one, never half of one. A file that cannot
// be understood is moved aside to "<file>.corrupt-<n>" with a log line, and the store starts
// empty, which the shell treats as a first start.
//
// Threads: any. A mutex guards the values (decode threads read and write the per-track
// memory); a second one keeps two synchronize calls from overtaking each other.
class UserDefaults {
public:
    using Value = std::variant<bool, int64_t, uint64_t, double, float, std::string>;
    using Map = std::map<std::string, Value>;

    // Any thread: loads `file`. A missing file gives an empty store; a corrupt one is moved
    // aside (see above).
    explicit UserDefaults(std::filesystem::path file);

    // Any thread: true if `key` holds a value of any type.
    bool hasKey(const std::string& key) const;
    // Any thread: every key, sorted.
    std::vector<std::string> keys() const;

    // Getters, any thread. They return `fallback` when the key is missing or its value cannot
    // be read as the asked type; see the conversion helpers below for what converts.
    bool boolForKey(const std::string& key, bool fallback = false) const;
    int64_t integerForKey(const std::string& key, int64_t fallback = 0) const;
    uint64_t unsignedForKey(const std::string& key, uint64_t fallback = 0) const;
    double doubleForKey(const std::string& key, double fallback = 0.0) const;
    float floatForKey(const std::string& key, float fallback = 0.0f) const;
    std::string stringForKey(const std::string& key, const std::string& fallback = {}) const;
    // Any thread: the map stored under `key`, or nothing if the key is missing or not a map.
    std::optional<Map> mapForKey(const std::string& key) const;
    // Any thread: the value stored under `key` as it was set, or nothing if missing or a map.
    std::optional<Value> valueForKey(const std::string& key) const;

    // Setters, any thread: replace whatever `key` held, whatever its type.
    void setBool(const std::string& key, bool value);
    void setInteger(const std::string& key, int64_t value);
    void setUnsigned(const std::string& key, uint64_t value);
    void setDouble(const std::string& key, double value);
    void setFloat(const std::string& key, float value);
    void setString(const std::string& key, const std::string& value);
    void setMap(const std::string& key, const Map& value);
    // Any thread: removes `key` (no-op if missing).
    void remove(const std::string& key);

    // Any thread: writes the store to the file atomically, creating its folder if needed.
    // On failure returns false, logs why, and leaves the previous file as it was.
    bool synchronize();
    // Any thread: the file this store reads and writes.
    const std::filesystem::path& file() const { return file_; }

    // Conversions between value kinds, used by the getters and handy for map entries:
    // - numbers and bools convert to each other (true = 1, non-zero = true); a real converts to
    //   an integer by truncation toward zero; out-of-range numbers saturate (a negative number
    //   read as unsigned gives 0); NaN converts only to a real and to text;
    // - text converts to a number when the whole text is one ("42", "-1.5", "1e3"), to a bool
    //   when it is YES/NO/true/false (any case) or a number;
    // - a number converts to text in its shortest exact decimal form; a bool to "1" or "0".
    static std::optional<bool> asBool(const Value& value);
    static std::optional<int64_t> asInteger(const Value& value);
    static std::optional<uint64_t> asUnsigned(const Value& value);
    static std::optional<double> asDouble(const Value& value);
    static std::optional<float> asFloat(const Value& value);
    static std::optional<std::string> asString(const Value& value);

private:
    using Stored = std::variant<Value, Map>;

    void load();
    void store(const std::string& key, Stored value);

    std::filesystem::path file_;
    mutable std::mutex mutex_;    // guards values_
    std::mutex synchronizeMutex_; // one synchronize at a time, in call order
    std::map<std::string, Stored> values_;
};

} // namespace vx

#include "platform/UserDefaults.h"
#include "platform/EngineLock.h"

#include "platform/Log.h"
#include "platform/SafeFiles.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vx {

namespace {

using json = nlohmann::json;

// The file: {"velvoxDefaults": 1, "values": {"<key>": {"<type>": <value>}, ...}} with the types
// bool, int, uint, double, float, string, bytes (text that is not UTF-8, as hex) and map (an
// object of the same shape). Reals that JSON cannot hold are written "nan", "inf", "-inf". Keys
// that are not UTF-8, or that start with a zero byte, are written as kRawKeyPrefix + hex.
constexpr const char* kFormatTag = "velvoxDefaults";
constexpr int kFormatVersion = 1;
const std::string kRawKeyPrefix{"\0hex:", 5};

bool isUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t length = 0;
        uint32_t codePoint = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            codePoint = lead & 0x1Fu;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            codePoint = lead & 0x0Fu;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            codePoint = lead & 0x07u;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            codePoint = (codePoint << 6) | (next & 0x3Fu);
        }
        const uint32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (codePoint < smallest || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string toHex(std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 0xF]);
    }
    return hex;
}

std::optional<std::string> fromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
        if (error != std::errc() || end != hex.data() + i + 2) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

std::string encodeKey(const std::string& key) {
    if (isUtf8(key) && (key.empty() || key.front() != '\0')) {
        return key;
    }
    return kRawKeyPrefix + toHex(key);
}

std::optional<std::string> decodeKey(const std::string& name) {
    if (name.compare(0, kRawKeyPrefix.size(), kRawKeyPrefix) != 0) {
        return name;
    }
    return fromHex(std::string_view(name).substr(kRawKeyPrefix.size()));
}

json encodeReal(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    return value; // written in the shortest form that reads back to the same double
}

std::optional<double> decodeReal(const json& j) {
    if (j.is_number()) {
        return j.get<double>();
    }
    if (j.is_string()) {
        const auto& text = j.get_ref<const std::string&>();
        if (text == "nan") {
            return std::numeric_limits<double>::quiet_NaN();
        }
        if (text == "inf") {
            return std::numeric_limits<double>::infinity();
        }
        if (text == "-inf") {
            return -std::numeric_limits<double>::infinity();
        }
    }
    return std::nullopt;
}

json encodeText(const std::string& text) {
    if (isUtf8(text)) {
        return json{{"string", text}};
    }
    return json{{"bytes", toHex(text)}};
}

json encodeScalar(const UserDefaults::Value& value) {
    return std::visit(
        [](const auto& v) -> json {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                return json{{"bool", v}};
            } else if constexpr (std::is_same_v<T, int64_t>) {
                return json{{"int", v}};
            } else if constexpr (std::is_same_v<T, uint64_t>) {
                return json{{"uint", v}};
            } else if constexpr (std::is_same_v<T, double>) {
                return json{{"double", encodeReal(v)}};
            } else if constexpr (std::is_same_v<T, float>) {
                return json{{"float", encodeReal(static_cast<double>(v))}};
            } else {
                return encodeText(v);
            }
        },
        value);
}

json encodeMap(const UserDefaults::Map& map) {
    json object = json::object();
    for (const auto& [key, value] : map) {
        object[encodeKey(key)] = encodeScalar(value);
    }
    return json{{"map", std::move(object)}};
}

// Decodes one {"<type>": value} object; nothing if it is not one of ours.
std::optional<UserDefaults::Value> decodeScalar(const std::string& type, const json& j) {
    if (type == "bool" && j.is_boolean()) {
        return UserDefaults::Value{j.get<bool>()};
    }
    if (type == "int" && j.is_number_integer()) {
        if (j.is_number_unsigned() && j.get<uint64_t>() > uint64_t(INT64_MAX)) {
            return std::nullopt;
        }
        return UserDefaults::Value{j.get<int64_t>()};
    }
    if (type == "uint" && j.is_number_unsigned()) {
        return UserDefaults::Value{j.get<uint64_t>()};
    }
    if (type == "double") {
        if (const auto real = decodeReal(j)) {
            return UserDefaults::Value{*real};
        }
    }
    if (type == "float") {
        if (const auto real = decodeReal(j)) {
            return UserDefaults::Value{static_cast<float>(*real)};
        }
    }
    if (type == "string" && j.is_string()) {
        return UserDefaults::Value{j.get<std::string>()};
    }
    if (type == "bytes" && j.is_string()) {
        if (auto bytes = fromHex(j.get_ref<const std::string&>())) {
            return UserDefaults::Value{std::move(*bytes)};
        }
    }
    return std::nullopt;
}

struct Decoded {
    std::map<std::string, std::variant<UserDefaults::Value, UserDefaults::Map>> values;
    std::string error; // empty when it worked
};

Decoded decodeFile(const std::string& text) {
    Decoded result;
    const json root = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (root.is_discarded()) {
        result.error = "not JSON";
        return result;
    }
    if (!root.is_object() || !root.contains("values") || !root["values"].is_object()) {
        result.error = "no \"values\" object";
        return result;
    }
    for (const auto& [name, entry] : root["values"].items()) {
        const auto key = decodeKey(name);
        if (!key || !entry.is_object() || entry.size() != 1) {
            result.error = "bad entry \"" + name + "\"";
            return result;
        }
        const auto first = entry.begin();
        const std::string& type = first.key();
        const json& payload = first.value();
        if (type == "map" && payload.is_object()) {
            UserDefaults::Map map;
            for (const auto& [innerName, inner] : payload.items()) {
                const auto innerKey = decodeKey(innerName);
                std::optional<UserDefaults::Value> value;
                if (innerKey && inner.is_object() && inner.size() == 1) {
                    const auto innerFirst = inner.begin();
                    value = decodeScalar(innerFirst.key(), innerFirst.value());
                }
                if (!value) {
                    result.error = "bad map entry \"" + name + "\"/\"" + innerName + "\"";
                    return result;
                }
                map.emplace(*innerKey, std::move(*value));
            }
            result.values.emplace(*key, std::move(map));
            continue;
        }
        auto value = decodeScalar(type, payload);
        if (!value) {
            result.error = "bad value for \"" + name + "\"";
            return result;
        }
        result.values.emplace(*key, std::move(*value));
    }
    return result;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// The whole text as one number, in the C locale.
template <typename T> std::optional<T> parseWhole(const std::string& text) {
    T value{};
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+') {
        ++begin;
    }
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end || begin == end) {
        return std::nullopt;
    }
    return value;
}

template <typename T> std::string shortestText(T value) {
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : std::string();
}

std::optional<int64_t> realToInteger(double value) {
    if (std::isnan(value)) {
        return std::nullopt;
    }
    // 2^63 is exact as a double; everything at or above it saturates.
    if (value >= 9223372036854775808.0) {
        return INT64_MAX;
    }
    if (value <= -9223372036854775808.0) {
        return INT64_MIN;
    }
    return static_cast<int64_t>(value);
}

std::optional<uint64_t> realToUnsigned(double value) {
    if (std::isnan(value)) {
        return std::nullopt;
    }
    if (value >= 18446744073709551616.0) {
        return UINT64_MAX;
    }
    if (value <= 0.0) {
        return 0;
    }
    return static_cast<uint64_t>(value);
}

// The numbers the application reads back from the store, with the range each may take. A
// value outside it (or not a finite number) would carry a damaged file's garbage into the
// mix, so it is dropped at load and the reader's own default applies.
struct NumberRange {
    const char* key;
    double min;
    double max;
};

constexpr NumberRange kNumberRanges[] = {
    {"LastVolume", 0.0, 1.0},         {"kSamplesVolume", 0.0, 1.0},
    {"kDipCorrection", 0.0, 2.0},     {"kPitchStep", 1e-6, 0.15},
    {"kXFadeTime", 0.01, 120.0},      {"kSongPartInAutoPlay", 0.0, 1.0},
    {"kFFSpeed", 0.0, 10000.0},       {"kFadeCurve", -1e9, 1e9},
    {"FileSeqNo", 0.0, 2147483646.0}, {"kRecordNo", 0.0, 2147483646.0},
    {"kLaunchCount", 0.0, 9.2e18},    {"kStreamCrate0", -1.0, 4.0},
    {"kStreamCrate1", -1.0, 4.0},
};

// Per-track memory ("<folder>_<file>" maps): the deck volume a load restores.
constexpr NumberRange kTrackMemoryRanges[] = {
    {"kVolume", 0.0, 4.0},
};

bool inRange(const UserDefaults::Value& value, const NumberRange& range) {
    if (std::holds_alternative<std::string>(value)) {
        // Text is not a number the store wrote; read as one it must still be in range.
        const auto number = UserDefaults::asDouble(value);
        return !number || (std::isfinite(*number) && *number >= range.min && *number <= range.max);
    }
    const auto number = UserDefaults::asDouble(value);
    return number && std::isfinite(*number) && *number >= range.min && *number <= range.max;
}

std::string describe(const UserDefaults::Value& value) {
    return UserDefaults::asString(value).value_or("?");
}

template <typename Values> void dropInvalidNumbers(Values& values) {
    for (const NumberRange& range : kNumberRanges) {
        const auto it = values.find(range.key);
        if (it == values.end()) {
            continue;
        }
        const auto* value = std::get_if<UserDefaults::Value>(&it->second);
        if (!value || !inRange(*value, range)) {
            logLine("Settings: %s = %s is not a number in %g..%g; its default is used", range.key,
                    value ? describe(*value).c_str() : "(a map)", range.min, range.max);
            values.erase(it);
        }
    }
    for (auto& [key, stored] : values) {
        auto* map = std::get_if<UserDefaults::Map>(&stored);
        if (!map) {
            continue;
        }
        for (const NumberRange& range : kTrackMemoryRanges) {
            const auto it = map->find(range.key);
            if (it != map->end() && !inRange(it->second, range)) {
                logLine("Settings: %s of %s = %s is not a number in %g..%g; its default is used",
                        range.key, key.c_str(), describe(it->second).c_str(), range.min, range.max);
                map->erase(it);
            }
        }
    }
}

} // namespace

UserDefaults::UserDefaults(std::filesystem::path file) : file_(std::move(file)) {
    load();
}

void UserDefaults::load() {
    std::error_code ec;
    const auto status = std::filesystem::status(file_, ec);
    if (!std::filesystem::exists(status)) {
        return; // first start
    }
    if (!std::filesystem::is_regular_file(status)) {
        noticeLine("Settings file %s is not a file; starting with default settings (they will "
                   "not be saved until it is removed)",
                   file_.string().c_str());
        return;
    }
    std::ifstream in(file_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) {
        noticeLine("Settings file %s cannot be read (%s); starting with default settings",
                   file_.string().c_str(), std::strerror(errno));
        return;
    }
    Decoded decoded = decodeFile(text.str());
    if (decoded.error.empty()) {
        std::lock_guard lock(mutex_);
        values_ = std::move(decoded.values);
        dropInvalidNumbers(values_);
        return;
    }
    // Keep the unreadable file for a person to look at, under the first free name.
    for (int n = 1;; ++n) {
        std::filesystem::path aside = file_;
        aside += ".corrupt-" + std::to_string(n);
        if (std::filesystem::exists(std::filesystem::symlink_status(aside, ec))) {
            continue;
        }
        std::filesystem::rename(file_, aside, ec);
        if (ec) {
            noticeLine("Settings file %s is damaged (%s) and could not be moved aside (%s); "
                       "starting with default settings",
                       file_.string().c_str(), decoded.error.c_str(), ec.message().c_str());
        } else {
            noticeLine("Settings file %s is damaged (%s); it was moved to %s and the default "
                       "settings are used",
                       file_.string().c_str(), decoded.error.c_str(), aside.string().c_str());
        }
        return;
    }
}

bool UserDefaults::synchronize() {
    engineLockTripwire("a settings write");
    std::lock_guard order(synchronizeMutex_);
    std::string text;
    {
        std::lock_guard lock(mutex_);
        json values = json::object();
        for (const auto& [key, stored] : values_) {
            const Map* map = std::get_if<Map>(&stored);
            values[encodeKey(key)] = map ? encodeMap(*map) : encodeScalar(std::get<Value>(stored));
        }
        json root = {{kFormatTag, kFormatVersion}, {"values", std::move(values)}};
        text = root.dump(2) + "\n";
    }

    const auto fail = [&](const char* step, const std::string& why) {
        noticeLine("Settings: could not save %s: %s failed (%s); the previous file is unchanged",
                   file_.string().c_str(), step, why.c_str());
        return false;
    };

    std::filesystem::path folder = file_.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        return fail("creating the folder", ec.message());
    }
    std::string temporary = (folder / (file_.filename().string() + ".tmp-XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return fail("creating a temporary file", std::strerror(errno));
    }
    const auto abandon = [&](const char* step) {
        const std::string why = std::strerror(errno);
        ::close(fd);
        ::unlink(temporary.c_str());
        return fail(step, why);
    };
    if (!writeAll(fd, text.data(), text.size())) {
        return abandon("writing");
    }
    if (::fsync(fd) != 0) {
        return abandon("flushing");
    }
    if (::close(fd) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(temporary.c_str());
        return fail("closing", why);
    }
    if (::rename(temporary.c_str(), file_.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(temporary.c_str());
        return fail("renaming", why);
    }
    // Make the rename itself durable; a failure here leaves a complete file either way.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

std::optional<UserDefaults::Value> UserDefaults::valueForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    const auto it = values_.find(key);
    if (it == values_.end()) {
        return std::nullopt;
    }
    if (const Value* value = std::get_if<Value>(&it->second)) {
        return *value;
    }
    return std::nullopt;
}

void UserDefaults::store(const std::string& key, Stored value) {
    std::lock_guard lock(mutex_);
    values_.insert_or_assign(key, std::move(value));
}

bool UserDefaults::hasKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    return values_.contains(key);
}

std::vector<std::string> UserDefaults::keys() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> list;
    list.reserve(values_.size());
    for (const auto& entry : values_) {
        list.push_back(entry.first);
    }
    return list;
}

bool UserDefaults::boolForKey(const std::string& key, bool fallback) const {
    const auto value = valueForKey(key);
    return value ? asBool(*value).value_or(fallback) : fallback;
}

int64_t UserDefaults::integerForKey(const std::string& key, int64_t fallback) const {
    const auto value = valueForKey(key);
    return value ? asInteger(*value).value_or(fallback) : fallback;
}

uint64_t UserDefaults::unsignedForKey(const std::string& key, uint64_t fallback) const {
    const auto value = valueForKey(key);
    return value ? asUnsigned(*value).value_or(fallback) : fallback;
}

double UserDefaults::doubleForKey(const std::string& key, double fallback) const {
    const auto value = valueForKey(key);
    return value ? asDouble(*value).value_or(fallback) : fallback;
}

float UserDefaults::floatForKey(const std::string& key, float fallback) const {
    const auto value = valueForKey(key);
    return value ? asFloat(*value).value_or(fallback) : fallback;
}

std::string UserDefaults::stringForKey(const std::string& key, const std::string& fallback) const {
    const auto value = valueForKey(key);
    return value ? asString(*value).value_or(fallback) : fallback;
}

std::optional<UserDefaults::Map> UserDefaults::mapForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    const auto it = values_.find(key);
    if (it == values_.end()) {
        return std::nullopt;
    }
    if (const Map* map = std::get_if<Map>(&it->second)) {
        return *map;
    }
    return std::nullopt;
}

void UserDefaults::setBool(const std::string& key, bool value) {
    store(key, Value{value});
}

void UserDefaults::setInteger(const std::string& key, int64_t value) {
    store(key, Value{value});
}

void UserDefaults::setUnsigned(const std::string& key, uint64_t value) {
    store(key, Value{value});
}

void UserDefaults::setDouble(const std::string& key, double value) {
    store(key, Value{value});
}

void UserDefaults::setFloat(const std::string& key, float value) {
    store(key, Value{value});
}

void UserDefaults::setString(const std::string& key, const std::string& value) {
    store(key, Value{value});
}

void UserDefaults::setMap(const std::string& key, const Map& value) {
    store(key, value);
}

void UserDefaults::remove(const std::string& key) {
    std::lock_guard lock(mutex_);
    values_.erase(key);
}

std::optional<bool> UserDefaults::asBool(const Value& value) {
    if (const bool* b = std::get_if<bool>(&value)) {
        return *b;
    }
    if (const std::string* text = std::get_if<std::string>(&value)) {
        if (equalsIgnoringCase(*text, "yes") || equalsIgnoringCase(*text, "true")) {
            return true;
        }
        if (equalsIgnoringCase(*text, "no") || equalsIgnoringCase(*text, "false")) {
            return false;
        }
    }
    const auto real = asDouble(value);
    if (!real || std::isnan(*real)) {
        return std::nullopt;
    }
    return *real != 0.0;
}

std::optional<int64_t> UserDefaults::asInteger(const Value& value) {
    return std::visit(
        [](const auto& v) -> std::optional<int64_t> {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                return v ? 1 : 0;
            } else if constexpr (std::is_same_v<T, int64_t>) {
                return v;
            } else if constexpr (std::is_same_v<T, uint64_t>) {
                return v > uint64_t(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(v);
            } else if constexpr (std::is_same_v<T, double> || std::is_same_v<T, float>) {
                return realToInteger(static_cast<double>(v));
            } else {
                if (const auto whole = parseWhole<int64_t>(v)) {
                    return whole;
                }
                if (const auto real = parseWhole<double>(v)) {
                    return realToInteger(*real);
                }
                return std::nullopt;
            }
        },
        value);
}

std::optional<uint64_t> UserDefaults::asUnsigned(const Value& value) {
    return std::visit(
        [](const auto& v) -> std::optional<uint64_t> {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                return v ? 1 : 0;
            } else if constexpr (std::is_same_v<T, int64_t>) {
                return v < 0 ? 0 : static_cast<uint64_t>(v);
            } else if constexpr (std::is_same_v<T, uint64_t>) {
                return v;
            } else if constexpr (std::is_same_v<T, double> || std::is_same_v<T, float>) {
                return realToUnsigned(static_cast<double>(v));
            } else {
                if (const auto whole = parseWhole<uint64_t>(v)) {
                    return whole;
                }
                if (const auto whole = parseWhole<int64_t>(v)) {
                    return *whole < 0 ? 0 : static_cast<uint64_t>(*whole);
                }
                if (const auto real = parseWhole<double>(v)) {
                    return realToUnsigned(*real);
                }
                return std::nullopt;
            }
        },
        value);
}

std::optional<double> UserDefaults::asDouble(const Value& value) {
    return std::visit(
        [](const auto& v) -> std::optional<double> {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                return v ? 1.0 : 0.0;
            } else if constexpr (std::is_same_v<T, std::string>) {
                return parseWhole<double>(v);
            } else {
                return static_cast<double>(v);
            }
        },
        value);
}

std::optional<float> UserDefaults::asFloat(const Value& value) {
    if (const float* f = std::get_if<float>(&value)) {
        return *f;
    }
    if (const std::string* text = std::get_if<std::string>(&value)) {
        // Straight to float, so "0.1" gives the nearest float rather than a double rounded twice.
        return parseWhole<float>(*text);
    }
    const auto real = asDouble(value);
    if (!real) {
        return std::nullopt;
    }
    return static_cast<float>(*real);
}

std::optional<std::string> UserDefaults::asString(const Value& value) {
    return std::visit(
        [](const auto& v) -> std::optional<std::string> {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                return std::string(v ? "1" : "0");
            } else if constexpr (std::is_same_v<T, std::string>) {
                return v;
            } else {
                return shortestText(v);
            }
        },
        value);
}

} // namespace vx

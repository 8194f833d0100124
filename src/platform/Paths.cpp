#include "platform/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef VX_RESOURCES_DIR
#error "VX_RESOURCES_DIR must name the build's resource folder"
#endif
#ifndef VX_RESOURCES_RELATIVE
#error "VX_RESOURCES_RELATIVE must name the installed resources relative to the binaries"
#endif

namespace vx {

namespace {

namespace fs = std::filesystem;

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) {
        return std::nullopt;
    }
    return std::string(value);
}

// An XDG base directory variable, or `fallback` when it is unset, empty or relative.
fs::path xdgFolder(const char* name, const fs::path& fallback) {
    const auto value = environment(name);
    if (!value || !fs::path(*value).is_absolute()) {
        return fallback;
    }
    return *value;
}

fs::path userHome() {
    if (const auto home = environment("HOME")) {
        return *home;
    }
    // No HOME (a service, a stripped environment): ask the password database.
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<size_t>(size) : 16384, '\0');
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir) {
        return found->pw_dir;
    }
    return "/tmp";
}

fs::path absoluteOrSame(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    return ec ? path : absolute.lexically_normal();
}

bool makeFolder(const fs::path& folder, const char* what, std::string* error) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder, ec)) {
        if (error) {
            *error = std::string("cannot create the ") + what + " folder " + folder.string() +
                     ": " + (ec ? ec.message() : "not a folder");
        }
        return false;
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        if (error) {
            *error = std::string("the ") + what + " folder " + folder.string() +
                     " is not writable: " + std::strerror(errno);
        }
        return false;
    }
    return true;
}

} // namespace

Paths::Paths(fs::path documents, fs::path resources, fs::path temporary, fs::path settingsFile,
             fs::path cache)
    : documents_(std::move(documents)), resources_(std::move(resources)),
      temporary_(std::move(temporary)), settingsFile_(std::move(settingsFile)),
      cache_(cache.empty() ? settingsFile_.parent_path() / "cache" : std::move(cache)) {}

Paths Paths::resolve(const std::optional<fs::path>& homeArgument) {
    if (homeArgument && !homeArgument->empty()) {
        return forHome(*homeArgument);
    }
    if (const auto home = environment("VELVOX_HOME")) {
        return forHome(*home);
    }
    const fs::path home = userHome();
    const fs::path data = xdgFolder("XDG_DATA_HOME", home / ".local" / "share");
    const fs::path config = xdgFolder("XDG_CONFIG_HOME", home / ".config");
    const fs::path runtime = xdgFolder("XDG_RUNTIME_DIR", "/tmp");
    const fs::path cache = xdgFolder("XDG_CACHE_HOME", home / ".cache");
    return Paths(data / "velvox-nexa" / "Documents", defaultResources(),
                 runtime / ("velvox-nexa-" + std::to_string(::getuid())),
                 config / "velvox-nexa" / "settings.json", cache / "velvox-nexa");
}

Paths Paths::forHome(const fs::path& home) {
    const fs::path root = absoluteOrSame(home);
    return Paths(root / "Documents", defaultResources(), root / "tmp", root / "settings.json",
                 root / "cache");
}

fs::path Paths::installedResources(const fs::path& executable) {
    return absoluteOrSame(executable.parent_path() / VX_RESOURCES_RELATIVE);
}

fs::path Paths::defaultResources() {
    if (const auto resources = environment("VELVOX_RESOURCES")) {
        return *resources;
    }
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path installed = installedResources(self);
        if (fs::is_directory(installed / "sound", ec)) {
            return installed;
        }
    }
    return VX_RESOURCES_DIR;
}

bool Paths::ensureWritableFolders(std::string* error) const {
    if (!makeFolder(documents_, "documents", error)) {
        return false;
    }
    const fs::path settingsFolder = settingsFile_.parent_path();
    if (!settingsFolder.empty() && !makeFolder(settingsFolder, "settings", error)) {
        return false;
    }
    std::error_code ec;
    const bool existed = fs::exists(fs::symlink_status(temporary_, ec));
    if (!makeFolder(temporary_, "temporary", error)) {
        return false;
    }
    // In a shared /tmp somebody else could have made the folder first: refuse one that is a
    // link or belongs to another user, and keep a new one private.
    struct stat info {};
    if (::lstat(temporary_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid()) {
        if (error) {
            *error = "the temporary folder " + temporary_.string() +
                     " is not a folder owned by this user";
        }
        return false;
    }
    if (!existed) {
        fs::permissions(temporary_, fs::perms::owner_all, fs::perm_options::replace, ec);
    }
    if (error) {
        error->clear();
    }
    return true;
}

std::optional<fs::path> takeHomeArgument(std::vector<std::string>& args, std::string* error) {
    static const std::string option = "--home";
    static const std::string prefix = "--home=";
    std::optional<fs::path> home;
    bool missing = false;
    size_t i = 0;
    while (i < args.size()) {
        const std::string& arg = args[i];
        if (arg == option) {
            const bool hasValue =
                i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0 && !args[i + 1].empty();
            if (hasValue) {
                home = args[i + 1];
                args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                           args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            } else {
                missing = true;
                args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
            }
            continue;
        }
        if (arg.rfind(prefix, 0) == 0) {
            std::string value = arg.substr(prefix.size());
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
            if (value.empty()) {
                missing = true;
            } else {
                home = std::move(value);
            }
            continue;
        }
        ++i;
    }
    if (missing) {
        if (error) {
            *error = "--home needs a folder";
        }
        return std::nullopt;
    }
    if (error) {
        error->clear();
    }
    return home;
}

} // namespace vx

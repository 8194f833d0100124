#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vx {

// Paths: where the application's files live.
//
// Four places: the documents folder (the user's tracks, recordings, samples, the database),
// the read-only resource folder (built-in demo tracks in sound/, pad sounds in samples/, the
// Wi-Fi page in docroot/, the database template), a temporary folder, and the settings file.
// Everything but the resources comes from one "home" when one is given (`--home DIR` or the
// VELVOX_HOME environment variable), so tests and headless runs never touch a real home;
// otherwise the XDG base directories are used. The resource folder is VELVOX_RESOURCES if set,
// else the installed one beside the running binary (<prefix>/share/velvox-nexa for
// <prefix>/bin/velvox), else the folder the build generated them into. A fifth place, the cache,
// holds what can be made again (the peak files of tracks in folders this user cannot write).
//
// A plain value: resolved once at start-up and passed to whoever needs it; any thread may read.
class Paths {
public:
    // Any thread: explicit folders (the resources are not derived from anything).
    // An empty `cache` means the folder "cache" beside the settings file.
    Paths(std::filesystem::path documents, std::filesystem::path resources,
          std::filesystem::path temporary, std::filesystem::path settingsFile,
          std::filesystem::path cache = {});

    // Any thread: the home argument if given, else VELVOX_HOME, else the XDG folders:
    //   documents = ($XDG_DATA_HOME or ~/.local/share)/velvox-nexa/Documents
    //   settings  = ($XDG_CONFIG_HOME or ~/.config)/velvox-nexa/settings.json
    //   temporary = ($XDG_RUNTIME_DIR or /tmp)/velvox-nexa-<uid>
    //   cache     = ($XDG_CACHE_HOME or ~/.cache)/velvox-nexa
    // (XDG variables that are empty or relative are ignored, as the XDG rules say).
    static Paths resolve(const std::optional<std::filesystem::path>& homeArgument);
    // Any thread: everything under `home` (made absolute): home/Documents, home/settings.json,
    // home/tmp, home/cache.
    static Paths forHome(const std::filesystem::path& home);
    // Any thread: VELVOX_RESOURCES if set and not empty, else the installed resources beside
    // the running binary (installedResources) when that folder exists, else the build's.
    static std::filesystem::path defaultResources();
    // Any thread: where an installation keeps the resources of the binary at `executable`:
    // the binary's folder / VX_RESOURCES_RELATIVE ("../share/velvox-nexa"), made absolute.
    static std::filesystem::path installedResources(const std::filesystem::path& executable);

    // Any thread: the user's documents folder.
    const std::filesystem::path& documents() const { return documents_; }
    // Any thread: the read-only resource folder.
    const std::filesystem::path& resources() const { return resources_; }
    // Any thread: resources/sound, the built-in demo tracks (read-only).
    std::filesystem::path sound() const { return resources_ / "sound"; }
    // Any thread: resources/samples, the built-in pad sounds (read-only).
    std::filesystem::path samples() const { return resources_ / "samples"; }
    // Any thread: resources/docroot, the Wi-Fi transfer page.
    std::filesystem::path docroot() const { return resources_ / "docroot"; }
    // Any thread: resources/velvox.sqlite, copied into documents on first use.
    std::filesystem::path databaseTemplate() const { return resources_ / "velvox.sqlite"; }
    // Any thread: the temporary folder.
    const std::filesystem::path& temporary() const { return temporary_; }
    // Any thread: the settings file (UserDefaults).
    const std::filesystem::path& settingsFile() const { return settingsFile_; }
    // Any thread: the cache folder (may not exist yet).
    const std::filesystem::path& cache() const { return cache_; }

    // Any thread: creates the documents folder, the temporary folder (private to this user)
    // and the settings file's folder. False with `*error` (if given) saying which and why.
    bool ensureWritableFolders(std::string* error) const;

private:
    std::filesystem::path documents_;
    std::filesystem::path resources_;
    std::filesystem::path temporary_;
    std::filesystem::path settingsFile_;
    std::filesystem::path cache_;
};

// Any thread: removes every `--home DIR` and `--home=DIR` from `args`, wherever they are, and
// returns the last folder given (nothing if none). A `--home` without a folder (at the end, or
// followed by another option) is removed too; then the result is nothing and `*error` (if
// given) says so. `*error` is cleared otherwise.
std::optional<std::filesystem::path> takeHomeArgument(std::vector<std::string>& args,
                                                      std::string* error = nullptr);

} // namespace vx

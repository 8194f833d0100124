#pragma once
// MusicLibrary: the user's music collection, as the import sees it.
//
// On the handheld platform the music library is a system service; here it is a folder: the
// one the user chose (kept in the settings under kMusicFolderKey), else the XDG music
// directory (XDG_MUSIC_DIR in user-dirs.dirs), else ~/Music. The folder is scanned
// recursively (hidden files and folders skipped, links to folders not followed) for the
// kinds of file a deck can play and the library lists: MP3, M4A, FLAC, Ogg Vorbis and Opus.
//
// Each item carries its file, its title, artist and album and its tempo as TagLib reads them
// (the tempo from an ID3 TBPM frame, an MP4 "tmpo" atom or a BPM comment; 0 when absent; the
// title falls back to the file's stem), its length, and a persistent identifier: a 64-bit
// FNV-1a hash of the file's path relative to the music folder, so the same song keeps its
// identifier across runs and however the folder is mounted. A file that cannot be imported
// (unreadable, empty, not audio) is still an item, with `problem` saying why.
//
// Exporting an item is a byte copy of its file (copyWithProgress): the audio data is copied
// as it is, never re-encoded, and the bytes copied so far can be read from another thread.
//
// Threads: any non-render thread; nothing here keeps state between calls but the folder.
// No exceptions escape.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vx {

class UserDefaults;

// One song of the music folder.
struct MusicLibraryItem {
    std::filesystem::path file; // absolute path of the audio file
    std::string title;          // the title tag, else the file's stem
    std::string artist;         // "" when the file has none
    std::string album;          // "" when the file has none
    double tempo = 0;           // beats per minute from the tags; 0 when absent
    double durationSeconds = 0; // as the file's headers announce it
    uint64_t size = 0;          // bytes
    uint64_t persistentID = 0;  // MusicLibrary::persistentIDFor the file
    std::string problem;        // why it cannot be imported; "" when it can

    // Any thread: the low 32 bits of persistentID as an unsigned decimal ("%lu").
    std::string pid() const;
};

class MusicLibrary {
public:
    // The settings key of the folder the user chose (text; absent or "" for the default).
    static constexpr const char* kMusicFolderKey = "kMusicFolder";
    // Bytes copied per step of copyWithProgress.
    static constexpr size_t kCopyChunk = 256 * 1024;

    // Any thread: the scanned folder is `folder` (made absolute); ids are taken relative to
    // `idFolder` (the music folder when `folder` is one of its subfolders), `folder` if empty.
    explicit MusicLibrary(std::filesystem::path folder, std::filesystem::path idFolder = {});

    // Any thread: the XDG music directory for a user whose home is `home` and whose
    // configuration folder is `configHome`: XDG_MUSIC_DIR from configHome/user-dirs.dirs
    // ("$HOME/..." or an absolute path; one that names the home itself counts as unset), else
    // home/Music.
    static std::filesystem::path xdgMusicFolder(const std::filesystem::path& home,
                                                const std::filesystem::path& configHome);
    // Any thread: xdgMusicFolder of this process's user (HOME, XDG_CONFIG_HOME or ~/.config).
    static std::filesystem::path defaultMusicFolder();
    // Any thread: the folder chosen in `defaults` when one is set, else defaultMusicFolder().
    static std::filesystem::path musicFolder(const UserDefaults& defaults);
    // Any thread: remembers `folder` as the chosen music folder ("" returns to the default).
    static void setMusicFolder(UserDefaults& defaults, const std::filesystem::path& folder);

    // Any thread: true for the extensions the import accepts ("mp3", "m4a", "flac", "ogg",
    // "opus", any case).
    static bool isImportableExtension(const std::filesystem::path& file);
    // Any thread: 64-bit FNV-1a of `file`'s path relative to `folder` (generic form, "/"
    // separators); of the whole normalised absolute path when `file` lies outside `folder`.
    static uint64_t persistentIDFor(const std::filesystem::path& file,
                                    const std::filesystem::path& folder);

    // Any thread: the scanned folder.
    const std::filesystem::path& folder() const { return folder_; }
    // Any non-render thread: every importable file under the folder, ordered by relative
    // path. Stops early, returning what it has, when `cancel` becomes true.
    std::vector<MusicLibraryItem> items(const std::atomic<bool>* cancel = nullptr) const;
    // Any non-render thread: the item for one file (inside the folder or not).
    MusicLibraryItem itemForFile(const std::filesystem::path& file) const;

    // Any non-render thread: copies `source` into the new file `destination` (which must not
    // exist), flushed to disk, adding to `bytesDone` as it goes. Stops when `cancel` is set.
    // On any failure, a short copy (fewer bytes than the source had when opened) or a
    // cancel, `destination` is removed and `*error` (if given) says why ("cancelled" for a
    // cancel).
    static bool copyWithProgress(const std::filesystem::path& source,
                                 const std::filesystem::path& destination,
                                 std::atomic<uint64_t>& bytesDone, const std::atomic<bool>& cancel,
                                 std::string* error);

private:
    std::filesystem::path folder_;
    std::filesystem::path idFolder_;
};

} // namespace vx

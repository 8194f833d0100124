// Fuzz target: the XDG user-dirs file, read for the music folder. Any content gives an absolute
// folder that is never the home itself.

#include "FuzzSupport.h"
#include "platform/MusicLibrary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vx;
    static const std::filesystem::path config = [] {
        const std::filesystem::path folder = fuzz::scratchPath("user-dirs");
        std::filesystem::create_directories(folder);
        return folder;
    }();
    fuzz::writeScratch(config / "user-dirs.dirs", data, size);
    const std::filesystem::path home = "/home/user";
    const std::filesystem::path music = MusicLibrary::xdgMusicFolder(home, config);
    VX_FUZZ_CHECK(music.is_absolute());
    VX_FUZZ_CHECK(music.lexically_normal() != home.lexically_normal());
    return 0;
}

// vx-gen-content: writes the built-in demo tracks, pad sounds and interface cues.
//   vx-gen-content OUTDIR [--jobs N] [--list]
// --list prints the files it would write (relative to OUTDIR) and exits.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "ContentGenerator.h"

int main(int argc, char** argv) {
    std::string outDir;
    int jobs = static_cast<int>(std::thread::hardware_concurrency());
    bool list = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--jobs" && i + 1 < argc) {
            jobs = std::atoi(argv[++i]);
        } else if (arg == "--list") {
            list = true;
        } else if (!arg.empty() && arg[0] != '-' && outDir.empty()) {
            outDir = arg;
        } else {
            std::fprintf(stderr, "usage: vx-gen-content OUTDIR [--jobs N] [--list]\n");
            return 2;
        }
    }
    if (list) {
        for (const std::string& f : vx::ContentGenerator::outputFiles())
            std::printf("%s\n", f.c_str());
        return 0;
    }
    if (outDir.empty()) {
        std::fprintf(stderr, "usage: vx-gen-content OUTDIR [--jobs N] [--list]\n");
        return 2;
    }
    if (jobs < 1)
        jobs = 1;
    if (jobs > 8)
        jobs = 8;
    const auto started = std::chrono::steady_clock::now();
    std::string error;
    if (!vx::ContentGenerator(outDir, jobs).run(&error)) {
        std::fprintf(stderr, "vx-gen-content: %s\n", error.c_str());
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("vx-gen-content: wrote %zu files to %s in %.1f s (%d threads)\n",
                vx::ContentGenerator::outputFiles().size(), outDir.c_str(), seconds, jobs);
    return 0;
}

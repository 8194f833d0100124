#pragma once

#include <string>
#include <vector>

namespace vx {

// Writes all generated resources into one output folder:
//   sound/<title>.mp3     the demo tracks (tagged, no tempo tag)
//   samples/fx_1..6.wav   pad one-shots
//   done.wav, rec.wav     interface cues
//   demo-tracks.json      manifest of the tracks (tempo, first-beat frame, length, sections)
// Tracks render in parallel on worker threads (each job owns all its buffers; results are
// joined before the manifest is written), and every job is deterministic, so the output is
// byte-identical however many threads run. The manifest is written last and doubles as the
// build's stamp file.
class ContentGenerator {
public:
    // Main thread; `threads` workers (at least one).
    ContentGenerator(std::string outputDir, int threads);

    // Main thread; generates everything. False + `error` (first failure) if anything failed.
    bool run(std::string* error);

    // Any thread; paths of every file run() writes, relative to the output folder.
    static std::vector<std::string> outputFiles();

private:
    std::string outputDir_;
    int threads_;
};

} // namespace vx

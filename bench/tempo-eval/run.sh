#!/bin/sh
# Tempo and beat-grid evaluation of `velvox-cli analyze`, outside the test suite. Audio stays in
# the cache folder, never in the repository.
#
#   bench/tempo-eval/run.sh [CACHE]        (default CACHE: ~/.cache/velvox-tempo-eval)
#
# Needs a built velvox-cli (build/src/cli/velvox-cli, or VELVOX_CLI=path), g++, ffmpeg with
# libmp3lame, python3 with numpy (PYTHON=path to choose another), and for the notated and real
# sets apt-get plus fluidsynth and fluid-soundfont-gm (to render MIDI) and the measuring tools
# aubio-tools, bpm-tools, soundstretch and vamp-examples (installed on the machine, not used by
# the project).
# Set SKIP_REAL=1 to run the generated half only.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cache=${1:-${HOME}/.cache/velvox-tempo-eval}
cli=${VELVOX_CLI:-$root/build/src/cli/velvox-cli}
py=${PYTHON:-python3}
gen="$cache/generated"
mkdir -p "$gen"

echo "== generated styles"
g++ -std=c++20 -O2 -I "$root/tests/analysis" "$here/generate.cpp" -o "$cache/generate"
"$cache/generate" "$gen" >/dev/null
for wav in "$gen"/*.wav; do
    ffmpeg -nostdin -v error -y -i "$wav" -codec:a libmp3lame -b:a 192k "${wav%.wav}.mp3"
    rm -f "$wav"
done
# A track that already has a peak file keeps its stored tempo (an override), so every run starts
# from fresh peak files and a fresh home.
rm -rf "$cache/home" "$gen"/*.peak
"$cli" --home "$cache/home" analyze "$gen"/*.mp3 --json >"$gen/results.json" || true
"$py" "$here/evaluate.py" generated "$gen/truth.csv" "$gen/results.json"

if [ "${SKIP_REAL:-0}" = 1 ]; then
    exit 0
fi
# Composed music with its score's tempo and beat grid: MIDI files from Debian packages,
# rendered with a General MIDI sound font.
echo
echo "== notated pieces"
"$py" "$here/midi_corpus.py" "$cache" | tail -1
rm -rf "$cache/home" "$cache/notated/audio"/*.peak
cut -d, -f2 "$cache/notated/truth.csv" | tail -n +2 | tr '\n' '\0' |
    xargs -0 "$cli" --home "$cache/home" analyze --json >"$cache/notated/results.json" || true
"$py" "$here/evaluate.py" notated "$cache/notated/truth.csv" "$cache/notated/results.json"
# The real sets: "main" is the one the estimator was developed on; "more", "held-out" and
# "unseen" were first measured after it was settled.
for set in main more held-out unseen; do
    dir=$cache
    [ "$set" = main ] || dir=$cache/$set
    echo
    echo "== real tracks, $set"
    "$py" "$here/real_corpus.py" "$cache" "$set" | tail -1
    rm -rf "$cache/home" "$dir/real"/*.peak
    cut -d, -f2 "$dir/real/reference.csv" | tail -n +2 | tr '\n' '\0' |
        xargs -0 "$cli" --home "$cache/home" analyze --json >"$dir/real/results.json" || true
    "$py" "$here/evaluate.py" real "$dir/real/reference.csv" "$dir/real/results.json"
    "$py" "$here/adjudicate.py" "$dir/real/reference.csv" "$dir/real/results.json"
done

#!/usr/bin/env python3
"""Builds the real half of the tempo evaluation in a cache folder (nothing is installed, no
audio goes into the repository):

  real_corpus.py CACHE [SET]

SET names a package list: "main" (the default, in CACHE), the set the estimator was developed
on, and "more", "held-out" and "unseen" (in CACHE/SET), packages first measured after the
estimator was settled, to see how it does on music it was not tuned on.

1. `apt-get download` the set's Debian packages into DIR/debs and unpack them with
   `dpkg-deb -x` into DIR/root;
2. take every music file (Ogg Vorbis, Opus, MP3, FLAC) of 45 s or more, linked as
   DIR/real/<package-path>.<ext>;
3. measure each with four independent open-source tempo tools from Debian, aubio-tools
   (`aubio tempo`), bpm-tools (`bpm`, fed by ffmpeg), soundstretch (`-bpm`, on a WAV
   decoded by ffmpeg) and the fixed-tempo estimator of vamp-examples (`vamp-simple-host
   vamp-example-plugins:fixedtempo`, which studies a short excerpt: the median of three 12 s
   excerpts at a quarter, half and three quarters of the track), and write
   DIR/real/reference.csv with the tracks where the largest group of tools that agree within
   1 BPM has at least two members and no other group as large agrees on another tempo
   (reference = the mean of the group) inside 80-180 BPM, the range the analysis reports.
   All measurements go to DIR/real/measured.csv; a rerun measures only what is missing.

The tools are measuring instruments only: `apt-get install aubio-tools bpm-tools
soundstretch vamp-examples` on the machine that runs the evaluation.
"""
import csv
import os
import re
import subprocess
import sys

PACKAGES = {
    "main": [
        "chromium-bsu-data", "neverball-data", "pingus-data", "frozen-bubble-data",
        "extremetuxracer-data", "lincity-ng-data", "xmoto-data", "warzone2100-music",
        "hedgewars-data", "supertux-data", "wesnoth-1.16-music", "freedroidrpg-data",
    ],
    "more": [
        "nexuiz-music", "openarena-data", "supertuxkart-data", "asc-music",
        "trigger-rally-data", "flare-game", "alienblaster-data", "openclonk-data",
    ],
    "held-out": [
        "widelands-data", "megaglest-data", "ri-li-data", "fillets-ng-data", "enigma-data",
        "powermanga-data", "glob2-data", "xblast-tnt-musics", "mu-cade-data",
        "holotz-castle-data", "blockattack", "triplea", "openyahtzee", "performous-tools",
    ],
    "unseen": [
        "redeclipse-data", "naev-data", "marsshooter-data", "warmux-data", "lugaru-data",
        "pokerth-data", "scorched3d-data", "endless-sky-data", "freeorion-data", "cube2-data",
        "solarwolf", "dreamchess-data", "cataclysm-dda-data", "open-invaders-data",
        "granatier", "pinball-data",
    ],
}
TOOLS = ("aubio", "bpm", "soundstretch", "vamp")
EXTENSIONS = (".ogg", ".opus", ".mp3", ".flac")


def run(cmd, **kw):
    return subprocess.run(cmd, check=False, capture_output=True, text=True, **kw)


def duration(path):
    r = run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0",
             path])
    try:
        return float(r.stdout.strip())
    except ValueError:
        return 0.0


def aubio_tempo(path):
    r = run(["aubio", "tempo", "-i", path])
    m = re.search(r"([0-9.]+) bpm", r.stdout)
    return float(m.group(1)) if m else 0.0


def bpm_tools(path):
    dec = subprocess.Popen(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-ac", "1", "-ar",
                            "44100", "-f", "f32le", "-"], stdout=subprocess.PIPE)
    r = subprocess.run(["bpm", "-m", "60", "-x", "200"], stdin=dec.stdout, capture_output=True,
                       text=True, check=False)
    dec.wait()
    try:
        return float(r.stdout.strip())
    except ValueError:
        return 0.0


def soundstretch(path, scratch):
    wav = os.path.join(scratch, "measure.wav")
    run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", path, "-ac", "1", "-ar", "44100",
         wav])
    r = run(["soundstretch", wav, "-bpm"])
    m = re.search(r"Detected BPM rate ([0-9.]+)", r.stdout + r.stderr)
    return float(m.group(1)) if m else 0.0


def vamp_tempo(path, scratch):
    """The fixed-tempo plugin's estimate, median of three 12 s excerpts."""
    env = dict(os.environ)
    env["VAMP_PATH"] = ":".join(
        ["/usr/lib/vamp", "/usr/local/lib/vamp"] +
        sorted(os.path.join("/usr/lib", d, "vamp") for d in os.listdir("/usr/lib")
               if os.path.isdir(os.path.join("/usr/lib", d, "vamp"))))
    wav = os.path.join(scratch, "measure.wav")
    length = duration(path)
    values = []
    for share in (0.25, 0.5, 0.75):
        start = max(0.0, share * length - 6.0)
        run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-ss", "%.2f" % start, "-t", "12",
             "-i", path, "-ac", "1", "-ar", "44100", wav])
        r = run(["vamp-simple-host", "vamp-example-plugins:fixedtempo:tempo", wav], env=env)
        m = re.search(r"([0-9.]+) bpm", r.stdout)
        if m:
            values.append(float(m.group(1)))
    values.sort()
    return values[len(values) // 2] if values else 0.0


def agreed(values):
    """The mean of the largest group of measurements within 1 BPM of each other (two or
    more), or 0 when there is none or another group as large agrees on another tempo."""
    groups = []
    for v in values:
        group = sorted(w for w in values if w > 0 and abs(w - v) <= 1.0)
        if v > 0 and len(group) >= 2 and group not in groups:
            groups.append(group)
    if not groups:
        return 0.0
    size = max(len(g) for g in groups)
    means = [sum(g) / len(g) for g in groups if len(g) == size]
    if max(means) - min(means) > 1.0:
        return 0.0
    return sum(means) / len(means)


def unpack_packages(packages, debs, root):
    """`apt-get download` each package not yet in `debs`, then `dpkg-deb -x` all into `root`
    (nothing is installed)."""
    for d in (debs, root):
        os.makedirs(d, exist_ok=True)
    for p in packages:
        if not any(f.startswith(p + "_") for f in os.listdir(debs)):
            subprocess.run(["apt-get", "download", p], cwd=debs, check=True)
    for f in sorted(os.listdir(debs)):
        subprocess.run(["dpkg-deb", "-x", os.path.join(debs, f), root], check=True)


def main(cache, which):
    if which != "main":
        cache = os.path.join(cache, which)
    debs = os.path.join(cache, "debs")
    root = os.path.join(cache, "root")
    real = os.path.join(cache, "real")
    os.makedirs(real, exist_ok=True)
    unpack_packages(PACKAGES[which], debs, root)

    tracks = []
    for dirpath, _, files in os.walk(root):
        for f in sorted(files):
            if not f.lower().endswith(EXTENSIONS):
                continue
            path = os.path.join(dirpath, f)
            if os.path.getsize(path) < 300_000 or duration(path) < 45.0:
                continue
            rel = os.path.relpath(path, os.path.join(root, "usr", "share"))
            name = re.sub(r"[^A-Za-z0-9._-]+", "_", rel.replace("/", "__"))
            link = os.path.join(real, name)
            if not os.path.lexists(link):
                os.symlink(path, link)
            tracks.append(name)

    measured_path = os.path.join(real, "measured.csv")
    measured = {}
    if os.path.exists(measured_path):
        for row in csv.DictReader(open(measured_path)):
            measured[row["name"]] = {t: float(row.get(t) or -1) for t in TOOLS}
    for name in sorted(tracks):
        path = os.path.join(real, name)
        m = measured.setdefault(name, {t: -1.0 for t in TOOLS})
        if m["aubio"] < 0:
            m["aubio"] = aubio_tempo(path)
        if m["bpm"] < 0:
            m["bpm"] = bpm_tools(path)
        if m["soundstretch"] < 0:
            m["soundstretch"] = soundstretch(path, real)
        if m["vamp"] < 0:
            m["vamp"] = vamp_tempo(path, real)
        print("%-70s %s" % (name, "  ".join("%s %6.1f" % (t, m[t]) for t in TOOLS)), flush=True)
        with open(measured_path, "w", newline="") as f:
            w = csv.writer(f)
            w.writerow(["name"] + list(TOOLS))
            for n in sorted(measured):
                w.writerow([n] + [measured[n][t] for t in TOOLS])
    kept = 0
    with open(os.path.join(real, "reference.csv"), "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["name", "file", "reference"] + list(TOOLS))
        for name in sorted(tracks):
            m = measured[name]
            ref = agreed([m[t] for t in TOOLS])
            if 80.0 <= ref <= 180.0:
                w.writerow([name, os.path.join(real, name), "%.2f" % ref] +
                           [m[t] for t in TOOLS])
                kept += 1
    if os.path.exists(os.path.join(real, "measure.wav")):
        os.remove(os.path.join(real, "measure.wav"))
    print("%d tracks measured, %d with an agreed reference" % (len(tracks), kept))


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3) or (len(sys.argv) == 3 and sys.argv[2] not in PACKAGES):
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2] if len(sys.argv) == 3 else "main")

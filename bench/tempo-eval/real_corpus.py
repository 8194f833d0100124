#!/usr/bin/env python3
"""Builds the real half of the tempo evaluation in a cache folder (nothing is installed, no
audio goes into the repository):

  real_corpus.py CACHE

1. `apt-get download` the Debian packages below into CACHE/debs and unpack them with
   `dpkg-deb -x` into CACHE/root;
2. take every music file (Ogg Vorbis, Opus, MP3, FLAC) of 45 s or more, linked as
   CACHE/real/<package-path>.<ext>;
3. measure each with two independent open-source tempo tools from Debian, aubio-tools
   (`aubio tempo`) and bpm-tools (`bpm`, fed by ffmpeg), and write CACHE/real/reference.csv with
   the tracks where both agree within 1 BPM (reference = their mean) inside 80-180 BPM, the
   range the analysis reports. All measurements go to CACHE/real/measured.csv.

The tools are measuring instruments only: `apt-get install aubio-tools bpm-tools` on the
machine that runs the evaluation.
"""
import csv
import os
import re
import subprocess
import sys

PACKAGES = [
    "chromium-bsu-data", "neverball-data", "pingus-data", "frozen-bubble-data",
    "extremetuxracer-data", "lincity-ng-data", "xmoto-data", "warzone2100-music",
    "hedgewars-data", "supertux-data",
]
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


def main(cache):
    debs = os.path.join(cache, "debs")
    root = os.path.join(cache, "root")
    real = os.path.join(cache, "real")
    for d in (debs, root, real):
        os.makedirs(d, exist_ok=True)
    for p in PACKAGES:
        if not any(f.startswith(p + "_") for f in os.listdir(debs)):
            subprocess.run(["apt-get", "download", p], cwd=debs, check=True)
    for f in sorted(os.listdir(debs)):
        subprocess.run(["dpkg-deb", "-x", os.path.join(debs, f), root], check=True)

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

    measured = []
    for name in sorted(tracks):
        path = os.path.join(real, name)
        a = aubio_tempo(path)
        b = bpm_tools(path)
        measured.append((name, a, b))
        print("%-70s aubio %6.1f  bpm %6.1f" % (name, a, b), flush=True)
    with open(os.path.join(real, "measured.csv"), "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["name", "aubio", "bpm"])
        w.writerows(measured)
    kept = 0
    with open(os.path.join(real, "reference.csv"), "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["name", "file", "reference", "aubio", "bpm"])
        for name, a, b in measured:
            ref = (a + b) / 2.0
            if a > 0 and b > 0 and abs(a - b) <= 1.0 and 80.0 <= ref <= 180.0:
                w.writerow([name, os.path.join(real, name), "%.2f" % ref, a, b])
                kept += 1
    print("%d tracks measured, %d with an agreed reference" % (len(measured), kept))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])

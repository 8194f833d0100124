#!/usr/bin/env python3
"""Builds the notated half of the tempo evaluation: composed music whose tempo and beat grid
are known from its score, not from tools that measure it.

  midi_corpus.py CACHE

1. `apt-get download` Debian packages that ship their music as Standard MIDI Files (in files,
   or as lumps of a Doom WAD) into CACHE/notated/debs and unpack them with `dpkg-deb -x`;
2. read each file's tempo map and note onsets, and keep the pieces with one tempo for the
   whole piece whose notes sit on a grid of sixteenths and eighth triplets (90 % or more of
   them, after the grid's best offset): their beat is the notated quarter, folded into 80-180 BPM by octaves (the
   range the analysis reports; 180 itself folds to 90, as the analysis reports it), and their
   first beat is the grid's offset;
3. render each with FluidSynth and the FluidR3 General MIDI sound font, encode it to MP3
   (LAME 192 kbit/s via ffmpeg) and write CACHE/notated/truth.csv for
   `evaluate.py notated`.

Rendering needs `apt-get install fluidsynth fluid-soundfont-gm` on the machine that runs the
evaluation; neither is used by the project.
"""
import csv
import hashlib
import os
import struct
import subprocess
import sys

from real_corpus import unpack_packages

PACKAGES = ["openttd-openmsx", "planetblupi-music-midi", "freedoom"]
SOUND_FONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
RATE = 44100


def number(data, i):
    """A MIDI variable-length quantity at data[i]: (value, index after it)."""
    value = 0
    while True:
        byte = data[i]
        i += 1
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            return value, i


def read_midi(data):
    """(ticks per quarter, [(tick, microseconds per quarter)], [note-on ticks])."""
    if data[:4] != b"MThd":
        raise ValueError("not a MIDI file")
    division = struct.unpack(">H", data[12:14])[0]
    if division & 0x8000:
        raise ValueError("SMPTE time")
    i = 8 + struct.unpack(">I", data[4:8])[0]
    tempos, onsets = [], []
    while data[i:i + 4] == b"MTrk":
        end = i + 8 + struct.unpack(">I", data[i + 4:i + 8])[0]
        i += 8
        tick = status = 0
        while i < end:
            delta, i = number(data, i)
            tick += delta
            if data[i] == 0xFF:
                kind = data[i + 1]
                length, i = number(data, i + 2)
                if kind == 0x51 and length == 3:
                    tempos.append((tick, int.from_bytes(data[i:i + 3], "big")))
                i += length
            elif data[i] in (0xF0, 0xF7):
                length, i = number(data, i + 1)
                i += length
            else:
                if data[i] & 0x80:
                    status = data[i]
                    i += 1
                kind = status & 0xF0
                if kind == 0x90 and data[i + 1] > 0:
                    onsets.append(tick)
                i += 1 if kind in (0xC0, 0xD0) else 2
        i = end
    return division, tempos, onsets


def grid_offset(division, onsets):
    """The offset (ticks, within half a sixteenth either way) of the beat grid whose sixteenths
    and eighth triplets (swing) hold the most onsets, and that share."""
    tolerance = division / 48.0

    def on_grid(t, step):
        return abs(t / step - round(t / step)) * step <= tolerance

    best, share = 0, 0.0
    for offset in range(division // 4):
        on = sum(on_grid(t - offset, division / 4.0) or on_grid(t - offset, division / 3.0)
                 for t in onsets)
        if on / len(onsets) > share:
            best, share = offset, on / len(onsets)
    # A grid a tick or two early is early, not most of a sixteenth late.
    return (best - division // 4 if best > division // 8 else best), share


def notated_truth(data):
    """(notated tempo, tempo in 80-180, first beat in seconds) of a piece, or None where it
    has no single tempo or no grid."""
    division, tempos, onsets = read_midi(data)
    values = {round(60e6 / us, 3) for tick, us in tempos if tick < max(onsets, default=0)}
    if len(values) > 1 or len(onsets) < 200:
        return None
    notated = values.pop() if values else 120.0  # no tempo event: the file's default, 120
    offset, share = grid_offset(division, onsets)
    if share < 0.9:
        return None
    tempo = notated
    while tempo < 80.0:
        tempo *= 2.0
    while tempo >= 180.0:
        tempo /= 2.0
    return notated, tempo, offset / division * 60.0 / notated


def midi_files(root):
    """(name, data) of every MIDI file and every MIDI lump of a WAD under root."""
    for dirpath, _, files in os.walk(root):
        for f in sorted(files):
            path = os.path.join(dirpath, f)
            if not f.lower().endswith((".mid", ".midi", ".wad")) or not os.path.isfile(path):
                continue
            data = open(path, "rb").read()
            if f.lower().endswith((".mid", ".midi")):
                yield os.path.splitext(f)[0], data
            elif f.lower().endswith(".wad") and data[:4] in (b"IWAD", b"PWAD"):
                count, table = struct.unpack("<ii", data[4:12])
                for k in range(count):
                    pos, size, lump = struct.unpack("<ii8s", data[table + 16 * k:table + 16 * k + 16])
                    if data[pos:pos + 4] == b"MThd":
                        lump = lump.rstrip(b"\0").decode("ascii", "replace")
                        yield "%s_%s" % (os.path.splitext(f)[0], lump), data[pos:pos + size]


def main(cache):
    top = os.path.join(cache, "notated")
    debs, root, audio = (os.path.join(top, d) for d in ("debs", "root", "audio"))
    os.makedirs(audio, exist_ok=True)
    unpack_packages(PACKAGES, debs, root)

    seen, rows = set(), []
    for name, data in midi_files(root):
        digest = hashlib.sha1(data).hexdigest()
        truth = None if digest in seen else notated_truth(data)
        seen.add(digest)
        if truth is None:
            continue
        notated, tempo, first = truth
        mid, mp3 = (os.path.join(audio, name + e) for e in (".mid", ".mp3"))
        if not os.path.exists(mp3):
            wav = os.path.join(audio, name + ".wav")
            open(mid, "wb").write(data)
            subprocess.run(["fluidsynth", "-ni", "-q", "-F", wav, "-r", str(RATE), "-g", "0.6",
                            SOUND_FONT, mid], check=True, stdout=subprocess.DEVNULL)
            subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", wav, "-codec:a",
                            "libmp3lame", "-b:a", "192k", mp3], check=True)
            os.remove(wav)
        rows.append((name, mp3, notated, tempo, first))
        print("%-40s %7.3f BPM, first beat %.3f s" % (name, tempo, first), flush=True)
    with open(os.path.join(top, "truth.csv"), "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["name", "file", "notated", "tempo", "first_seconds"])
        for name, mp3, notated, tempo, first in rows:
            w.writerow([name, mp3, "%.3f" % notated, "%.3f" % tempo, "%.4f" % first])
    print("%d notated pieces" % len(rows))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])

#!/usr/bin/env python3
"""The Qt shell's start-up and drawing rate, measured on the real application.

  bench/ui-frames.py PATH/TO/velvox [--runs N] [--seconds S] [--layout tablet|phone]

Start-up: N starts of `velvox --startup-time --no-sound` on a fresh home each (the first start
also builds the track database), each printing the time to the first frame drawn with both
decks loaded. Drawing: one `velvox --frame-rate S --no-sound` run, which starts both decks and
counts the frames drawn over S seconds; the engine's stderr is searched for "skip buffer"
(a deck whose decoder fell behind). Without a display the runs go through xvfb-run.

Goals: start-up under 1.5 s, at least 50 frames per second, no "skip buffer".
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile


# The virtual screen of each layout: a landscape tablet, a portrait phone.
SCREENS = {"tablet": "1280x800x24", "phone": "400x760x24"}


def run(cmd, env, layout):
    if not (os.environ.get("DISPLAY") or os.environ.get("WAYLAND_DISPLAY")):
        if not shutil.which("xvfb-run"):
            sys.exit("no display and no xvfb-run")
        cmd = ["xvfb-run", "-a", "-s", "-screen 0 " + SCREENS[layout]] + cmd
    done = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=300)
    return done.stdout, done.stderr


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("velvox")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--layout", choices=["tablet", "phone"], default="tablet")
    args = parser.parse_args()
    env = dict(os.environ)
    env.setdefault("QT_QPA_PLATFORM", "xcb")
    ok = True

    with tempfile.TemporaryDirectory() as home:
        starts = []
        for _ in range(args.runs):
            out, err = run([args.velvox, "--home", home, "--" + args.layout, "--no-sound",
                            "--startup-time"], env, args.layout)
            m = re.search(r"after ([0-9.]+) s", out)
            if not m:
                sys.exit("no start-up time printed:\n" + out + err)
            starts.append(float(m.group(1)))
        print("start-up to a drawn mixing screen: " +
              ", ".join("%.3f s" % s for s in starts) +
              " (first start on a fresh home first)")
        ok = ok and max(starts) < 1.5

        out, err = run([args.velvox, "--home", home, "--" + args.layout, "--no-sound",
                        "--frame-rate", str(args.seconds)], env, args.layout)
        m = re.search(r"([0-9.]+) fps", out)
        if not m:
            sys.exit("no frame rate printed:\n" + out + err)
        fps = float(m.group(1))
        skips = err.count("skip buffer")
        print(out.strip())
        print('"skip buffer" lines: %d' % skips)
        ok = ok and fps >= 50.0 * 0.98 and skips == 0

    print("goals (start-up < 1.5 s, 50 fps, no skip buffer): " + ("met" if ok else "MISSED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

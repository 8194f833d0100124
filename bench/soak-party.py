#!/usr/bin/env python3
"""Soak benchmark: a long party mix of the built-in tracks through velvox-cli.

Runs `velvox-cli party --minutes M --buffer 256 --no-record --json --verbose` on a fresh home,
samples the process's resident memory (VmRSS) every second, counts the engine's "skip buffer"
lines on stderr and reads the transitions from the JSON report. Passes when:
  - resident memory after the first hour of audio never exceeds the first hour's level by more
    than 5 %,
  - no "skip buffer" line was logged,
  - every transition's beat offset is within one buffer (256 frames, 5.8 ms).
The audio time of a memory sample is its wall time scaled by the run's audio/wall ratio (the
offline device renders at a steady rate).

usage: bench/soak-party.py VELVOX_CLI [--minutes 480]
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import threading
import time


def rss_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cli")
    parser.add_argument("--minutes", type=float, default=480.0)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="vx-soak-") as home:
        command = [args.cli, "--home", home, "party", "--minutes", str(args.minutes),
                   "--buffer", "256", "--no-record", "--json", "--verbose"]
        start = time.monotonic()
        child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 text=True)
        skips = 0
        errors = []

        def read_stderr():
            nonlocal skips
            for line in child.stderr:
                if "skip buffer" in line:
                    skips += 1
                elif "Error" in line or "failed" in line:
                    errors.append(line.rstrip())

        reader = threading.Thread(target=read_stderr)
        reader.start()
        out = []
        stdout_reader = threading.Thread(target=lambda: out.append(child.stdout.read()))
        stdout_reader.start()
        samples = []  # (wall seconds, KiB)
        while child.poll() is None:
            kib = rss_kib(child.pid)
            if kib:
                samples.append((time.monotonic() - start, kib))
            time.sleep(1.0)
        stdout_reader.join()
        reader.join()
        if child.returncode != 0:
            print(f"velvox-cli exited with {child.returncode}", file=sys.stderr)
            return 1
        report = json.loads(out[0])

    audio = report["seconds"]
    wall = report["wallSeconds"]
    ratio = audio / wall
    # Samples taken while the process ended (after the last buffer) count with the last hour.
    timeline = [(min(t * ratio, audio), kib) for t, kib in samples]
    first_hour = [kib for a, kib in timeline if a <= 3600.0]
    after = [kib for a, kib in timeline if a > 3600.0]
    base = max(first_hour) if first_hour else None
    peak_after = max(after) if after else None
    growth = (peak_after / base - 1.0) * 100.0 if base and peak_after else 0.0

    buffer_ms = 256 / 44.1
    offsets = [t["beatOffsetMs"] for t in report["transitions"]]
    unknown = sum(1 for o in offsets if o is None)
    known = [abs(o) for o in offsets if o is not None]
    off_beat = sum(1 for o in known if o > buffer_ms)

    print(f"audio {audio / 3600:.2f} h in {wall:.0f} s wall ({ratio:.0f}x real time)")
    print(f"RSS: first hour max {base / 1024:.1f} MiB, after it max {peak_after / 1024:.1f} MiB "
          f"({growth:+.2f} %), last {timeline[-1][1] / 1024:.1f} MiB, {len(samples)} samples"
          if base and peak_after else "RSS: too few samples")
    hours = max(1, int(-(-audio // 3600)))
    for hour in range(hours):
        hour_samples = [kib for a, kib in timeline
                        if hour * 3600 <= a < (hour + 1) * 3600 or (hour == hours - 1 and a == audio)]
        if hour_samples:
            print(f"  hour {hour + 1}: {min(hour_samples) / 1024:.1f}..{max(hour_samples) / 1024:.1f} MiB")
    print(f"transitions {len(offsets)}: max |beat offset| "
          f"{max(known) if known else 0:.3f} ms, {off_beat} beyond one buffer ({buffer_ms:.1f} ms), "
          f"{unknown} unmeasured")
    print(f"skip buffer lines: {skips}")
    for line in errors[:5]:
        print(f"  stderr: {line}")

    ok = growth <= 5.0 and skips == 0 and off_beat == 0 and unknown == 0 and len(offsets) > 0
    print("PASS" if ok else "FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

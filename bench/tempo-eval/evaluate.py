#!/usr/bin/env python3
"""Scores velvox-cli's tempo and first beat against references.

evaluate.py generated TRUTH.csv RESULTS.json   -- generated styles: exact tempo, first beat
evaluate.py real REFERENCE.csv RESULTS.json    -- real tracks: within 1 BPM of the reference
evaluate.py notated TRUTH.csv RESULTS.json     -- notated pieces: within 1 BPM, first beat

RESULTS.json is the output of `velvox-cli analyze FILE... --json`. Prints a Markdown table and
the summary lines that bench/README.md quotes.
"""
import csv
import json
import os
import sys

from real_corpus import TOOLS, agreed


def relation(found, ref):
    """Names the metrical relation of a wrong tempo to the reference."""
    if not found:
        return "none"
    r = found / ref
    for name, value in (("2:1", 2.0), ("1:2", 0.5), ("3:2", 1.5), ("2:3", 2 / 3),
                        ("4:3", 4 / 3), ("3:4", 0.75), ("3:1", 3.0), ("1:3", 1 / 3),
                        ("5:4", 1.25), ("4:5", 0.8)):
        if abs(r - value) < 0.02 * value:
            return name
    return "other"


def agreeing(row):
    """The size of the largest group of the reference file's tool readings within 1 BPM."""
    values = [float(row[t]) for t in TOOLS if row.get(t)]
    values = [v for v in values if v > 0]
    return max((sum(abs(w - v) <= 1.0 for w in values) for v in values), default=0)


def load_results(path):
    with open(path) as f:
        return {os.path.basename(row["path"]): row for row in json.load(f)}


def generated(truth_path, results_path):
    results = load_results(results_path)
    print("| style | tempo | found | first beat error (ms) |")
    print("|---|---|---|---|")
    exact = 0
    right = 0
    on_time = 0
    rows = list(csv.DictReader(open(truth_path)))
    confusions = {}
    for row in rows:
        name = os.path.splitext(row["file"])[0] + ".mp3"
        res = results.get(name, {})
        bpm = res.get("bpm") or 0.0
        tempo = float(row["tempo"])
        ok = abs(bpm - tempo) <= 0.6
        err_text = ""
        if ok:
            exact += 1
            right += 1
            period = 60.0 * 44100.0 / tempo
            first = res.get("firstBeatFrame")
            d = (first - float(row["first_frame"])) % period
            d = min(d, period - d) if d <= period / 2 else -(period - d)
            err = abs(d) / 44.1
            on_time += err <= 20.0
            err_text = "%.1f" % err
        else:
            rel = relation(bpm, tempo)
            confusions[rel] = confusions.get(rel, 0) + 1
        print("| %s | %g | %g | %s |" % (row["style"], tempo, bpm, err_text or "—"))
    print()
    print("generated, tempo exact (+-0.6 BPM): %d of %d" % (exact, len(rows)))
    print("generated, first beat within 20 ms when the tempo is right: %d of %d" %
          (on_time, right))
    print("confusions: %s" % (confusions or "none"))


def notated(truth_path, results_path):
    """Rendered MIDI pieces: the tempo within 1 BPM of the score's, and the first beat mark's
    distance to the score's beat grid (at the finer of the notated and the folded beat)."""
    results = load_results(results_path)
    rows = list(csv.DictReader(open(truth_path)))
    print("| piece | tempo | found | first beat error (beats) |")
    print("|---|---|---|---|")
    right = on_time = 0
    confusions = {}
    for row in rows:
        res = results.get(os.path.basename(row["file"]), {})
        bpm = res.get("bpm") or 0.0
        tempo = float(row["tempo"])
        text = relation(bpm, tempo)
        if abs(bpm - tempo) <= 1.0:
            right += 1
            beat = 60.0 / max(tempo, float(row["notated"]))
            error = (res["firstBeatFrame"] / 44100.0 - float(row["first_seconds"])) / beat
            error -= round(error)
            on_time += abs(error) * beat <= 0.020
            text = "%+.2f" % error
        else:
            confusions[text] = confusions.get(text, 0) + 1
        print("| %s | %g | %g | %s |" % (row["name"], tempo, bpm, text))
    print()
    print("notated, within 1 BPM: %d of %d" % (right, len(rows)))
    print("notated, first beat within 20 ms when the tempo is right: %d of %d" % (on_time, right))
    print("confusions: %s" % (confusions or "none"))


def real(reference_path, results_path):
    results = load_results(results_path)
    rows = list(csv.DictReader(open(reference_path)))
    print("| track | reference | found | relation |")
    print("|---|---|---|---|")
    hits = 0
    strong = [0, 0]  # tracks where three or more tools agree, and hits among them
    confusions = {}
    for row in rows:
        res = results.get(os.path.basename(row["file"]), {})
        bpm = res.get("bpm") or 0.0
        ref = float(row["reference"])
        ok = abs(bpm - ref) <= 1.0
        hits += ok
        if agreeing(row) >= 3:
            strong[0] += 1
            strong[1] += ok
        rel = "" if ok else relation(bpm, ref)
        if not ok:
            confusions[rel] = confusions.get(rel, 0) + 1
        print("| %s | %.1f | %g | %s |" % (row["name"], ref, bpm, rel or "ok"))
    print()
    print("real music, within 1 BPM of the reference: %d of %d (%.0f %%)" %
          (hits, len(rows), 100.0 * hits / max(1, len(rows))))
    print("where three or more tools agree: %d of %d" % (strong[1], strong[0]))
    print("confusions: %s" % (confusions or "none"))
    leave_one_out(rows, results)


def leave_one_out(rows, results):
    """Scores each tool against the agreement of the other tools, and us on the same tracks:
    how well the references themselves agree puts the hit rate above in proportion."""
    for tool in TOOLS:
        others = [t for t in TOOLS if t != tool]
        tracks = hits_tool = hits_ours = 0
        for row in rows:
            ref = agreed([float(row.get(t) or -1) for t in others])
            if not 80.0 <= ref <= 180.0:
                continue
            ours = results.get(os.path.basename(row["file"]), {}).get("bpm") or 0.0
            tracks += 1
            hits_tool += abs(float(row.get(tool) or -1) - ref) <= 1.0
            hits_ours += abs(ours - ref) <= 1.0
        print("against the agreement of all tools but %s: %d tracks, %s %d, velvox %d" %
              (tool, tracks, tool, hits_tool, hits_ours))


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] not in ("generated", "real", "notated"):
        sys.exit(__doc__)
    {"generated": generated, "real": real, "notated": notated}[sys.argv[1]](sys.argv[2], sys.argv[3])

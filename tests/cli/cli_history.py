#!/usr/bin/env python3
"""vantacheck-cli history as a lab runs it: demo tests of one subject made over several
weeks, indexed, then the history as JSON, whose every number is worked out again here from
the peak powers `archive list` gives; the table, the PDF and the bad input."""
import json
import re
import math
import os
import shutil
import sqlite3
import struct
import subprocess
import sys
import tempfile
import time

CLI = os.environ["CLI"]
failures = 0


def check(what, ok, detail=""):
    global failures
    print(("ok: " if ok else "FAILED: ") + what + ("" if ok or not detail else "\n" + str(detail)))
    if not ok:
        failures += 1


def run(*args):
    return subprocess.run([CLI, *args], capture_output=True, text=True, env=env)


def f32(v):
    return struct.unpack("<f", struct.pack("<f", v))[0]


env = dict(os.environ, LC_ALL="C.UTF-8", TZ="UTC")
env.pop("QT_QPA_PLATFORM", None)
work = tempfile.mkdtemp()
try:
    tests, data = os.path.join(work, "tests"), os.path.join(work, "DATA")
    os.makedirs(tests)
    week = 7 * 86400
    start = 1767225600  # 2026-01-01 00:00 UTC
    # (name, options, weeks after the start): both sides at 10 kg twice, then 20 kg, a test
    # of the right side only, and one attempt a side at 10 kg far above the right side's
    # earlier ones (seeds chosen so that some changes lie beyond error and some within).
    # Made in another order than taken.
    made = [("e", ["--load", "10", "--seed", "36", "--repetitions", "2"], 4),
            ("a", ["--load", "10", "--seed", "16", "--repetitions", "4"], 0),
            ("c", ["--load", "20", "--seed", "13", "--repetitions", "3"], 2),
            ("b", ["--load", "10", "--seed", "23", "--repetitions", "4"], 1),
            ("d", ["--load", "10", "--seed", "33", "--repetitions", "2", "--direction", "1"], 3)]
    for name, options, weeks in made:
        path = os.path.join(tests, name + ".kvq")
        subprocess.run([CLI, "demo", path, *options], check=True, capture_output=True, env=env)
        # The test time is the file's last four bytes.
        data_bytes = bytearray(open(path, "rb").read())
        struct.pack_into("<i", data_bytes, len(data_bytes) - 4, start + weeks * week)
        open(path, "wb").write(data_bytes)
    r = run("archive", "index", tests, "--data", data, "--sides", "normal")
    check("index: exit 0", r.returncode == 0, r.stderr)

    listed = json.loads(run("archive", "list", "--data", data, "--json").stdout)["tests"]
    r = run("history", "--subject", "demo subj", "--data", data, "--json")
    check("history --json: exit 0", r.returncode == 0, r.stderr)
    got = json.loads(r.stdout)

    # By hand: groups per test, side (+1 right) and load; the SEM pooled per side and load;
    # the changes, each judged by its own load's MDC95.
    listed.sort(key=lambda t: t["testTime"])
    expected_tests, groups = [], {}
    for t in listed:
        sides = {"left": {}, "right": {}}
        for rep in t["repetitions"]:
            side = "right" if rep["direction"] > 0 else "left"
            sides[side].setdefault(f32(rep["load"]), []).append(f32(rep["peakPower"]))
        entry = {"file": t["path"], "testTime": t["testTime"], "sides": {}}
        for side, loads in sides.items():
            entry["sides"][side] = []
            for load in sorted(loads):
                p = loads[load]
                mean = sum(p) / len(p)
                entry["sides"][side].append({"load": load, "attempts": len(p), "bestPeakPower": max(p),
                                             "meanPeakPower": mean})
                g = groups.setdefault((side, load), [])
                if len(p) >= 2:
                    g.append((len(p) - 1, sum((x - mean) ** 2 for x in p) / (len(p) - 1)))
        expected_tests.append(entry)
    expected_errors, mdc = [], {}
    for side in ("left", "right"):
        for load in sorted(l for s_, l in groups if s_ == side):
            g = groups[(side, load)]
            sem = math.sqrt(sum(n * v for n, v in g) / sum(n for n, _ in g)) if g else None
            mdc[(side, load)] = 1.96 * math.sqrt(2) * sem if sem is not None else None
            expected_errors.append({"side": side, "load": load, "testsWithRepeats": len(g), "sem": sem,
                                    "mdc95": mdc[(side, load)]})
    expected_changes = []
    for side in ("left", "right"):
        for load in sorted({l["load"] for t in expected_tests for l in t["sides"][side]}):
            seen = [(t["testTime"], l) for t in expected_tests for l in t["sides"][side] if l["load"] == load]
            pairs = [(p, "consecutive") for p in zip(seen, seen[1:])]
            pairs += [((seen[0], seen[-1]), "firstToLatest")] if len(seen) > 2 else []
            for ((t0, a), (t1, b)), kind in pairs:
                w = b["meanPeakPower"] - a["meanPeakPower"]
                expected_changes.append({"side": side, "load": load, "from": t0, "to": t1, "watts": w,
                                         "percent": w / a["meanPeakPower"] * 100, "mdc95": mdc[(side, load)],
                                         "beyondError": None if mdc[(side, load)] is None else abs(w) > mdc[(side, load)],
                                         "kind": kind})

    def same(a, b):
        if isinstance(a, float) or isinstance(b, float):
            return a is not None and b is not None and math.isclose(a, b, rel_tol=1e-12, abs_tol=1e-9)
        if isinstance(a, dict):
            return isinstance(b, dict) and sorted(a) == sorted(b) and all(same(a[k], b[k]) for k in a)
        if isinstance(a, list):
            return isinstance(b, list) and len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
        return a == b

    check("json: the subject", got["subject"] == "Demo Subject", got["subject"])
    check("json: five tests, oldest first", [t["testTime"] for t in got["tests"]] == [start + k * week for k in range(5)])
    check("json: each test's sides and loads as worked out by hand", same(got["tests"], expected_tests),
          json.dumps(got["tests"], indent=1))
    check("json: SEM and MDC95 per side and load", same(got["errors"], expected_errors),
          json.dumps(got["errors"], indent=1) + "\n" + json.dumps(expected_errors, indent=1))
    check("json: loads of different size, each with its own error",
          len({round(e["mdc95"], 6) for e in got["errors"] if e["mdc95"] is not None}) >= 2, got["errors"])
    check("json: the changes, judged", same(got["changes"], expected_changes),
          json.dumps(got["changes"], indent=1) + "\n" + json.dumps(expected_changes, indent=1))
    check("the history has changes of both kinds to judge",
          {c["beyondError"] for c in got["changes"]} >= {True, False}, got["changes"])
    check("the right-only test gives the left side no entry", got["tests"][3]["sides"]["left"] == [])

    # The sides change places (the right-only test is the left side's, the sides' numbers
    # swap) for tests indexed by a station with left and right swapped, and with
    # --swap-sides for tests indexed before stations kept their setting; --swap-sides
    # leaves a test whose station's setting is known as that station named it.
    def sides_swapped(r):
        swapped = json.loads(r.stdout) if r.returncode == 0 else {}
        return (r.returncode == 0 and swapped["tests"][3]["sides"]["right"] == [] and
                same(swapped["tests"][3]["sides"]["left"], got["tests"][3]["sides"]["right"]) and
                same([{**e, "side": {"left": "right", "right": "left"}[e["side"]]} for e in swapped["errors"]],
                     sorted(got["errors"], key=lambda e: (e["side"] == "left", e["load"]))))

    data_swapped, data_unknown = os.path.join(work, "DATA-swapped"), os.path.join(work, "DATA-unknown")
    run("archive", "index", tests, "--data", data_swapped, "--sides", "swapped")
    r = run("history", "--subject", "Demo Subject", "--data", data_swapped, "--json")
    check("a swapped station's tests: the sides change places", sides_swapped(r), r.stdout + r.stderr)
    r = run("history", "--subject", "Demo Subject", "--data", data, "--json", "--swap-sides")
    check("--swap-sides leaves tests of a known setting alone", r.returncode == 0 and not sides_swapped(r),
          r.stdout + r.stderr)
    shutil.copytree(data, data_unknown)
    db = sqlite3.connect(os.path.join(data_unknown, "archive.sqlite"))
    db.execute("UPDATE test SET sides_swapped = NULL")
    db.commit()
    db.close()
    r = run("history", "--subject", "Demo Subject", "--data", data_unknown, "--json", "--swap-sides")
    check("--swap-sides: the sides of tests of unknown setting change places", sides_swapped(r), r.stdout + r.stderr)

    text = run("history", "--subject", "Demo Subject", "--data", data)
    check("table: exit 0", text.returncode == 0, text.stderr)
    judged = [line for line in text.stdout.splitlines()
              if re.search(r"(own error at [0-9.]+ kg( \([0-9.]+ W\))?|no error estimate at [0-9.]+ kg yet)$", line)]
    check("table: one line per change", len(judged) == len(got["changes"]), text.stdout)

    # profile of the subject's indexed tests in a range of days: the same as profile over
    # exactly those files (weeks 1 to 3, the first and the last test left out).
    def day(weeks):
        return time.strftime("%Y-%m-%d", time.gmtime(start + weeks * week))

    by_files = run("profile", *[os.path.join(tests, n + ".kvq") for n in ("b", "c", "d")], "--json")
    by_subject = run("profile", "--subject", "demo subj", "--from", day(1), "--to", day(3), "--data", data, "--json")
    check("profile --subject --from --to: exit 0", by_subject.returncode == 0, by_subject.stderr)
    check("  the profile of exactly the files of those days",
          by_files.returncode == 0 and by_subject.stdout == by_files.stdout, by_subject.stdout + by_files.stdout)
    for args, what in ((["--subject", "demo", os.path.join(tests, "a.kvq")], "files and a subject"),
                       (["--subject", "demo", "--id", "x"], "both --subject and --id"),
                       ([os.path.join(tests, "a.kvq"), "--from", day(1)], "--from without a subject")):
        r = run("profile", "--data", data, *args)
        check("profile with " + what + ": exit 2 with a message", r.returncode == 2 and r.stderr.strip() and not r.stdout, r)

    for args, what in ((["--subject", "nobody"], "a subject without tests"),
                       ([], "neither --subject nor --id"),
                       (["--subject", "demo", "--id", "x"], "both --subject and --id")):
        r = run("history", "--data", data, *args)
        check(what + ": exit 2 with a message", r.returncode == 2 and r.stderr.strip() and not r.stdout, r)

    if shutil.which("pdftotext"):
        pdf = os.path.join(work, "history.pdf")
        r = run("history", "--subject", "demo", "--data", data, "--pdf", pdf)
        check("pdf: exit 0", r.returncode == 0, r.stderr)
        page = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True).stdout
        check("pdf: the title, the subject and the error lines",
              "History report" in page and "Demo Subject" in page and "MDC95" in page, page)
finally:
    shutil.rmtree(work, ignore_errors=True)
sys.exit(1 if failures else 0)

#!/usr/bin/env python3
"""vantacheck-cli profile as a user runs it: three demo tests at different loads as a
table, as JSON (checked against the table and worked out again here) and as a PDF whose
text holds every number of the table; then the bad input."""
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

CLI = os.environ["CLI"]
failures = 0


def check(what, ok, detail=""):
    global failures
    print(("ok: " if ok else "FAILED: ") + what + ("" if ok or not detail else "\n" + detail))
    if not ok:
        failures += 1


def run(*args):
    return subprocess.run([CLI, *args], capture_output=True, text=True, env=env)


if shutil.which("pdftotext") is None:
    sys.exit("pdftotext is missing: scripts/setup.sh installs poppler-utils")

env = dict(os.environ, LC_ALL="C.UTF-8", TZ="UTC")
env.pop("QT_QPA_PLATFORM", None)
work = tempfile.mkdtemp()
try:
    files = []
    for load in ("5", "10", "15"):
        path = os.path.join(work, "t%s.kvq" % load)
        # Three repetitions each, the sides alternating: both sides at every load.
        subprocess.run([CLI, "demo", path, "--load", load, "--seed", load], check=True, capture_output=True, env=env)
        files.append(path)

    text = run("profile", *files)
    check("table: exit 0", text.returncode == 0, text.stderr)
    rows = [line.split() for line in text.stdout.splitlines() if line.startswith(("left ", "right "))]
    check("table: one row per side and load", len(rows) == 6, text.stdout)

    r = run("profile", *files, "--json")
    check("json: exit 0", r.returncode == 0, r.stderr)
    data = json.loads(r.stdout)
    check("json: the shape", sorted(data) == ["asymmetry", "sides"] and sorted(data["sides"]) == ["left", "right"])
    for name in ("left", "right"):
        side = data["sides"][name]
        loads = side["loads"]
        check(name + ": three loads, sorted", [l["load"] for l in loads] == [5.0, 10.0, 15.0], str(loads))
        for l, row in zip(loads, [row for row in rows if row[0] == name]):
            shown = [row[1], row[2], row[4], row[5], row[6], row[7], row[8], row[9]]
            expected = ["%.2f" % l["load"], str(l["attempts"]), str(l["repetition"]), "%.1f" % l["peakPower"],
                        "%.1f" % l["meanPowerAcceleration"], "%.1f" % l["peakVelocity"],
                        "%.2f" % l["meanTorqueAcceleration"], "%.1f" % l["meanVelocityAcceleration"]]
            check(name + " %.0f kg: the table shows the JSON's numbers" % l["load"], shown == expected,
                  "%s\n%s" % (shown, expected))
            check(name + " %.0f kg: the file as given" % l["load"], l["file"] in files and row[3] == l["file"])
        # Three points: the parabola goes through each of them.
        fit = side["powerLoad"]
        for l in loads:
            p = fit["a"] * l["load"] ** 2 + fit["b"] * l["load"] + fit["c"]
            check(name + ": parabola through %.0f kg" % l["load"], abs(p - l["peakPower"]) < 1e-9 * max(1, p),
                  "%r against %r" % (p, l["peakPower"]))
        if fit["a"] < 0 and 5 <= -fit["b"] / (2 * fit["a"]) <= 15:
            check(name + ": the top is -b/2a", abs(fit["topLoad"] + fit["b"] / (2 * fit["a"])) < 1e-9, str(fit))
        else:
            check(name + ": no top inside the loads", fit["topLoad"] is None and fit["topPower"] is None, str(fit))
    by_load = {}
    for name in ("left", "right"):
        for l in data["sides"][name]["loads"]:
            by_load.setdefault(l["load"], {})[name] = l["peakPower"]
    best = {name: max(l["peakPower"] for l in data["sides"][name]["loads"]) for name in ("left", "right")}
    expected_asi = [(load, by_load[load]) for load in sorted(by_load)] + [("best", best)]
    check("asymmetry: every load, then the best", [a["load"] for a in data["asymmetry"]] == [e[0] for e in expected_asi],
          str(data["asymmetry"]))
    for a, (load, powers) in zip(data["asymmetry"], expected_asi):
        stronger = max(powers, key=powers.get)
        weaker = min(powers.values())
        pct = (powers[stronger] - weaker) / powers[stronger] * 100
        check("asymmetry %s: (stronger - weaker) / stronger" % load,
              a["stronger"] == stronger and abs(a["percent"] - pct) < 1e-9, "%s %s" % (a, powers))

    pdf = os.path.join(work, "profile.pdf")
    r = run("profile", *files, "--pdf", pdf)
    check("pdf: exit 0 without a display", r.returncode == 0, r.stderr)
    check("pdf: the same table on standard output", r.stdout == text.stdout)
    page = subprocess.run(["pdftotext", "-raw", pdf, "-"], capture_output=True, text=True, check=True).stdout
    check("pdf: one page titled Profile report", page.count("\f") == 1 and "Profile report" in page)
    def number_words(t):
        return [w.strip(",;") for w in t.split()]
    words = set(number_words(page))
    numbers = [w for w in number_words(text.stdout) if re.fullmatch(r"[-+]?\d+(\.\d+)?", w)]
    missing = [n for n in numbers if n not in words]
    check("pdf: every number of the table and its lines (%d)" % len(numbers), not missing, str(missing))

    # Bad input.
    r = run("profile", os.path.join(work, "none.kvq"))
    check("a missing file: status 2 and the station's message", r.returncode == 2 and "Error opening file" in r.stderr,
          r.stderr)
    r = run("profile", "--bogus", files[0])
    check("an unknown option: status 2", r.returncode == 2 and "Unknown option --bogus" in r.stderr, r.stderr)
    one = os.path.join(work, "right.kvq")
    zero = os.path.join(work, "zero.kvq")
    subprocess.run([CLI, "demo", one, "--direction", "1", "--load", "7.5"], check=True, capture_output=True, env=env)
    subprocess.run([CLI, "demo", zero, "--load", "0", "--repetitions", "2"], check=True, capture_output=True, env=env)
    r = run("profile", one, zero)
    check("one side only: says so", r.returncode == 0 and "One side only: no asymmetry" in r.stdout, r.stdout)
    check("load 0: left out and counted", "Left out: 2 repetitions with a load of 0 or below" in r.stdout, r.stdout)
    r = run("profile", one, zero, "--json")
    data = json.loads(r.stdout)
    check("one side only, json: no asymmetry, an empty side with null fits",
          data["asymmetry"] == [] and data["sides"]["left"] == {"loads": [], "powerLoad": None, "torqueVelocity": None}
          and data["sides"]["right"]["loads"][0]["attempts"] == 3, r.stdout)
    check("one side only, json: the note on standard error",
          "One side only" in r.stderr and "load of 0 or below" in r.stderr, r.stderr)

    # One test is one test however often it is named (again, or through a link), and the
    # tests of two subjects are refused unless asked for.
    link = os.path.join(work, "link.kvq")
    os.symlink(files[0], link)
    once = run("profile", *files, "--json").stdout
    r = run("profile", *files, files[0], link, "--json")
    check("a test named twice and through a link counts once", r.returncode == 0 and r.stdout == once, r.stderr)
    other = os.path.join(work, "other.kvq")
    subprocess.run([CLI, "demo", other, "--load", "20", "--subject", "Ann Lee"], check=True, capture_output=True,
                   env=env)
    r = run("profile", files[0], other)
    check("two subjects' tests: refused naming both", r.returncode == 2 and r.stdout == "" and
          "Demo Subject" in r.stderr and "Ann Lee" in r.stderr, r.stderr)
    r = run("profile", files[0], other, "--subjects-may-differ")
    check("two subjects' tests with --subjects-may-differ: taken together", r.returncode == 0, r.stderr)

    # --pdf replaces nothing without --overwrite, and never a test: not one named, not another.
    before = open(files[1], "rb").read()
    for extra in ([], ["--overwrite"]):
        r = run("profile", files[0], files[1], "--pdf", files[1], *extra)
        check("--pdf one of the tests named %s: refused, status 2" % extra,
              r.returncode == 2 and "itself; it would be overwritten" in r.stderr, r.stderr)
    r = run("profile", files[0], "--pdf", files[2], "--overwrite")
    check("--pdf another test, with --overwrite: refused", r.returncode == 2 and "is a test file" in r.stderr, r.stderr)
    check("the tests are unchanged", open(files[1], "rb").read() == before and open(files[2], "rb").read()[:1] != b"%")
    kept = os.path.join(work, "kept.pdf")
    open(kept, "w").write("the lab's notes")
    r = run("profile", files[0], "--pdf", kept)
    check("--pdf an existing file: refused without --overwrite",
          r.returncode == 2 and "exists" in r.stderr and open(kept).read() == "the lab's notes", r.stderr)
    r = run("profile", files[0], "--pdf", kept, "--overwrite")
    check("--pdf an existing file with --overwrite: replaced", r.returncode == 0 and open(kept, "rb").read(4) == b"%PDF",
          r.stderr)

    # A damaged file: the first repetition's load is not a number.
    data = bytearray(open(files[0], "rb").read())
    at = 0
    for _ in range(2):  # tag, name
        at += 1 + data[at]
    at += 12  # sex, height, weight
    for _ in range(3):  # comments
        at += 1 + data[at]
    at += 4 + 4 + 24  # repetition count, direction, channel offsets
    check("damaged file: the load found", struct.unpack_from("<f", data, at)[0] == 5.0)
    struct.pack_into("<f", data, at, float("nan"))
    damaged = os.path.join(work, "damaged.kvq")
    open(damaged, "wb").write(data)
    r = run("profile", files[1], damaged)
    check("a NaN load: refused as incompatible data, status 2",
          r.returncode == 2 and r.stdout == "" and damaged + ": Incompatible data" in r.stderr, r.stdout + r.stderr)
finally:
    shutil.rmtree(work)

print("%d failure(s)" % failures)
sys.exit(1 if failures else 0)

#!/usr/bin/env python3
"""vantacheck-cli report as a user runs it: the PDF is read back with pdftotext and every
text the page must carry is looked for, line by line; then the failures."""
import csv
import io
import json
import os
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


def run(*args, env=None):
    return subprocess.run([CLI, *args], capture_output=True, text=True, env=env)


def squeeze(text):
    return " ".join(text.split())


def pdf_lines(path):
    # -raw keeps the order of the page's drawing: one printed line of the page per line.
    out = subprocess.run(["pdftotext", "-raw", path, "-"], capture_output=True, text=True, check=True).stdout
    return [squeeze(line) for line in out.splitlines() if line.strip()]


def pages(path):
    info = subprocess.run(["pdfinfo", path], capture_output=True, text=True, check=True).stdout
    return int(next(line.split()[1] for line in info.splitlines() if line.startswith("Pages:")))


def f32(value):
    return struct.unpack("f", struct.pack("f", value))[0]


def cell(value):
    return "%4.1f" % f32(value)


if shutil.which("pdftotext") is None:
    sys.exit("pdftotext is missing: scripts/setup.sh installs poppler-utils")

# The texts of the page are fixed by the user's locale; this test reads them in C's.
env = dict(os.environ, LC_ALL="C.UTF-8", TZ="UTC")
env.pop("QT_QPA_PLATFORM", None)  # the command must find a platform by itself
work = tempfile.mkdtemp()
try:
    kvq = os.path.join(work, "a.kvq")
    subprocess.run([CLI, "demo", kvq, "--repetitions", "3", "--seed", "7"], check=True, capture_output=True, env=env)
    data = json.loads(run("analyse", "--json", kvq, env=env).stdout)
    date = run("analyse", kvq, env=env).stdout.split("\nDate: ")[1].split("\n")[0]  # "dd.mm.yyyy HH:MM:SS"

    # Digital report of the second repetition.
    pdf = os.path.join(work, "digital.pdf")
    r = run("report", kvq, "--repetition", "2", "--kind", "digital", "--pdf", pdf, env=env)
    check("digital report: exit 0 without a display", r.returncode == 0, r.stderr)
    check("digital report: nothing on standard error", r.stderr == "", r.stderr)
    lines = pdf_lines(pdf)
    rep = data["repetitions"][1]
    res = rep["results"]
    day, clock = date.split(" ")
    expected = [
        "DIGITAL REPORT Page: 1/1",
        squeeze("Name: %s Date: %s at %s Weight: %5.2f No: 2" % (data["subject"]["name"], day, clock, f32(rep["loadMass"]))),
        "Total Acceleration Phase Deceleration Phase",
    ]
    means = ["F mean (N)", "P mean (W)", "v mean (deg/s)", "s (deg)", "torque mean (N.m)"]
    peaks = ["F peak (N)", "P peak (W)", "v peak (deg/s)", None, "torque peak (N.m)"]
    for k, label in enumerate(means):
        expected.append(" ".join([label] + [cell(res[row][k]) for row in ("MeanAll", "MeanAcceleration", "MeanDeceleration")]))
    for k, label in enumerate(peaks):
        if label:
            expected.append(label + " " + cell(res["PeakAll"][k]))
    missing = [e for e in map(squeeze, expected) if e not in lines]
    check("digital report: title, page number, header and every row on the page", not missing,
          "missing: %r\npage: %r" % (missing, lines))
    check("digital report: one page", pages(pdf) == 1)

    # Graph report of the third repetition: readouts over the whole stroke, the cursors at
    # its ends, worked out here from the per-sample curves with the station's float32 sums.
    pdf = os.path.join(work, "graph.pdf")
    r = run("report", kvq, "--repetition", "3", "--kind", "graph", "--pdf", pdf, env=env)
    check("graph report: exit 0 without a display", r.returncode == 0 and r.stderr == "", r.stderr)
    words = " " + " ".join(pdf_lines(pdf)) + " "
    rep = data["repetitions"][2]
    rows = list(csv.reader(io.StringIO(run("series", kvq, "--repetition", "3", env=env).stdout)))[1:]
    column = {0: 1, 1: 2, 2: 3, 3: 5, 4: 6}  # quantity code -> CSV column

    def at(i, q):
        return float(rows[i][column[q]])

    xl, xr = 100, rep["sampleCount"] - 150
    sums = {}
    for q in (0, 3):  # the station's default quantities: velocity (deg/s) and force
        total = 0.0
        for i in range(xl, xr + 1):
            total = f32(total + at(i, q))
        sums[q] = total
    n = xr - xl + 1
    expected = [
        "Graph report Page: 1/1",
        "Name: %s" % data["subject"]["name"],
        "Weight: %5.2f No: 3" % f32(rep["loadMass"]),
        "XL: %d" % xl, "XR: %d" % xr, "diff X: %d" % (xr - xl),
        "left Y1:%6.1f" % at(xl, 0), "int Y1: %6.1f" % (sums[0] / 1000), "avr Y1: %6.1f" % (sums[0] / n),
        "right Y1:%6.1f" % at(xr, 0),
        "left Y2: %6.1f" % at(xl, 3), "int Y2: %6.1f" % (sums[3] / 1000), "avr Y2: %6.1f" % (sums[3] / n),
        "right Y2: %6.1f" % at(xr, 3),
        "velocity (deg/s)", "Force (N)", "TIME (ms)", "100",
    ]
    missing = [e for e in expected if " " + squeeze(e) + " " not in words]
    check("graph report: title, page number, header, the eleven readouts and the axis titles", not missing,
          "missing: %r\npage: %r" % (missing, words))
    check("graph report: one page", pages(pdf) == 1)

    r = run("report", kvq, "--repetition", "1", "--kind", "graph", "--y1", "2", "--y2", "4", "--pdf", pdf, env=env)
    words = " " + " ".join(pdf_lines(pdf)) + " "
    check("--y1 and --y2 choose the quantities on the axes",
          r.returncode == 0 and " velocity (cm/s) " in words and " Power (W) " in words and " Force (N) " not in words,
          words)
    r = run("report", kvq, "--repetition", "1", "--kind", "graph", "--y1", "5", "--pdf", pdf, env=env)
    check("a quantity code beyond 4: exit 2", r.returncode == 2, r.stderr)

    # Failures: the station's messages, exit status 2, and no PDF left behind.
    out = os.path.join(work, "x.pdf")
    r = run("report", kvq, "--repetition", "4", "--kind", "digital", "--pdf", out, env=env)
    check("a repetition beyond the test names the valid range", r.returncode == 2 and "1 to 3" in r.stderr, r.stderr)
    check("... and writes no file", not os.path.exists(out))
    r = run("report", kvq, "--repetition", "0", "--kind", "digital", "--pdf", out, env=env)
    check("repetition 0 is refused (they count from 1)", r.returncode == 2, r.stderr)
    r = run("report", os.path.join(work, "none.kvq"), "--repetition", "1", "--kind", "digital", "--pdf", out, env=env)
    check("a missing test file: Error opening file", r.returncode == 2 and "Error opening file" in r.stderr, r.stderr)
    r = run("report", kvq, "--repetition", "1", "--kind", "table", "--pdf", out, env=env)
    check("an unknown kind: exit 2", r.returncode == 2, r.stderr)
    r = run("report", kvq, "--repetition", "1", "--kind", "digital", "--pdf", os.path.join(work, "no", "x.pdf"), env=env)
    check("a PDF into a missing folder: File Save Error", r.returncode == 2 and "File Save Error" in r.stderr, r.stderr)
    check("report --help", "Usage" in run("report", "--help", env=env).stdout)
finally:
    shutil.rmtree(work)

print("%d failures" % failures)
sys.exit(1 if failures else 0)

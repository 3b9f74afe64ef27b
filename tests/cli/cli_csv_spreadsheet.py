#!/usr/bin/env python3
"""The station's CSV opened in a spreadsheet (LibreOffice, headless): names a spreadsheet
would take for formulas stay text, and the numbers stay numbers.

Sixteen tests of subjects whose names begin with =, +, -, @, TAB or CR go through
`archive list --csv` and `summary`; each CSV is converted to OpenDocument and no cell of
it may hold a formula."""
import csv
import io
import os
import re
import subprocess
import sys
import tempfile
import zipfile

CLI = os.environ["CLI"]
SOFFICE = os.environ.get("SOFFICE", "soffice")

HOSTILE = [
    '=HYPERLINK("http://x","y")',
    "=1+1",
    "+1+1",
    "-1+1",
    "@SUM(1,1)",
    "\t=1+1",
    "\r=1+1",
    "=cmd|' /C calc'!A0",
    "+A1",
    "-A1",
    "@A1",
    "=A1*2",
    "=-2",
    '+"x"',
    '-"x"&"y"',
    "=SUM(A1:A2)",
]

failures = []


def check(what, ok):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def run(*args):
    env = {k: v for k, v in os.environ.items() if k != "VANTA_ARCHIVE_URL"}
    env["TZ"] = "UTC"
    # Bytes, not text: a CR inside a name stays a CR.
    return subprocess.run([CLI, *args], capture_output=True, check=True, env=env).stdout.decode()


def cells(ods):
    """The cells of the first sheet, row by row: (value type, formula or None, text)."""
    with zipfile.ZipFile(ods) as z:
        content = z.read("content.xml").decode()
    rows = []
    for row in re.findall(r"<table:table-row[^>]*>(.*?)</table:table-row>", content, re.S):
        out = []
        for attrs, body in re.findall(r"<table:table-cell([^>]*?)(?:/>|>(.*?)</table:table-cell>)", row, re.S):
            repeat = re.search(r'table:number-columns-repeated="(\d+)"', attrs)
            kind = re.search(r'office:value-type="(\w+)"', attrs)
            formula = re.search(r'table:formula="([^"]*)"', attrs)
            cell = (kind.group(1) if kind else None, formula.group(1) if formula else None, body or "")
            out.extend([cell] * (int(repeat.group(1)) if repeat and not kind else 1))
        rows.append(out)
    return rows


with tempfile.TemporaryDirectory() as work:
    tests, data = os.path.join(work, "tests"), os.path.join(work, "DATA")
    os.makedirs(tests)
    paths = []
    for i, name in enumerate(HOSTILE):
        path = os.path.join(tests, f"t{i:02d}.kvq")
        run("demo", path, "--seed", str(i + 1), "--repetitions", "2", f"--subject={name}",
            "--time", f"2026-01-{i + 1:02d}T10:00")
        paths.append(path)
    run("archive", "index", tests, "--data", data)
    tables = {
        "archive list --csv": run("archive", "list", "--data", data, "--csv"),
        "summary": run("summary", *paths, "--data", data),
    }
    for what, text in tables.items():
        rows = list(csv.DictReader(io.StringIO(text, newline="")))
        check(f"{what}: 32 rows", len(rows) == 32)
        check(f"{what}: each name is its own behind one apostrophe",
              sorted({r["name"] for r in rows}) == sorted("'" + n for n in HOSTILE))
        name = os.path.join(work, what.split()[0] + ".csv")
        with open(name, "w", newline="") as f:  # the CSV's bytes as the station wrote them
            f.write(text)
        profile = "file://" + os.path.join(work, "lo-profile")
        subprocess.run([SOFFICE, "--headless", f"-env:UserInstallation={profile}", "--convert-to", "ods",
                        "--outdir", work, name], capture_output=True, check=True, timeout=300)
        sheet = cells(name[:-4] + ".ods")
        header = [c[2] for c in sheet[0]]
        formulas = [c[1] for row in sheet for c in row if c[1]]
        check(f"{what} in LibreOffice: no formula ({formulas[:3]})", not formulas)
        body = sheet[1:33]
        load = [row[header.index("<text:p>load_kg</text:p>")] for row in body]
        names = [row[header.index("<text:p>name</text:p>")] for row in body]
        check(f"{what} in LibreOffice: the loads are numbers", all(c[0] == "float" for c in load))
        check(f"{what} in LibreOffice: the names are text", all(c[0] == "string" for c in names))

sys.exit(1 if failures else 0)

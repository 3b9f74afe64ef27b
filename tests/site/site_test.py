#!/usr/bin/env python3
"""vantacheck-cli site as a lab runs it: two stations sync their tests to the test cluster's
archive (one athlete with two ids merged, one with a hostile name), the site is made with
--url, and its pages are read back: every athlete once, each number equal to history --json
and profile --json, names escaped, a second run rewriting only what changed, and every page
in headless Chromium at a phone's and a laptop's width."""
import glob
import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Browser, chromium_path  # noqa: E402

CLI = os.environ["CLI"]
PG = os.environ["VANTA_TEST_PG_DIR"]
SHOTS = os.environ.get("SHOTS", "")
if SHOTS:
    shutil.rmtree(SHOTS, ignore_errors=True)
    os.makedirs(SHOTS, exist_ok=True)
HERE = os.path.dirname(os.path.abspath(__file__))
failures = 0


def check(what, ok, detail=""):
    global failures
    print(("ok: " if ok else "FAILED: ") + what + ("" if ok or not detail else "\n" + str(detail)[:3000]))
    if not ok:
        failures += 1


env = dict(os.environ, LC_ALL="C.UTF-8", TZ="Europe/Vienna")
env.pop("QT_QPA_PLATFORM", None)
env.pop("VANTA_ARCHIVE_URL", None)


def run(*args, ok=True):
    r = subprocess.run([CLI, *args], capture_output=True, text=True, env=env)
    if ok and r.returncode != 0:
        raise RuntimeError(" ".join(args) + ": " + r.stderr)
    return r


def psql(sql, db="postgres"):
    subprocess.run(["bash", os.path.join(HERE, "..", "archive", "pg_cluster.sh"), "psql", PG, "-d", db, "-qtA",
                    "-c", sql], check=True, capture_output=True)


def attrs(tag):
    return {k: html.unescape(v) for k, v in re.findall(r'([a-z0-9-]+)="([^"]*)"', tag)}


def num(text):
    return None if text == "" else float(text)


def jnum(v):
    return None if v is None else float(v)


HOSTILE = "<script>alert(1)</script> =HYPERLINK(\"http://x\",'y') & \"Zoë\""

work = tempfile.mkdtemp()
os.chmod(work, 0o755)
db = "site_%d" % os.getpid()
try:
    port = open(os.path.join(PG, "port")).read().strip()
    psql("CREATE DATABASE " + db)
    url = "postgresql://postgres@/%s?host=%s&port=%s" % (db, PG, port)
    A, B = os.path.join(work, "A"), os.path.join(work, "B")

    def demo(folder, name, seed, when, load, reps=4, form=0):
        path = os.path.join(folder, "tests", "t%d.kvq" % seed)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        run("demo", path, "--seed", str(seed), "--subject", name, "--time", when, "--load", str(load),
            "--repetitions", str(reps), "--form", str(form))

    def sync(folder, station):
        run("archive", "index", os.path.join(folder, "tests"), "--data", folder)
        r = subprocess.run([CLI, "archive", "sync", "--data", folder, "--station", station], capture_output=True,
                           text=True, env=dict(env, VANTA_ARCHIVE_URL=url))
        if r.returncode != 0:
            raise RuntimeError("sync: " + r.stderr)

    # Station A: Anna over five weeks at three loads (the latest two tests on one day), the
    # hostile name, and Carl; station B knows Carl under an id of its own (made while the
    # archive was away), and tests Anna once more.
    run("subjects", "add", "Anna Novák", "--data", A, "--url", url)
    run("subjects", "add", HOSTILE, "--data", A, "--url", url)
    carl_a = run("subjects", "add", "Carl", "--data", A, "--url", url).stdout.split()[0]
    carl_b = run("subjects", "add", "Carl", "--data", B).stdout.split()[0]
    seed = 0
    for week, day in enumerate(["2026-02-02", "2026-02-09", "2026-02-16", "2026-03-02"]):
        for load in (10, 20, 30):
            seed += 1
            demo(A, "Anna Novák", seed, "%sT09:%02d" % (day, 10 + seed), load, form=4 * week)
    demo(A, "Anna Novák", 40, "2026-03-02T16:30", 20, form=20)
    demo(A, "Anna Novák", 39, "2026-01-05T09:00", 10)  # before the last 30 days
    demo(A, HOSTILE, 41, "2026-02-03T10:00", 15)
    demo(A, HOSTILE, 42, "2026-02-10T10:00", 15)
    demo(A, "Carl", 43, "2026-02-04T11:00", 12)
    demo(A, "Carl", 44, "2026-02-11T11:00", 12)
    demo(B, "Carl", 45, "2026-02-18T11:00", 12)
    demo(B, "Carl", 46, "2026-02-25T11:00", 12)
    sync(A, "station A")
    sync(B, "station B")

    site = os.path.join(work, "site")
    r = run("site", "--out", site, "--url", url)
    check("site --url: exit 0", r.returncode == 0, r.stderr)
    before = {p: os.stat(p).st_ino for p in glob.glob(os.path.join(site, "**", "*.html"), recursive=True)}
    check("two ids of Carl before the merge: two pages", os.path.exists(os.path.join(site, "athletes", carl_b + ".html")))

    # The merge makes Carl one athlete: her pages, the athletes pages, nothing else.
    run("subjects", "merge", carl_a, carl_b, "--url", url, "--data", A)
    r = run("site", "--out", site, "--url", url)
    after = {p: os.stat(p).st_ino for p in glob.glob(os.path.join(site, "**", "*.html"), recursive=True)}
    rewritten = sorted(os.path.relpath(p, site) for p in after if before.get(p) != after[p])
    check("after a merge only Carl's page and the athletes pages are written again",
          rewritten == sorted(["athletes/%s.html" % carl_a, "index.html", "latest.html"]), rewritten)
    check("the merged id's page is gone", not os.path.exists(os.path.join(site, "athletes", carl_b + ".html")))

    index = open(os.path.join(site, "index.html"), encoding="utf-8").read()
    rows = [attrs(m) for m in re.findall(r"<tr data-name=[^>]*>", index)]
    keys = [r["data-key"] for r in rows]
    listed = json.loads(run("subjects", "list", "--url", url, "--json").stdout)["subjects"]
    check("the athletes page lists every athlete of the archive once (Carl once)",
          sorted(keys) == sorted(s["id"] for s in listed) and len(keys) == 3, (keys, listed))
    carl_row = next(r for r in rows if r["data-key"] == carl_a)
    check("Carl's row counts the tests of both ids", carl_row["data-tests"] == "4", carl_row)

    # Hostile names are text, wherever they appear.
    for page in [index] + [open(p, encoding="utf-8").read() for p in glob.glob(os.path.join(site, "athletes", "*"))]:
        body = page[page.index("<body>"):]
        scripts = re.findall(r"<script[ >]", body)
        check("no script element but the search's own", len(scripts) <= 1 and "alert(1)</script>" not in page)
    check("the hostile name shows escaped",
          "&lt;script&gt;alert(1)&lt;/script&gt; =HYPERLINK(&quot;http://x&quot;,&apos;y&apos;) &amp; &quot;Zoë&quot;"
          in index, index[:2000])

    # Anna's page against history --json and profile --json.
    anna = next(s["id"] for s in listed if s["name"] == "Anna Novák")
    page = open(os.path.join(site, "athletes", anna + ".html"), encoding="utf-8").read()
    hist = json.loads(run("history", "--subject", "Anna Novák", "--url", url, "--json").stdout)
    changes = [attrs(m) for m in re.findall(r"<tr class=\"(?:left|right)[^>]*>", page)]
    got = [(c["data-side"], num(c["data-load"]), int(c["data-from"]), int(c["data-to"]), num(c["data-watts"]),
            num(c["data-percent"]), c["data-beyond"], c["data-kind"]) for c in changes]
    want = [(c["side"], jnum(c["load"]), c["from"], c["to"], jnum(c["watts"]), jnum(c["percent"]),
             "" if c["beyondError"] is None else str(c["beyondError"]).lower(), c["kind"]) for c in hist["changes"]]
    check("every change on the page is history --json's, number for number", got == want and len(want) > 6,
          (got[:3], want[:3]))
    errors = [attrs(m) for m in re.findall(r"<p class=\"(?:left|right)\" data-side[^>]*>", page)]
    check("the test error per side and load is history --json's",
          [(e["data-side"], num(e["data-load"]), num(e["data-sem"]), num(e["data-mdc95"])) for e in errors] ==
          [(e["side"], jnum(e["load"]), jnum(e["sem"]), jnum(e["mdc95"])) for e in hist["errors"]],
          (errors, hist["errors"]))
    tests = [attrs(m) for m in re.findall(r"<tr data-time=[^>]*>", page)]
    check("the page's tests are the history's", sorted(int(t["data-time"]) for t in tests) ==
          sorted(t["testTime"] for t in hist["tests"]))
    for pid, frm, to in (("latest-day", "2026-03-02", "2026-03-02"), ("last-30-days", "2026-02-01", "2026-03-02")):
        m = re.search(r'<div class="profile" id="%s"[^>]*>' % pid, page)
        block = page[m.start():page.index("</div>", m.end())]
        p = attrs(m.group(0))
        prof = json.loads(run("profile", "--subject", "Anna Novák", "--url", url, "--from", frm, "--to", to,
                              "--json").stdout)
        ok = p["data-tests"] == ("4" if pid == "latest-day" else "13")
        for s in ("left", "right"):
            pl = prof["sides"][s]["powerLoad"] or {}
            tv = prof["sides"][s]["torqueVelocity"] or {}
            ok = ok and num(p["data-%s-top-load" % s]) == jnum(pl.get("topLoad")) and \
                num(p["data-%s-top-power" % s]) == jnum(pl.get("topPower")) and \
                num(p["data-%s-torque-top-power" % s]) == jnum(tv.get("topPower"))
        asym = [attrs(x) for x in re.findall(r'<li class="asymmetry"[^>]*>', block)]
        ok = ok and len(asym) == len(prof["asymmetry"]) and all(
            (a["data-load"] == "best") == (j["load"] == "best") and
            (j["load"] == "best" or num(a["data-load"]) == jnum(j["load"])) and
            a["data-stronger"] == (j["stronger"] or "") and num(a["data-percent"]) == jnum(j["percent"])
            for a, j in zip(asym, prof["asymmetry"]))
        check("the %s profile's tops and asymmetry are profile --json's (%s to %s)" % (pid, frm, to), ok, (p, prof))

    # A station's own register and index: its subjects, each once.
    local = os.path.join(work, "local-site")
    run("site", "--out", local, "--data", A)
    local_index = open(os.path.join(local, "index.html"), encoding="utf-8").read()
    local_keys = sorted(attrs(m)["data-key"] for m in re.findall(r"<tr data-name=[^>]*>", local_index))
    registered = json.loads(run("subjects", "list", "--data", A, "--json").stdout)["subjects"]
    check("site --data lists the station's subjects once each",
          local_keys == sorted(s["id"] for s in registered) and len(local_keys) == 3, (local_keys, registered))

    # Nothing changed: nothing is written; one new test of Anna: her page and the athletes pages.
    before = {p: os.stat(p).st_ino for p in glob.glob(os.path.join(site, "**", "*.html"), recursive=True)}
    r = run("site", "--out", site, "--url", url)
    check("a second run with nothing changed writes nothing",
          before == {p: os.stat(p).st_ino for p in before} and " 0 page(s) written" in r.stdout, r.stdout)
    demo(B, "Anna Novák", 47, "2026-03-05T09:00", 10, form=24)
    sync(B, "station B")
    run("site", "--out", site, "--url", url)
    after = {p: os.stat(p).st_ino for p in glob.glob(os.path.join(site, "**", "*.html"), recursive=True)}
    rewritten = sorted(os.path.relpath(p, site) for p in after if before.get(p) != after[p])
    check("a new test rewrites only her page and the athletes pages",
          rewritten == sorted(["athletes/%s.html" % anna, "index.html", "latest.html"]), rewritten)
    files = sorted(os.path.relpath(os.path.join(d, f), site) for d, _, fs in os.walk(site) for f in fs)
    check("the site holds its pages and manifest only (no test file)",
          files == sorted(["index.html", "latest.html", "site-manifest.txt"] +
                          [os.path.relpath(p, site) for p in glob.glob(os.path.join(site, "athletes", "*.html"))])
          and len(files) == 6, files)

    # A folder with other files is never written into.
    other = os.path.join(work, "other")
    os.makedirs(other)
    open(os.path.join(other, "index.html"), "w").write("mine")
    r = run("site", "--out", other, "--url", url, ok=False)
    check("a folder of other files is refused and left as it was",
          r.returncode == 2 and open(os.path.join(other, "index.html")).read() == "mine", r.stderr)

    # In a real browser, at a phone's and a laptop's width.
    if not chromium_path():
        check("Chromium is installed (scripts/setup.sh)", False)
    else:
        browser = Browser(work)
        try:
            pages = ["index.html", "latest.html"] + sorted(
                os.path.relpath(p, site) for p in glob.glob(os.path.join(site, "athletes", "*.html")))
            for rel in pages:
                address = "file://" + os.path.join(site, rel)
                for width in (390, 1280):
                    shot = os.path.join(SHOTS, rel.replace("/", "_") + "-%d.png" % width) if SHOTS else None
                    errors, requests, scroll, inner = browser.load(address, width, screenshot=shot)
                    check("%s at %d px: no console error" % (rel, width), not errors, errors)
                    check("%s at %d px: no request outside the folder" % (rel, width),
                          all(u == address for u in requests), requests)
                    check("%s at %d px: nothing scrolls sideways (%d <= %d)" % (rel, width, scroll, inner),
                          scroll <= inner)
            browser.load("file://" + os.path.join(site, "index.html"), 390)
            shown = browser.evaluate(
                "var f=document.getElementById('find'); f.value='novak'; f.dispatchEvent(new Event('input'));"
                "Array.from(document.querySelectorAll('#athletes tbody tr')).filter(r=>!r.hidden).length")
            check("the search box finds Anna Novák by 'novak' alone", shown == 1, shown)
        finally:
            browser.close()
finally:
    try:
        psql("DROP DATABASE IF EXISTS " + db)
    except Exception:
        pass
    shutil.rmtree(work, ignore_errors=True)

print("%d failure(s)" % failures)
sys.exit(1 if failures else 0)

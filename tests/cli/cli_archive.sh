#!/usr/bin/env bash
# vantacheck-cli archive as a lab runs it over a folder of old tests: index, list.
set -u
cli="${CLI:?}"
. "$(dirname "$0")/../support/check.sh"
export TZ=UTC
data="$work/DATA"
tests="$work/old tests"
mkdir -p "$tests/sub"
for seed in 1 2 3; do "$cli" demo "$tests/t$seed.kvq" --seed $seed >/dev/null; done
"$cli" demo "$tests/sub/t4.kvq" --seed 4 --repetitions 2 >/dev/null
head -c 300 "$tests/t1.kvq" > "$tests/cut.kvq"
echo "not a test" > "$tests/sub/foreign.kvq"
echo "notes" > "$tests/readme.txt"

"$cli" archive index "$tests" --data "$data" >"$work/out" 2>"$work/err"; status=$?
check "a damaged or foreign file makes exit status 2" [ $status -eq 2 ]
check "each one is named" bash -c "grep -q 'cut.kvq: ' '$work/err' && grep -q 'foreign.kvq: ' '$work/err'"
check "nothing else is said off a terminal: no progress" bash -c "[ \$(wc -l <'$work/err') -eq 2 ] && ! grep -q 'files/s' '$work/err'"
check "the summary counts the good files" grep -q '^Files: 4 indexed, 0 unchanged, 2 unreadable' "$work/out"
check "the index lies in the data folder" test -f "$data/archive.sqlite"

"$cli" archive index "$tests" --data "$data" >"$work/out" 2>/dev/null
check "unchanged files are not read again" grep -q '^Files: 0 indexed, 4 unchanged' "$work/out"
check "demo onto an existing file is refused, the file as it was" bash -c \
  "sum=\$(sha256sum <'$tests/t2.kvq'); err=\$('$cli' demo '$tests/t2.kvq' --seed 7 2>&1); [ \$? -eq 2 ] &&
   [ \"\$err\" = '$tests/t2.kvq exists; demo replaces a file only with --overwrite' ] &&
   [ \"\$(sha256sum <'$tests/t2.kvq')\" = \"\$sum\" ]"
"$cli" demo "$tests/t2.kvq" --seed 7 --overwrite >/dev/null
"$cli" archive index "$tests" --data "$data" >"$work/out" 2>/dev/null
check "a changed file is read again" grep -q '^Files: 1 indexed, 3 unchanged' "$work/out"
check "and the index holds what it holds now" bash -c \
  "'$cli' archive list --data '$data' --csv | grep -q \"t2.kvq,Demo Subject,\$('$cli' summary '$tests/t2.kvq' | sed -n 2p | cut -d, -f3-)\""

# The CSV is summary's, row for row, with the indexed (absolute) path as the file, oldest
# test first (t2 was taken again after t4).
check "list --csv gives summary's rows" bash -c \
  "diff <('$cli' archive list --data '$data' --csv) <('$cli' summary '$tests/t1.kvq' '$tests/t3.kvq' '$tests/sub/t4.kvq' '$tests/t2.kvq')"

if command -v python3 >/dev/null; then
  check "list --json: every test with its hash, path, subject, time and repetitions" python3 - "$cli" "$data" "$tests" <<'PY'
import hashlib, json, subprocess, sys
cli, data, tests = sys.argv[1:4]
d = json.loads(subprocess.run([cli, "archive", "list", "--data", data, "--json"], capture_output=True, text=True, check=True).stdout)
# Oldest first: t2 was taken again after t4.
assert [t["path"] for t in d["tests"]] == [f"{tests}/t1.kvq", f"{tests}/t3.kvq", f"{tests}/sub/t4.kvq", f"{tests}/t2.kvq"], d
for t in d["tests"]:
    assert t["sha256"] == hashlib.sha256(open(t["path"], "rb").read()).hexdigest()
    assert t["subject"] == "Demo Subject"
    a = json.loads(subprocess.run([cli, "analyse", "--json", t["path"]], capture_output=True, text=True, check=True).stdout)
    assert t["testTime"] == a["testTime"]
    assert [r["number"] for r in t["repetitions"]] == list(range(1, a["repetitionCount"] + 1))
    for r, ar in zip(t["repetitions"], a["repetitions"]):
        assert r["direction"] == ar["direction"] and r["load"] == ar["loadMass"]
        assert r["peakPower"] == ar["results"]["PeakAll"][1]
PY
fi

# Days: the demo tests are taken at 1765000001 s and on (2025-12-06 05:46:41 UTC).
count() { "$cli" archive list --data "$data" "$@" --json | grep -c '"sha256"'; }
check "--from and --to take whole days" [ "$(count --from 2025-12-06 --to 2025-12-06)" -eq 4 ]
check "--to ends before the next day" [ "$(count --to 2025-12-05)" -eq 0 ]
check "--from starts with its day" [ "$(count --from 2025-12-07)" -eq 0 ]
check "--subject folds case" [ "$(count --subject 'demo SUBJ')" -eq 4 ]
check "list to a full disk: exit 2, the reason" bash -c \
  "err=\$('$cli' archive list --data '$data' 2>&1 >/dev/full); [ \$? -eq 2 ] && [ \"\$err\" = 'Cannot write the output: No space left on device' ]"
check "listing a folder without an index makes none" bash -c "! '$cli' archive list --data '$work/typo' 2>/dev/null && [ ! -e '$work/typo' ]"
check "a day that does not exist is refused" bash -c "! '$cli' archive list --data '$data' --from 2025-02-30 2>/dev/null"

# On a terminal the index run shows its progress: count of total, files per second, time left.
rm -rf "$data"
if script -qec true /dev/null >/dev/null 2>&1; then
  script -qec "'$cli' archive index '$tests' --data '$data'" /dev/null >"$work/tty" 2>&1
  check "progress on a terminal" grep -q '[0-9] of 6 files, [0-9]* files/s, [0-9]* s left' "$work/tty"
fi
# Files deleted since the last run leave the index; a folder that cannot be read is named
# and makes exit status 2, while the files beside it are still indexed.
data2="$work/DATA2"; lab="$work/lab"
mkdir -p "$lab/locked" "$lab/open"
for seed in 1 2 3; do "$cli" demo "$lab/open/t$seed.kvq" --seed $seed >/dev/null; done
"$cli" archive index "$lab" --data "$data2" >/dev/null 2>&1
rm "$lab/open/t2.kvq"
"$cli" archive index "$lab" --data "$data2" >"$work/out" 2>/dev/null
check "a deleted file is counted as gone" grep -q '^Files: 0 indexed, 2 unchanged, 0 unreadable, 1 gone' "$work/out"
check "  and named" grep -q "^Gone: $lab/open/t2.kvq (the lab's archive keeps its test until archive withdraw)" "$work/out"
check "and is no longer listed" [ "$("$cli" archive list --data "$data2" --json | grep -c '"sha256"')" -eq 2 ]
if [ "$(id -u)" -ne 0 ]; then
  "$cli" demo "$lab/open/t4.kvq" --seed 4 >/dev/null
  chmod 000 "$lab/locked"
  "$cli" archive index "$lab" --data "$data2" >"$work/out" 2>"$work/err"; status=$?
  chmod 755 "$lab/locked"
  check "an unreadable folder makes exit status 2" [ $status -eq 2 ]
  check "it is named" grep -q "locked: " "$work/err"
  check "the files beside it are indexed" grep -q '^Files: 1 indexed, 2 unchanged' "$work/out"
  chmod 555 "$data2"
  check "list reads an index in a folder it may not write" bash -c \
    "[ \$('$cli' archive list --data '$data2' --json | grep -c '\"sha256\"') -eq 3 ]"
  chmod 755 "$data2"
fi
check "history of a folder that is not there is refused and makes none" bash -c \
  "! '$cli' history --subject demo --data '$work/nowhere' 2>/dev/null && [ ! -e '$work/nowhere' ]"
# Garbage inside the index's pages is reported as damage, not read as unchanged files.
python3 -c "import sys; f=open(sys.argv[1],'r+b'); f.seek(4096); f.write(b'Z'*8192)" "$data2/archive.sqlite"
"$cli" archive index "$lab" --data "$data2" >"$work/out" 2>"$work/err"; status=$?
check "a damaged index is refused" bash -c "[ $status -eq 2 ] && grep -q 'is damaged' '$work/err'"
# A waiting test whose file is gone is named once by sync and leaves the outbox.
data3="$work/DATA3"; mkdir -p "$work/out3"
"$cli" demo "$work/out3/a.kvq" --seed 1 >/dev/null; "$cli" demo "$work/out3/b.kvq" --seed 2 >/dev/null
"$cli" archive index "$work/out3" --data "$data3" >/dev/null 2>&1
rm "$work/out3/b.kvq"
env -u VANTA_ARCHIVE_URL "$cli" archive sync --data "$data3" >/dev/null 2>"$work/err"
env -u VANTA_ARCHIVE_URL "$cli" archive sync --data "$data3" >/dev/null 2>"$work/err2"
check "sync names a waiting test whose file is gone, once" bash -c \
  "grep -q 'b.kvq is gone' '$work/err' && ! grep -q 'b.kvq' '$work/err2' && grep -q '1 tests waiting' '$work/err2'"
# A password in a mistyped URL (a second "?", a missing "=") is never shown.
for mistyped in 'postgresql:///vanta?host=/nowhere?password=S3cretZ' 'postgresql:///vanta?host=/nowhere&passwordS3cretZ'; do
  "$cli" archive sync --data "$data3" --url "$mistyped" >"$work/out" 2>"$work/err"; status=$?
  check "sync with a mistyped URL: exit 2, the password hidden (${mistyped#*nowhere})" bash -c \
    "[ $status -eq 2 ] && [ -s '$work/err' ] && ! grep -q S3cretZ '$work/err' '$work/out'"
done
# A study's columns, after summary's own, say what analyse --json says of the same test: a
# demo athlete with a time on a clock an hour east of UTC (a POSIX zone, no tz database
# needed), indexed, then read back through summary and archive list --csv.
if command -v python3 >/dev/null; then
  study="$work/study"
  mkdir -p "$study/tests"
  TZ=CET-1CEST,M3.5.0,M10.5.0/3 "$cli" demo "$study/tests/ana.kvq" --seed 9 --repetitions 4 --subject "Ana Kovač" \
    --time 2026-03-01T09:30 --sex female --height 170 --weight 62 >/dev/null
  ana_id=$(env -u VANTA_ARCHIVE_URL "$cli" subjects add "Ana Kovač" --data "$study/DATA" | cut -d' ' -f1)
  # subjects add checks as the register's dialog does: "61,5" kg is a weight, 250 kg is not.
  check "subjects add takes a weight with a decimal comma" \
    env -u VANTA_ARCHIVE_URL "$cli" subjects add "Eva Horvat" --weight 61,5 --data "$study/DATA"
  out=$(env -u VANTA_ARCHIVE_URL "$cli" subjects add "Ivo Horvat" --weight 250 --data "$study/DATA" 2>&1); status=$?
  check "  and refuses one out of range, naming the option: exit 2" \
    bash -c "[ $status -eq 2 ] && [ '$out' = '--weight: Please enter a number between 0 and 200.' ]"
  TZ=CET-1CEST,M3.5.0,M10.5.0/3 "$cli" archive index "$study/tests" --data "$study/DATA" >/dev/null 2>&1
  # The station's clock travels with the test: on a computer in UTC the same local time.
  check "a test indexed under one zone prints the same local time under TZ=UTC" bash -c \
    "[ \"\$(TZ=UTC '$cli' archive list --data '$study/DATA' --csv | sed -n 2p | awk -F, '{print \$NF}')\" = 2026-03-01T09:30:00+01:00 ] &&
     [ \"\$(TZ=UTC '$cli' summary '$study/tests/ana.kvq' --data '$study/DATA' | sed -n 2p | awk -F, '{print \$NF}')\" = 2026-03-01T09:30:00+01:00 ] &&
     TZ=UTC '$cli' archive list --data '$study/DATA' | grep -q '^01.03.2026 09:30:00  Ana Kovač'"
  check "summary's and list --csv's study columns are analyse --json's" python3 - "$cli" "$study/tests/ana.kvq" "$study/DATA" "$ana_id" <<'PY'
import csv, hashlib, io, json, os, shutil, subprocess, sys
cli, path, data, ana_id = sys.argv[1:5]
env = dict(os.environ, TZ="CET-1CEST,M3.5.0,M10.5.0/3")
run = lambda *a: subprocess.run([cli, *a], capture_output=True, text=True, check=True, env=env).stdout
d = json.loads(run("analyse", "--json", path))
sha = hashlib.sha256(open(path, "rb").read()).hexdigest()
summary = list(csv.DictReader(io.StringIO(run("summary", path, "--data", data))))
listed = list(csv.DictReader(io.StringIO(run("archive", "list", "--data", data, "--csv"))))
assert list(summary[0])[:7] == ["file", "name", "test_time", "repetition", "load_kg", "radius_cm", "samples"]
assert list(summary[0])[-8:] == ["sha256", "subject_id", "side", "station", "body_mass_kg", "sex", "height_cm",
                                 "test_time_local"], list(summary[0])[-8:]
assert len(summary) == len(listed) == d["repetitionCount"] == 4
sexes = {0: "female", 1: "male"}
for rows in (summary, listed):
    for row, rep in zip(rows, d["repetitions"]):
        assert row["sha256"] == sha, row["sha256"]
        assert len(ana_id) == 36 and row["subject_id"] == ana_id, (row["subject_id"], ana_id)
        assert row["side"] == {1: "right", -1: "left"}[rep["direction"]], (row["side"], rep["direction"])
        assert row["body_mass_kg"] == str(d["subject"]["weight"]) == "62"
        assert row["sex"] == sexes[d["subject"]["sex"]] == "female"
        assert row["height_cm"] == str(d["subject"]["height"]) == "170"
        # The local clock's reading with its offset, and the very instant of testTime.
        assert row["test_time_local"] == "2026-03-01T09:30:00+01:00", row["test_time_local"]
        assert d["testTime"] == 1772353800, d["testTime"]
        # The named results are the summary's numbers under their names.
        names = d["resultNames"]
        assert names["PeakAll"][1] == "peak_power_all_w" and names["MeanAcceleration"][0] == "mean_force_acc_n"
        assert float(row["P peak (W)"]) == rep["results"]["PeakAll"][1]
        assert float(row["F mean (N) acceleration"]) == rep["results"]["MeanAcceleration"][0]
assert [r["direction"] for r in d["repetitions"]] == [-1, 1, -1, 1]
# --columns view: all 30 results under the view's names, the very numbers analyse gives.
for text in (run("summary", path, "--data", data, "--columns", "view"),
             run("archive", "list", "--data", data, "--csv", "--columns", "view")):
    view = list(csv.DictReader(io.StringIO(text)))
    named = [n for cols in d["resultNames"].values() for n in cols]
    assert len(named) == 30 and all(n in view[0] for n in named), list(view[0])
    for row, rep in zip(view, d["repetitions"]):
        for rowname, cols in d["resultNames"].items():
            for k, n in enumerate(cols):
                assert float(row[n]) == rep["results"][rowname][k], (n, row[n])
# A copy of the file anywhere is the same test: summary gives it the id the index holds for
# it, also once a second subject of her name leaves the register unable to tell.
subprocess.run([cli, "subjects", "add", "Ana Kovač", "--another", "--data", data], check=True, capture_output=True,
               env={k: v for k, v in env.items() if k != "VANTA_ARCHIVE_URL"})
copy = os.path.join(os.path.dirname(data), "copy-of-ana.kvq")
shutil.copy(path, copy)
assert {r["subject_id"] for r in csv.DictReader(io.StringIO(run("summary", copy, "--data", data)))} == {ana_id}
# The index keeps the body with the test: the columns stay when the file has gone.
os.rename(path, path + ".away")
try:
    listed = list(csv.DictReader(io.StringIO(run("archive", "list", "--data", data, "--csv"))))
finally:
    os.rename(path + ".away", path)
assert [(r["body_mass_kg"], r["sex"], r["height_cm"]) for r in listed] == [("62", "female", "170")] * 4, listed[:1]
PY
  check "demo refuses a time the clock never shows, exit 2" bash -c \
    "err=\$(TZ=CET-1CEST,M3.5.0,M10.5.0/3 '$cli' demo '$work/x.kvq' --time 2026-03-29T02:30 2>&1); [ \$? -eq 2 ] &&
     [ \"\$err\" = '--time 2026-03-29T02:30 does not exist on this station'\''s clock: it is skipped when the clocks go forward (daylight saving time)' ] && [ ! -e '$work/x.kvq' ]"
  check "  and a day that does not exist with the old words" bash -c \
    "err=\$('$cli' demo '$work/x.kvq' --time 2026-02-30T10:00 2>&1); [ \$? -eq 2 ] &&
     [ \"\$err\" = '--time needs a local time YYYY-MM-DDTHH:MM from 1971 to 2037' ]"
fi
# A station with left and right swapped: summary names each test's sides as the index keeps
# them for it, as archive list does, whatever this reader's own setting.
swapped="$work/swapped"; mkdir -p "$swapped/tests"
"$cli" demo "$swapped/tests/s.kvq" --seed 11 --repetitions 4 >/dev/null
"$cli" archive index "$swapped/tests" --data "$swapped/DATA" --sides swapped >/dev/null 2>&1
sides() { python3 -c 'import csv,sys; print(" ".join(r["side"] for r in csv.DictReader(sys.stdin)))'; }
export -f sides
listed=$("$cli" archive list --data "$swapped/DATA" --csv | sides)
check "summary of a swapped station's file names the sides as archive list does" bash -c \
  "[ '$listed' = 'right left right left' ] && [ \"\$('$cli' summary '$swapped/tests/s.kvq' --data '$swapped/DATA' | sides)\" = '$listed' ]"
check "  --no-index reads the file alone" bash -c \
  "[ \"\$('$cli' summary '$swapped/tests/s.kvq' --data '$swapped/DATA' --no-index | sides)\" = 'left right left right' ]"
# A data folder knows its station's sides (station.conf): an index deleted and built again
# names them as before, without --sides; --sides still comes first.
kept="$work/kept"; mkdir -p "$kept/DATA" "$kept/tests"
"$cli" demo "$kept/tests/k.kvq" --seed 14 --repetitions 2 >/dev/null
printf '# the station writes this\nname=Station B\nsides=swapped\n' >"$kept/DATA/station.conf"
"$cli" archive index "$kept/tests" --data "$kept/DATA" >/dev/null 2>&1
first=$("$cli" archive list --data "$kept/DATA" --csv | sides)
rm "$kept/DATA/archive.sqlite"*
"$cli" archive index "$kept/tests" --data "$kept/DATA" >/dev/null 2>&1
check "a rebuilt index keeps the folder's sides" bash -c \
  "[ '$first' = 'right left' ] && [ \"\$('$cli' archive list --data '$kept/DATA' --csv | sides)\" = 'right left' ]"
rm "$kept/DATA/archive.sqlite"*
"$cli" archive index "$kept/tests" --data "$kept/DATA" --sides normal >/dev/null 2>&1
check "  --sides comes before it" bash -c "[ \"\$('$cli' archive list --data '$kept/DATA' --csv | sides)\" = 'left right' ]"
"$cli" archive sides swapped "$kept/tests/k.kvq" "$kept/tests/none.kvq" --data "$kept/DATA" >"$work/out" 2>"$work/err"; status=$?
check "archive sides corrects an indexed test, names one it does not hold: exit 2" bash -c \
  "[ $status -eq 2 ] && grep -q '^1 test now swapped' '$work/out' && grep -q 'none.kvq: not in the test index' '$work/err' &&
   [ \"\$('$cli' archive list --data '$kept/DATA' --csv | sides)\" = 'right left' ]"
# An index summary cannot read is said, exit 2, not read past: as an unprivileged user when
# these tests run as root.
as_user() { if [ "$(id -u)" -eq 0 ]; then setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; else "$@"; fi; }
chmod 755 "$work" "$swapped" "$swapped/tests"; chmod 644 "$swapped/tests/s.kvq"
chmod 000 "$swapped/DATA/archive.sqlite"
as_user "$cli" summary "$swapped/tests/s.kvq" --data "$swapped/DATA" >"$work/out" 2>"$work/err"; status=$?
check "summary with an index it cannot read: exit 2, the index named" bash -c \
  "[ $status -eq 2 ] && grep -q 'archive.sqlite' '$work/err' && grep -q 'no-index' '$work/err' && [ ! -s '$work/out' ]"
as_user "$cli" summary "$swapped/tests/s.kvq" --data "$swapped/DATA" --no-index >"$work/out" 2>"$work/err"; status=$?
check "  and with --no-index it reads the files" bash -c "[ $status -eq 0 ] && [ \$(wc -l <'$work/out') -eq 5 ]"
chmod 644 "$swapped/DATA/archive.sqlite"
# A file this user cannot reach now is not taken as deleted: it stays in the index.
if [ "$(id -u)" -ne 0 ] || command -v setpriv >/dev/null; then
  reach="$work/reach"; mkdir -p "$reach/tests/hidden"
  "$cli" demo "$reach/tests/hidden/h.kvq" --seed 12 >/dev/null; "$cli" demo "$reach/tests/v.kvq" --seed 13 >/dev/null
  chmod -R a+rwX "$reach"
  as_user "$cli" archive index "$reach/tests" --data "$reach/DATA" >/dev/null 2>&1
  chmod 000 "$reach/tests/hidden"
  as_user "$cli" archive index "$reach/tests" --data "$reach/DATA" >"$work/out" 2>/dev/null
  chmod 755 "$reach/tests/hidden"
  check "a file behind a folder it cannot read is not counted gone" bash -c \
    "! grep -q gone '$work/out' && [ \$('$cli' archive list --data '$reach/DATA' --json | grep -c '\"sha256\"') -eq 2 ]"
fi
# A folder that is not there is no success: named, exit 2.
"$cli" archive index "$work/not-there" --data "$data" >/dev/null 2>"$work/missing.err"; status=$?
check "index of a missing folder: exit 2, the folder named" \
  bash -c "[ $status -eq 2 ] && grep -q '$work/not-there: no such folder' '$work/missing.err'"

finish

#!/usr/bin/env bash
# vantacheck-cli record as a lab runs it: the simulated box twice with one seed, the
# time-out, Ctrl+C after a stored attempt, and (with the serial backend) a box on a
# pseudo-terminal. CLI is the tool; SERIAL is 1 when it was built with the serial backend.
set -u
cli="${CLI:?}"
serial="${SERIAL:-0}"
. "$(dirname "$0")/../support/check.sh"

for run in a b; do
  "$cli" record --simulate --seed 7 --attempts 2 --calibrate --subject "Ana Kovač" --load 12.5 --out "$work/$run.kvq" 2>"$work/$run.err"
  check "record --simulate ($run) stores both attempts (exit 0)" test $? -eq 0
done
check "calibration is reported" grep -q "^Calibration is done" "$work/a.err"
check "after the calibration the first attempt reaches the ready screen" grep -q "^attempt 1/2: ready: " "$work/a.err"
check "each phase change is reported" grep -q "^attempt 2/2: stroke ended, recording 200 samples more$" "$work/a.err"
check "each stored attempt's peaks are reported" test "$(grep -c '^attempt [12]/2 stored: .*v peak (deg/s)' "$work/a.err")" -eq 2
check "the same seed gives the same file but for the test time" cmp -s <(head -c -4 "$work/a.kvq") <(head -c -4 "$work/b.kvq")
"$cli" analyse "$work/a.kvq" >"$work/a.txt"
check "the file reads back with two repetitions, the subject and the load" \
  grep -q "Repetitions: 2" "$work/a.txt"
check "the file holds the subject and the load" grep -q "Weight: 12.50 kg" "$work/a.txt"
check "the subject's name survives" grep -q "^Name: Ana Kova" "$work/a.txt"

"$cli" record --simulate --attempts 1 --timeout 0.5 --out "$work/none.kvq" 2>"$work/none.err"
check "a time-out exits 2" test $? -eq 2
check "a time-out abandons the attempt as BACK" grep -q "abandoned as BACK" "$work/none.err"
check "nothing recorded writes no file" test ! -e "$work/none.kvq"

"$cli" record --simulate --seed 3 --attempts 5 --out "$work/int.kvq" 2>"$work/int.err" &
pid=$!
for _ in $(seq 600); do grep -q "^attempt 1/5 stored" "$work/int.err" && break; sleep 0.1; done
kill -INT "$pid"
wait "$pid"
check "Ctrl+C exits 2" test $? -eq 2
check "Ctrl+C says the attempt was abandoned" grep -q "interrupted, abandoned as BACK" "$work/int.err"
check "Ctrl+C still saves the stored attempt" grep -q "Repetitions: 1" <("$cli" analyse "$work/int.kvq")

# The --out file is checked before the first attempt: refused at once, with the reason.
refused_at_once() {  # out, the reason expected, then more options
  local out=$1 reason=$2 err
  shift 2
  err=$(timeout 20 "$cli" record --simulate --attempts 1 --out "$out" "$@" 2>&1)
  [ $? -eq 2 ] && grep -qF "$reason" <<<"$err" && ! grep -q '^attempt' <<<"$err" || { echo "$err"; return 1; }
}
check "--out in a missing folder: refused before the first attempt" refused_at_once "$work/no/x.kvq" "No such file or directory"
check "--out a folder: refused" refused_at_once "$work" "it is a folder, not a file" --overwrite
check "--out /dev/full: refused" refused_at_once /dev/full "it is not a regular file" --overwrite
# A disk that cannot take the first attempt (here the file-size limit stands for it).
check "--out with no room for an attempt: refused" bash -c \
  "ulimit -f 64; '$cli' record --simulate --attempts 1 --out '$work/room.kvq' 2>&1 | grep -q 'File too large'; [ \${PIPESTATUS[0]} -eq 2 ]"
if [ "$(id -u)" -ne 0 ]; then
  mkdir "$work/ro" && chmod 555 "$work/ro"
  check "--out in a read-only folder: refused (as $(id -un))" refused_at_once "$work/ro/x.kvq" "Permission denied"
  chmod 755 "$work/ro"
fi
cp "$work/a.kvq" "$work/keep.kvq"
check "an existing --out is refused without --overwrite" refused_at_once "$work/a.kvq" "exists; record replaces a test only with --overwrite"
check "the refused file is untouched" cmp -s "$work/a.kvq" "$work/keep.kvq"
"$cli" record --simulate --seed 2 --attempts 1 --out "$work/a.kvq" --overwrite 2>/dev/null
check "--overwrite replaces it" test $? -eq 0 -a "$("$cli" analyse "$work/a.kvq" | grep -c '^Repetitions: 1$')" -eq 1

# Two sessions into one file, a closed terminal, and a folder that goes during the session.
# They run side by side to save time.
mkdir -p "$work/gone" "$work/tmp"
"$cli" record --simulate --seed 3 --attempts 3 --out "$work/hup.kvq" 2>"$work/hup.err" &
hup=$!
TMPDIR="$work/tmp" "$cli" record --simulate --seed 4 --attempts 3 --out "$work/gone/f.kvq" 2>"$work/gone.err" &
gone=$!
for _ in $(seq 600); do grep -q "^attempt 1/3: stand still" "$work/hup.err" && break; sleep 0.1; done
check "a second record into a file being recorded is told at once" refused_at_once "$work/hup.kvq" \
  "is being recorded by another session" --overwrite
for _ in $(seq 600); do grep -q "^attempt 1/3 stored" "$work/hup.err" && grep -q "^attempt 1/3 stored" "$work/gone.err" && break; sleep 0.1; done
kill -HUP "$hup"
wait "$hup"
check "SIGHUP exits 2" test $? -eq 2
check "SIGHUP abandons the attempt as BACK" grep -q "interrupted, abandoned as BACK" "$work/hup.err"
check "SIGHUP still saves the stored attempt" grep -q "Repetitions: 1" <("$cli" analyse "$work/hup.kvq")
rm -rf "$work/gone"
kill -TERM "$gone"
wait "$gone"
check "a save that fails at the end exits 2" test $? -eq 2
check "a save that fails at the end says why" grep -qF "An error occurred while writing $work/gone/f.kvq (No such file or directory)." "$work/gone.err"
kept=$(sed -n 's/^The attempt is kept in //p' "$work/gone.err")
check "its attempts are kept in the temporary folder, and it says where" test -n "$kept" -a "$(dirname "$kept")" = "$work/tmp"
check "the kept file holds the stored attempt" grep -q "Repetitions: 1" <("$cli" analyse "$kept")

# The pipe behind standard error closes after the first attempt: saved as with Ctrl+C.
"$cli" record --simulate --seed 5 --attempts 3 --out "$work/pipe.kvq" 2>&1 | head -n 7 >/dev/null
check "SIGPIPE exits 2" test "${PIPESTATUS[0]}" -eq 2
check "SIGPIPE still saves the stored attempt" grep -q "Repetitions: 1" <("$cli" analyse "$work/pipe.kvq")
# Standard error closed outright: the session goes on, and its messages do not end up in
# the file being saved.
"$cli" record --simulate --seed 5 --attempts 1 --out "$work/closed.kvq" 2>&-
check "a closed standard error does not end the session" test $? -eq 0
check "the file saved without standard error is whole" grep -q "Repetitions: 1" <("$cli" analyse "$work/closed.kvq")

"$cli" record --simulate --attempts 1 >/dev/null 2>&1
check "record without --out is refused" test $? -eq 2
"$cli" record --simulate --port /dev/ttyUSB0 --attempts 1 --out "$work/x.kvq" >/dev/null 2>&1
check "--port with --simulate is refused" test $? -eq 2
"$cli" record --simulate --attempts 101 --out "$work/x.kvq" >/dev/null 2>&1
check "--attempts 101 is refused" test $? -eq 2

if [ "$serial" = 1 ] && command -v python3 >/dev/null; then
  # A box on a pseudo-terminal: a second still, a second turning one way, then the other
  # way, then slowly back: one stroke.
  check "record --port reads a stroke from a pseudo-terminal" python3 - "$cli" "$work" <<'PY'
import os, pty, struct, subprocess, sys, threading, time
cli, work = sys.argv[1], sys.argv[2]
master, slave = pty.openpty()
name = os.ttyname(slave)
stop = threading.Event()
def rate(k):
    if k < 1500: return 0
    if k < 2500: return 1000
    if k < 3700: return -1000
    return 200
def box():
    k = 0
    while not stop.is_set():
        os.write(master, b"".join(b"\x01" + struct.pack(">7h", 0, -2048, 0, 0, 0, rate(k + i), 0) for i in range(20)))
        k += 20
        time.sleep(0.02)
t = threading.Thread(target=box, daemon=True)
t.start()
out = os.path.join(work, "pty.kvq")
r = subprocess.run([cli, "record", "--port", name, "--attempts", "1", "--out", out], capture_output=True, text=True, timeout=120)
stop.set()
assert r.returncode == 0, r.stderr
assert "has no modem lines" in r.stderr, r.stderr
assert "attempt 1/1 stored" in r.stderr, r.stderr
a = subprocess.run([cli, "analyse", out], capture_output=True, text=True).stdout
assert "Repetitions: 1" in a, a
PY
  check "record --port: bytes that never form a frame end the session within seconds, with the reason" python3 - "$cli" "$work" <<'PY'
import os, pty, subprocess, sys, threading, time
cli, work = sys.argv[1], sys.argv[2]
master, slave = pty.openpty()
name = os.ttyname(slave)
stop = threading.Event()
def noise():  # a line at another rate: bytes, never a sync byte
    while not stop.is_set():
        os.write(master, b"\x55" * 300)
        time.sleep(0.02)
t = threading.Thread(target=noise, daemon=True)
t.start()
began = time.monotonic()
r = subprocess.run([cli, "record", "--port", name, "--attempts", "1", "--out", os.path.join(work, "noise.kvq")],
                   capture_output=True, text=True, timeout=120)
took = time.monotonic() - began
stop.set()
assert r.returncode == 2, r.stderr
assert "Error in communication" in r.stderr and "bytes arrived in 5 seconds" in r.stderr, r.stderr
assert took < 30, took
PY
  check "record --port: a box at twice the rate is stored with a warning" python3 - "$cli" "$work" <<'PY'
import os, pty, struct, subprocess, sys, threading, time
cli, work = sys.argv[1], sys.argv[2]
master, slave = pty.openpty()
name = os.ttyname(slave)
stop = threading.Event()
def rate(k):
    if k < 1500: return 0
    if k < 2500: return 1000
    if k < 3700: return -1000
    return 200
def box():  # 40 frames every 20 ms: about 2000 a second
    k = 0
    while not stop.is_set():
        os.write(master, b"".join(b"\x01" + struct.pack(">7h", 0, -2048, 0, 0, 0, rate(k + i), 0) for i in range(40)))
        k += 40
        time.sleep(0.02)
t = threading.Thread(target=box, daemon=True)
t.start()
out = os.path.join(work, "fast.kvq")
r = subprocess.run([cli, "record", "--port", name, "--attempts", "1", "--out", out], capture_output=True, text=True, timeout=120)
stop.set()
assert r.returncode == 0, r.stderr
assert "attempt 1/1: Warning: The sensor box sent" in r.stderr and "instead of 1000" in r.stderr, r.stderr
a = subprocess.run([cli, "analyse", out], capture_output=True, text=True).stdout
assert "Repetitions: 1" in a, a
PY
fi

finish

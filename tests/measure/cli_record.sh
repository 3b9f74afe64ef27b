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
fi

finish

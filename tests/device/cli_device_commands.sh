#!/usr/bin/env bash
# vantacheck-cli probe and monitor as a lab user runs them. CLI is the tool; SERIAL is 1
# when it was built with the serial backend.
set -u
cli="${CLI:?}"
serial="${SERIAL:-0}"
. "$(dirname "$0")/../support/check.sh"

"$cli" probe --simulate >"$work/probe.out"
check "probe finds the simulated box (exit 0)" test $? -eq 0
check "probe lists the bridge with its description" grep -q '"Kavelvanta"  sensor box' "$work/probe.out"

"$cli" monitor --simulate --samples 50 --seed 4 >"$work/a.csv" 2>"$work/a.err"
check "monitor --simulate succeeds" test $? -eq 0
check "monitor prints the header" test "$(head -1 "$work/a.csv")" = "acc_x,acc_y,acc_z,rate_x,rate_y,rate_z"
check "monitor prints exactly the samples asked for" test "$(wc -l <"$work/a.csv")" -eq 51
check "every row holds six counts, gravity on acc_y" awk -F, 'NR > 1 && (NF != 6 || $2 > -1900 || $2 < -2200) { bad = 1 } END { exit bad }' "$work/a.csv"
check "nothing on standard error" test ! -s "$work/a.err"
"$cli" monitor --simulate --samples 50 --seed 4 >"$work/b.csv"
check "the same seed gives the same samples" cmp -s "$work/a.csv" "$work/b.csv"

"$cli" monitor --port /dev/kavelvanta-missing --samples 5 >/dev/null 2>"$work/missing.err"
check "a missing port exits 2" test $? -eq 2
check "a missing port says Error in communication" test "$(head -1 "$work/missing.err")" = "Error in communication"
"$cli" monitor --simulate --port /dev/ttyUSB0 >/dev/null 2>&1
check "--port with --simulate is refused" test $? -eq 2
"$cli" monitor --simulate --samples 0 >/dev/null 2>&1
check "--samples 0 is refused" test $? -eq 2

if [ "$serial" = 1 ]; then
  "$cli" probe >/dev/null 2>&1
  status=$?
  check "probe answers 0 or 1 on the real ports" test $status -eq 0 -o $status -eq 1
  if command -v python3 >/dev/null; then
    # A box on a pseudo-terminal: frames k = 0, 1, 2, ... with acc_x = k, written until
    # the monitor has read what it wants.
    check "monitor --port reads a pseudo-terminal, with a warning" python3 - "$cli" "$work" <<'PY'
import os, pty, struct, subprocess, sys, threading, time
cli, work = sys.argv[1], sys.argv[2]
master, slave = pty.openpty()
name = os.ttyname(slave)
stop = threading.Event()
def box():
    k = 0
    while not stop.is_set():
        burst = b"".join(b"\x01" + struct.pack(">7h", (k + i) % 32768, -2048, 0x0101, 0, 0, 0x0100, 7) for i in range(15))
        k += 15
        os.write(master, burst)
        time.sleep(0.001)
t = threading.Thread(target=box, daemon=True)
t.start()
r = subprocess.run([cli, "monitor", "--port", name, "--samples", "200"], capture_output=True, text=True, timeout=60)
stop.set()
assert r.returncode == 0, r.stderr
assert r.stderr.startswith("Warning: " + name + " has no modem lines"), r.stderr
rows = r.stdout.splitlines()
assert rows[0] == "acc_x,acc_y,acc_z,rate_x,rate_y,rate_z" and len(rows) == 201, len(rows)
first = int(rows[1].split(",")[0])
for i, row in enumerate(rows[1:]):
    assert row == f"{first + i},-2048,257,0,256,7", (i, row)
PY
    check "monitor tells bytes without frames from a silent box" python3 - "$cli" <<'PY'
import os, pty, subprocess, sys, threading, time
cli = sys.argv[1]
master, slave = pty.openpty()
name = os.ttyname(slave)
stop = threading.Event()
def noise():  # what a wrong baud rate makes of the box's stream: never the sync byte 0x01
    while not stop.is_set():
        os.write(master, bytes([0x00, 0xFF, 0x80, 0xF8, 0x7E]) * 20)
        time.sleep(0.01)
threading.Thread(target=noise, daemon=True).start()
r = subprocess.run([cli, "monitor", "--port", name, "--samples", "10"], capture_output=True, text=True, timeout=60)
stop.set()
assert r.returncode == 2, (r.returncode, r.stderr)
lines = r.stderr.splitlines()
assert lines[1] == "Error in communication", r.stderr
assert "bytes arrived in 5 seconds (after 0 samples), but no frame of the sensor box among them" in lines[2], r.stderr
assert "switched on" not in r.stderr, r.stderr
PY
    check "monitor reports a port that vanishes while reading" python3 - "$cli" <<'PY'
import os, pty, struct, subprocess, sys, threading, time
cli = sys.argv[1]
master, slave = pty.openpty()
name = os.ttyname(slave)
os.close(slave)
p = subprocess.Popen([cli, "monitor", "--port", name, "--samples", "60000"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
k = 0
deadline = time.time() + 30
while time.time() < deadline and k < 3000:  # the box streams, then its cable is pulled
    os.write(master, b"".join(b"\x01" + struct.pack(">7h", k + i, -2048, 0, 0, 0, 0, 0) for i in range(15)))
    k += 15
    time.sleep(0.001)
os.close(master)
out, err = p.communicate(timeout=60)
assert p.returncode == 2, (p.returncode, err)
assert err.splitlines()[1] == "Error in communication", err
assert "the port vanished while reading" in err, err
assert len(out.splitlines()) > 100, len(out.splitlines())
PY
  fi
else
  "$cli" monitor --samples 5 >/dev/null 2>"$work/noqt.err"
  check "without Qt, monitor says the serial backend is not built" grep -q "serial backend is not built" "$work/noqt.err"
  "$cli" probe >/dev/null 2>&1
  check "without Qt, probe exits 2" test $? -eq 2
fi

finish

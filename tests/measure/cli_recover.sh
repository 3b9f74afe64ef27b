#!/usr/bin/env bash
# A record run killed (SIGKILL) after its second stored attempt of three: its journal is
# listed, and recover writes the file an uninterrupted two-attempt run of the same stream
# saves; a damaged journal gives what it can; a folder the journal cannot be written in
# costs the journal, not the attempts. CLI is the tool.
set -u
cli="${CLI:?}"
. "$(dirname "$0")/../support/check.sh"

mkdir "$work/killed" "$work/whole"
"$cli" record --simulate --seed 5 --attempts 3 --subject "Eva Novak" --load 7.5 --out "$work/killed/t.kvq" 2>"$work/killed.err" &
pid=$!
for _ in $(seq 900); do grep -q "^attempt 1/3 stored" "$work/killed.err" && break; sleep 0.1; done
check "a running record holds its journal" grep -q "held by a running station" <("$cli" recover --list --data "$work/killed")
for _ in $(seq 900); do grep -q "^attempt 2/3 stored" "$work/killed.err" && break; sleep 0.1; done
kill -KILL "$pid"
wait "$pid" 2>/dev/null
check "the killed run wrote no test file" test ! -e "$work/killed/t.kvq"

"$cli" recover --list --data "$work/killed" >"$work/list.txt"
check "recover --list names one journal" test "$(wc -l <"$work/list.txt")" -eq 1
check "with the subject, two attempts, no longer held" \
  grep -qP "^$work/killed/unsaved-[0-9-]+\.kvqj\tEva Novak\t[0-9.]+ [0-9:]+\t2 attempts\tnot held$" "$work/list.txt"
journal=$(cut -f1 "$work/list.txt")
"$cli" recover "$journal" --out "$work/recovered.kvq" 2>"$work/recover.err"
check "recover exits 0" test $? -eq 0
check "recover says how many attempts it wrote" grep -q "^2 attempts recovered" "$work/recover.err"

"$cli" record --simulate --seed 5 --attempts 2 --subject "Eva Novak" --load 7.5 --out "$work/whole/t.kvq" 2>/dev/null
check "the uninterrupted run stores two attempts" test $? -eq 0
check "a finished run removes its journal" test -z "$(ls "$work/whole" | grep kvqj)"
json() { "$cli" analyse --json "$1" | sed 's/"testTime": [0-9-]*,//'; }
check "analyse --json of both files is the same but for the test time" \
  cmp -s <(json "$work/recovered.kvq") <(json "$work/whole/t.kvq")
check "both files have the same bytes (samples too) but for the test time" \
  cmp -s <(head -c -4 "$work/recovered.kvq") <(head -c -4 "$work/whole/t.kvq")

# Cut inside its last record: the first attempt alone, and the operator is told.
size=$(stat -c %s "$journal")
head -c $((size - 100)) "$journal" >"$work/cut.kvqj"
"$cli" recover "$work/cut.kvqj" --out "$work/cut.kvq" 2>"$work/cut.err"
check "a cut journal still recovers (exit 0)" test $? -eq 0
check "it says plainly that the last record was being written when the station stopped" \
  grep -q "its last record was being written when the station stopped; it was never stored" "$work/cut.err"
check "the first attempt is recovered" grep -q '"repetitionCount": 1' <("$cli" analyse --json "$work/cut.kvq")
head -c 20 "$journal" >"$work/stub.kvqj"
"$cli" recover "$work/stub.kvqj" --out "$work/stub.kvq" 2>/dev/null
check "a journal without a whole attempt exits 2 and writes nothing" test $? -eq 2 -a ! -e "$work/stub.kvq"

# A journal damaged in its second attempt: listed as damaged after attempt 1, recovered up
# to it, and said where.
mkdir "$work/damaged"
cp "$journal" "$work/damaged/unsaved-2025-01-01-000000.kvqj"
damaged="$work/damaged/unsaved-2025-01-01-000000.kvqj"
printf '\x55' | dd of="$damaged" bs=1 seek=$((size - 1000)) conv=notrunc status=none
check "recover --list says where the damage is" \
  grep -qP "\t1 attempt\tnot held\tdamaged after attempt 1 \(at byte [0-9]+\)$" <("$cli" recover --list --data "$work/damaged")
"$cli" recover "$damaged" --out "$work/damaged.kvq" 2>"$work/damaged.err"
check "a damaged journal recovers the attempts before the damage (exit 0)" test $? -eq 0
check "and says where it is damaged" grep -q "damaged after 1 attempt (at byte [0-9]*)" "$work/damaged.err"
check "the file holds the one attempt" grep -q '"repetitionCount": 1' <("$cli" analyse --json "$work/damaged.kvq")

# A file with a journal's name that is none is listed with the reason, not left out.
printf 'not a journal' >"$work/damaged/unsaved-2025-01-02-000000.kvqj"
check "recover --list names a journal it cannot read, with the reason" \
  grep -qP "unsaved-2025-01-02-000000\.kvqj\t.*\tcannot be read: not a journal of the station$" \
  <("$cli" recover --list --data "$work/damaged")
"$cli" recover --list --data "$work/missing" >/dev/null 2>"$work/missing.err"
check "recover --list of a missing folder exits 2" test $? -eq 2
check "with the reason" grep -q "^$work/missing: No such file or directory$" "$work/missing.err"

# Nothing that exists is replaced without --overwrite, the journal itself never.
"$cli" recover "$journal" --out "$work/recovered.kvq" 2>"$work/exists.err"
check "recover --out of an existing file exits 2" test $? -eq 2
check "and says --overwrite replaces it" grep -q "exists; recover replaces a file only with --overwrite" "$work/exists.err"
"$cli" recover "$journal" --out "$work/recovered.kvq" --overwrite 2>/dev/null
check "with --overwrite it is replaced (exit 0)" test $? -eq 0
cp "$journal" "$work/journal-before"
"$cli" recover "$journal" --out "$journal" --overwrite 2>/dev/null
check "recover J --out J is refused (exit 2)" test $? -eq 2
check "and the journal is unchanged" cmp -s "$journal" "$work/journal-before"
"$cli" recover "$journal" --out "$work/no-such-folder/t.kvq" 2>"$work/nofolder.err"
check "recover --out into a missing folder exits 2" test $? -eq 2
check "with the reason" grep -q "No such file or directory" "$work/nofolder.err"

# A journal with a calibration and no attempt holds no test.
python3 - "$work/calibration.kvqj" <<'PY'
import struct, sys
def crc32c(data):
    c = 0xFFFFFFFF
    for b in data:
        c ^= b
        for _ in range(8):
            c = (c >> 1) ^ (0x82F63B78 & -(c & 1))
    return c ^ 0xFFFFFFFF
body = bytes([4]) + struct.pack("<i", 1765000000) + struct.pack("<6f", 1, 2, 3, 4, 5, 6)
open(sys.argv[1], "wb").write(b"KVQJRNL1" + struct.pack("<II", len(body), crc32c(body)) + body)
PY
"$cli" recover "$work/calibration.kvqj" --out "$work/calibration.kvq" 2>"$work/calibration.err"
check "a journal with only a calibration exits 2 and writes nothing" test $? -eq 2 -a ! -e "$work/calibration.kvq"
check "it says there is no attempt" grep -q "no attempt to recover" "$work/calibration.err"

# A read that fails is not the end of the journal: exit 2, nothing written.
if strace -o /dev/null -e trace=none true 2>/dev/null; then
  strace -o /dev/null -P "$journal" -e inject=read:error=EIO:when=6 "$cli" recover "$journal" --out "$work/eio.kvq" \
    2>"$work/eio.err"
  check "a read error after the first attempt exits 2" test $? -eq 2
  check "and writes nothing" test ! -e "$work/eio.kvq"
  check "and says why" grep -q "Input/output error" "$work/eio.err"
else
  echo "(strace cannot trace here: the injected read error is covered by the storage tests)"
fi

# A folder in which no file can be created (as an unprivileged user): the test file is
# there and writable, so it is saved in place; the journal is not possible and the
# operator is told once, with the path and the reason.
mkdir "$work/ro"
: >"$work/ro/t.kvq"
as=()
if [ "$(id -u)" -eq 0 ]; then
  chown nobody "$work/ro/t.kvq"
  chmod 755 "$work"
  as=(setpriv --reuid=nobody --regid="$(id -gn nobody)" --clear-groups)
fi
chmod 555 "$work/ro"
"${as[@]}" "$cli" record --simulate --seed 5 --attempts 2 --overwrite --out "$work/ro/t.kvq" 2>"$work/ro.err"
check "record in a read-only folder stores and saves both attempts" test $? -eq 0
check "the operator is told once that the attempts are not protected, with path and reason" \
  test "$(grep -c "^Warning: the attempts are not protected against a crash: $work/ro/unsaved-.*kvqj: Permission denied$" "$work/ro.err")" -eq 1
check "the saved file holds both" grep -q '"repetitionCount": 2' <("$cli" analyse --json "$work/ro/t.kvq")
chmod 755 "$work/ro"

finish

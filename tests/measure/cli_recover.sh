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
check "it says a damaged record was dropped" grep -q "1 damaged record dropped" "$work/cut.err"
check "the first attempt is recovered" grep -q '"repetitionCount": 1' <("$cli" analyse --json "$work/cut.kvq")
head -c 20 "$journal" >"$work/stub.kvqj"
"$cli" recover "$work/stub.kvqj" --out "$work/stub.kvq" 2>/dev/null
check "a journal without a whole attempt exits 2 and writes nothing" test $? -eq 2 -a ! -e "$work/stub.kvq"

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
"${as[@]}" "$cli" record --simulate --seed 5 --attempts 2 --out "$work/ro/t.kvq" 2>"$work/ro.err"
check "record in a read-only folder stores and saves both attempts" test $? -eq 0
check "the operator is told once that the attempts are not protected, with path and reason" \
  test "$(grep -c "^Warning: the attempts are not protected against a crash: $work/ro/unsaved-.*kvqj: Permission denied$" "$work/ro.err")" -eq 1
check "the saved file holds both" grep -q '"repetitionCount": 2' <("$cli" analyse --json "$work/ro/t.kvq")
chmod 755 "$work/ro"

finish

#!/usr/bin/env bash
# vantacheck-cli as a user runs it: demo file, analyse, series, summary, export, and failures.
set -u
cli="${CLI:?}"
. "$(dirname "$0")/../support/check.sh"
status_of() { "$@" >/dev/null 2>&1; echo $?; }

"$cli" demo "$work/a.kvq" --repetitions 3 --seed 5 >/dev/null
"$cli" demo "$work/b.kvq" --repetitions 3 --seed 5 >/dev/null
check "the same seed writes the same file" cmp -s "$work/a.kvq" "$work/b.kvq"
"$cli" demo "$work/c.kvq" --repetitions 1 --samples 2000 --seed 6 >/dev/null
check "--samples sets the sample count" bash -c "'$cli' analyse --json '$work/c.kvq' | grep -q '\"sampleCount\": 2000'"

check "analyse prints the report rows" bash -c "'$cli' analyse '$work/a.kvq' | grep -q '^F peak (N) '"
if command -v python3 >/dev/null; then
  check "analyse --json is one JSON object with 3 repetitions" python3 - "$cli" "$work/a.kvq" <<'PY'
import json, subprocess, sys
out = subprocess.run([sys.argv[1], "analyse", "--json", sys.argv[2]], capture_output=True, text=True, check=True).stdout
d = json.loads(out)
assert d["repetitionCount"] == 3 and len(d["repetitions"]) == 3
for r in d["repetitions"]:
    assert set(r["results"]) == {"PeakAll", "PeakAcceleration", "PeakDeceleration", "MeanAll", "MeanAcceleration", "MeanDeceleration"}
    for row in r["results"].values():
        assert len(row) == 5
        assert all(isinstance(v, float) for v in row)
    assert len(r["channelOffset"]) == 6
PY
fi
check "series has a header and one row per sample" bash -c \
  "n=\$('$cli' series '$work/c.kvq' --repetition 1 | wc -l); [ \"\$n\" -eq 2001 ]"
check "summary has a header and one row per repetition" bash -c \
  "n=\$('$cli' summary '$work/a.kvq' '$work/c.kvq' | wc -l); [ \"\$n\" -eq 5 ]"

# Files are read side by side; a short file finishes before a long one, yet the rows keep
# the order of the arguments.
order=()
for k in 1 2 3 4 5 6; do order+=("$work/a.kvq" "$work/c.kvq" "$work/c.kvq"); done
check "summary keeps the order of the files named" bash -c '
  cli=$1; shift
  diff <("$cli" summary "$@" | tail -n +2) <(for f in "$@"; do "$cli" summary "$f" | tail -n +2; done) >/dev/null' \
  _ "$cli" "${order[@]}"

printf '\017VantaCheck_V1.0 and more' > "$work/bad.kvq"
check "a foreign file: exit 2" test "$(status_of "$cli" analyse "$work/bad.kvq")" = 2
check "a foreign file: the station's message" bash -c "'$cli' analyse '$work/bad.kvq' 2>&1 | grep -q 'Incompatible data'"
check "a missing file: Error opening file" bash -c "'$cli' analyse '$work/none.kvq' 2>&1 | grep -q 'Error opening file'"
mkfifo "$work/pipe.kvq"
check "a named pipe without a writer: Error opening file at once" bash -c \
  "timeout 10 '$cli' analyse '$work/pipe.kvq' 2>&1 | grep -q 'Error opening file'"
head -c 1000 "$work/a.kvq" > "$work/cut.kvq"
check "a cut file: past its end" bash -c "'$cli' analyse '$work/cut.kvq' 2>&1 | grep -q 'past its end'"
check "summary goes on past a bad file but fails" bash -c \
  "out=\$('$cli' summary '$work/bad.kvq' '$work/a.kvq' 2>/dev/null); s=\$?; [ \$s -eq 2 ] && [ \$(echo \"\$out\" | wc -l) -eq 4 ]"
check "series beyond the repetitions: exit 2" test "$(status_of "$cli" series "$work/a.kvq" --repetition 4)" = 2
"$cli" export "$work/a.kvq" --repetition 2 --output "$work/a2.xml"
check "export writes the spreadsheet file" bash -c "head -c 22 '$work/a2.xml' | grep -q '<?xml version=\"1.0\"?>' && grep -q 'Repetition No: 2' '$work/a2.xml'"
if command -v python3 >/dev/null; then
  check "export carries the numbers analyse shows for that repetition" python3 - "$cli" "$work/a.kvq" "$work/a2.xml" <<'PY'
import json, re, subprocess, sys
d = json.loads(subprocess.run([sys.argv[1], "analyse", "--json", sys.argv[2]], capture_output=True, text=True, check=True).stdout)
res = d["repetitions"][1]["results"]
cells = re.findall(r'<ss:Cell><ss:Data ss:Type="(\w+)">([^<]*)</ss:Data></ss:Cell>\n', open(sys.argv[3]).read())
rows = [cells[i:i + 4] for i in range(0, len(cells), 4)]
assert len(rows) == 10, len(rows)
force = rows[0]
assert force[0] == ("String", "F mean (N)")
for cell, key in zip(force[1:], ["MeanAll", "MeanAcceleration", "MeanDeceleration"]):
    assert cell == ("Number", "%.1f" % res[key][0]), (cell, key, res[key][0])
assert rows[9][1] == ("Number", "%.1f" % res["PeakAll"][4]), rows[9]
PY
fi
check "export --output - writes the same bytes" bash -c "'$cli' export '$work/a.kvq' --repetition 2 --output - | cmp -s - '$work/a2.xml'"
check "export of another repetition differs" bash -c "! '$cli' export '$work/a.kvq' --repetition 1 --output - | cmp -s - '$work/a2.xml'"
check "export beyond the repetitions: exit 2, the valid range named" bash -c \
  "out=\$('$cli' export '$work/a.kvq' --repetition 4 --output - 2>&1 >/dev/null); s=\$?; [ \$s -eq 2 ] && echo \"\$out\" | grep -q '1 to 3'"
check "export without --output: exit 2" test "$(status_of "$cli" export "$work/a.kvq" --repetition 1)" = 2
check "export into a missing folder: Export failed" bash -c \
  "'$cli' export '$work/a.kvq' --repetition 1 --output '$work/no/x.xml' 2>&1 | grep -qx 'Export failed: $work/no/x.xml could not be written.'"
check "export into a missing folder: exit 2" test "$(status_of "$cli" export "$work/a.kvq" --repetition 1 --output "$work/no/x.xml")" = 2
check "export into a missing folder: the system's reason follows" bash -c \
  "'$cli' export '$work/a.kvq' --repetition 1 --output '$work/no/x.xml' 2>&1 | grep -qx 'No such file or directory'"

# An output that is the input (by its name, a hard link or a symbolic link) is refused and
# the test stays.
cp "$work/a.kvq" "$work/self.kvq"
ln "$work/self.kvq" "$work/hard.kvq"
ln -s self.kvq "$work/soft.kvq"
ln "$work/a.kvq" "$work/a-link.kvq"
for out in self.kvq hard.kvq soft.kvq; do
  check "export --output $out of self.kvq: exit 2" test "$(status_of "$cli" export "$work/self.kvq" --repetition 1 --output "$work/$out")" = 2
done
check "export --output the input: said why" bash -c \
  "'$cli' export '$work/self.kvq' --repetition 1 --output '$work/self.kvq' 2>&1 | grep -q 'is the test file .* itself'"
if [ -x "$(dirname "$cli")/vantacheck-serial-and-pdf" ]; then
  check "report --pdf the input (a hard link to it): exit 2, said why" bash -c \
    "'$cli' report '$work/a.kvq' --repetition 1 --kind digital --pdf '$work/a-link.kvq' 2>&1 | grep -q 'is the test file .* itself'; [ \${PIPESTATUS[0]} -eq 2 ]"
  check "the test refused as a PDF is unchanged" cmp -s "$work/a.kvq" "$work/a-link.kvq"
  check "report --pdf into a missing folder: File Save Error and the reason" bash -c \
    "out=\$('$cli' report '$work/a.kvq' --repetition 1 --kind digital --pdf '$work/no/r.pdf' 2>&1); [ \$? -eq 2 ] &&
     grep -qx '$work/no/r.pdf: File Save Error' <<<\"\$out\" && grep -qx 'No such file or directory' <<<\"\$out\""
fi
check "the test refused as an output is unchanged" cmp -s "$work/a.kvq" "$work/self.kvq"

# Standard output that cannot take the text: a full disk, or a pipe closed early (with
# SIGPIPE ignored, as a program that started this one may leave it): exit 2 with the reason.
full_output() {  # the reason expected, then the command
  local reason=$1 err
  shift
  err=$("$@" 2>&1 >/dev/full)
  [ $? -eq 2 ] && grep -qx "Cannot write the output: $reason" <<<"$err" || { echo "$err"; return 1; }
}
check "series to a full disk: exit 2" full_output "No space left on device" "$cli" series "$work/c.kvq" --repetition 1
check "analyse to a full disk: exit 2" full_output "No space left on device" "$cli" analyse "$work/a.kvq"
check "analyse --json to a full disk: exit 2" full_output "No space left on device" "$cli" analyse --json "$work/a.kvq"
check "summary to a full disk: exit 2" full_output "No space left on device" "$cli" summary "$work/a.kvq"
check "export - to a full disk: exit 2" full_output "No space left on device" "$cli" export "$work/a.kvq" --repetition 1 --output -
check "profile to a full disk: exit 2, the reason" full_output "No space left on device" "$cli" profile "$work/a.kvq"
check "monitor to a full disk: exit 2" full_output "No space left on device" "$cli" monitor --simulate --samples 300
check "series into a closed pipe: exit 2, Broken pipe" bash -c \
  "trap '' PIPE; err=\$( { '$cli' series '$work/c.kvq' --repetition 1 | head -c 100 >/dev/null; exit \${PIPESTATUS[0]}; } 2>&1 ); s=\$?;
   [ \$s -eq 2 ] && grep -qx 'Cannot write the output: Broken pipe' <<<\"\$err\""
check "a word without its value: the station's message, exit 2" bash -c \
  "err=\$('$cli' series '$work/c.kvq' --repetition 2>&1 >/dev/null); [ \$? -eq 2 ] && [ \"\$err\" = '--repetition needs a repetition number from 1 to 100' ]"
check "a letter for a number: exit 2" test "$(status_of "$cli" demo "$work/x.kvq" --repetitions 3x)" = 2
check "an unknown command: exit 2" test "$(status_of "$cli" frobnicate)" = 2
for c in analyse series summary export demo; do
  check "$c --help" bash -c "'$cli' $c --help | grep -q Usage"
done
check "--help" bash -c "'$cli' --help | grep -q analyse"
check "writing into a missing folder: File Save Error" bash -c "'$cli' demo '$work/no/x.kvq' 2>&1 | grep -q 'File Save Error'"
check "writing into a missing folder: the system's reason follows" bash -c \
  "'$cli' demo '$work/no/x.kvq' 2>&1 | grep -qx 'No such file or directory'"

finish

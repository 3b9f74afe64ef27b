#!/usr/bin/env bash
# vantacheck-cli starts without Qt and hands report and real serial ports over to
# vantacheck-serial-and-pdf beside it (that hand-over is what cli_report_pdf and
# cli_device_commands run through). Here: no Qt is loaded, and a copy of vantacheck-cli
# without its sibling still explains every command and says what is missing.
set -u
cli="${CLI:?}"
. "$(dirname "$0")/../support/check.sh"

"$cli" demo "$work/a.kvq" --repetitions 1 >/dev/null
# What the dynamic loader really loads, dlopen included, for a command on a file.
LD_DEBUG=libs "$cli" analyse "$work/a.kvq" --json >/dev/null 2>"$work/loaded"
check "analyse ran under the loader's trace" grep -q 'calling init' "$work/loaded"
check "analyse loads no Qt library" bash -c "! grep -i 'libQt' '$work/loaded'"

mkdir "$work/alone"
cp "$cli" "$work/alone/vantacheck-cli"
alone="$work/alone/vantacheck-cli"
"$alone" report "$work/a.kvq" --repetition 1 --kind digital --pdf "$work/a.pdf" >"$work/out" 2>"$work/err"
check "report without its sibling: exit 2" test $? -eq 2
check "report without its sibling: which program, where, and why" grep -qx \
  "which cannot be started: $work/alone/vantacheck-serial-and-pdf: No such file or directory" "$work/err"
check "report without its sibling: nothing on standard output, no PDF" test ! -s "$work/out" -a ! -e "$work/a.pdf"
"$alone" monitor --port /dev/kavelvanta-missing --samples 5 >/dev/null 2>"$work/err"
check "a real port without the sibling: exit 2" test $? -eq 2
check "a real port without the sibling: the simulated box offered" \
  grep -q -- '--simulate runs the simulated sensor box without it' "$work/err"
check "without the sibling, the overview still lists report" bash -c "'$alone' --help | grep -q '^  report FILE.kvq'"
check "without the sibling, report --help still answers" bash -c "'$alone' report --help | grep -q '^Usage: vantacheck-cli report'"
check "without the sibling, the simulated box still answers" "$alone" probe --simulate

finish

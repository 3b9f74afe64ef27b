# Sourced by the shell tests of the command-line tool: a scratch folder removed on exit,
# check (a description, then a command that must succeed) and the closing count.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # description, then a command that must succeed
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
# The last line of a test: the count, and the exit status.
finish() {
  echo "$failures failure(s)"
  [ "$failures" -eq 0 ]
}

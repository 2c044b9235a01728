#!/usr/bin/env bash
# Each of the flasher's programs answers --version with its name and the
# flasher's version, the same commit for all, and exits 0 without other output.
# Usage: version_cli_test.sh VERSION PROGRAM...
set -uo pipefail
version=${1:?usage: version_cli_test.sh VERSION PROGRAM...}
shift
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

first_rest=""
for program in "$@"; do
  name=$(basename "$program")
  out=$("$program" --version 2>"${TMPDIR:-/tmp}/version_err.$$")
  status=$?
  err=$(cat "${TMPDIR:-/tmp}/version_err.$$")
  rm -f "${TMPDIR:-/tmp}/version_err.$$"
  [ "$status" -eq 0 ] || fail "$name --version exited with $status"
  [ -z "$err" ] || fail "$name --version wrote to stderr: $err"
  prefix="$name $version"
  if [[ $out != "$prefix"* ]]; then
    fail "$name --version printed \"$out\", not \"$prefix...\""
    continue
  fi
  rest=${out#"$prefix"}
  if [ -n "$rest" ] && ! [[ $rest =~ ^\ \(git\ [0-9a-f]{12}(-modified)?\)$ ]]; then
    fail "$name --version printed \"$out\": after the version only \" (git COMMIT)\" may follow"
  fi
  if [ -z "$first_rest" ]; then
    first_rest=${rest:-none}
  elif [ "${rest:-none}" != "$first_rest" ]; then
    fail "$name --version printed \"$out\": another commit than the first program's"
  fi
done

if [ "$failures" -eq 0 ]; then echo "version: all $# programs answer"; fi
exit "$failures"

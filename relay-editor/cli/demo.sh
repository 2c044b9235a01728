#!/usr/bin/env bash
# relay-cli encodes, lists and optimises an example program.
# Usage: relay-editor/cli/demo.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli="${1:?usage: demo.sh BUILD_DIR}/relay-editor/cli/relay-cli"
example=$(realpath --relative-to=. "$here/../examples/demo.vyl")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$here/../sim/sim-session.sh"
run() { show_and_run "$cli" "$@"; }

run encode io --action open --channels 1,16
run describe "02 80 01 83"
run encode trigger --action open --channels 2 --pattern AB --hold 50 --output-mode 2 --output "0A 0B"
run describe "86 00 02 87 C2 00 32 0A 0B 41 42 9B"
echo
run list "$example"
echo
echo "(the optimiser keeps the last loop at the end and drops the filler entry)"
run optimise "$example" -o "$work/optimised.vyl"
run list "$work/optimised.vyl"
echo
echo "(a refused input: exit code 1 and the reason on stderr)"
set +e
run encode io --channels 1 2>&1
echo "exit code $?"

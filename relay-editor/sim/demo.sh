#!/usr/bin/env bash
# relay-cli writes the example program into relay-sim, reads it back and lists it.
# Usage: relay-editor/sim/demo.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build="${1:?usage: demo.sh BUILD_DIR}"
cli="$build/relay-editor/cli/relay-cli"
sim="$build/relay-editor/sim/relay-sim"
example=$(realpath --relative-to=. "$here/../examples/demo.vyl")
work=$(mktemp -d)
source "$here/sim-session.sh"
cleanup() {
  stop_relay_sim
  rm -rf "$work"
}
trap cleanup EXIT
run() { show_and_run "$cli" "$@"; }

start_relay_sim "$sim" "$work/port" --sector "$work/sector.bin"
echo "(relay-sim answers on $port)"
echo

run write "$example" --optimise --restart --port "$port" 2>&1
echo
run read -o "$work/back.vyl" --port "$port" 2>&1
echo
run list "$work/back.vyl"
echo
echo "(the erased sector reads back as an empty program)"
run erase --port "$port" 2>&1
run read -o "$work/empty.vyl" --port "$port" 2>&1
echo
echo "(a controller at another address does not answer: exit code 1 after the time-out)"
set +e
run read -o "$work/none.vyl" --port "$port" --address 7 --timeout 500 2>&1
echo "exit code $?"

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
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

run() {
  local shown=()
  for arg in "$@"; do
    [[ $arg == *' '* ]] && arg="\"$arg\""
    shown+=("$arg")
  done
  echo "\$ relay-cli ${shown[*]}"
  "$cli" "$@"
}

# The simulated controller prints the pseudo-terminal to use as its serial port.
"$sim" --sector "$work/sector.bin" >"$work/port" 2>"$work/sim.log" &
sim_pid=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -n 1 "$work/port")
[ -n "$port" ] || { echo "relay-sim did not start" >&2; cat "$work/sim.log" >&2; exit 1; }
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

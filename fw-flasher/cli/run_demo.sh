#!/usr/bin/env bash
# Shows fw-flash run, the operator's mode: the demo project packed into a
# flasher by fw-pack, downloaded twice into isp-sim. The second run writes the
# next serial number and counts one pass more; both live in the profile that
# the flasher's window shares (here in a folder of the demo's own).
# Usage: run_demo.sh BUILD_DIR (the build directory, or the one holding
# fw-flash, fw-pack and isp-sim).
set -euo pipefail
build=${1:?usage: run_demo.sh BUILD_DIR}
find_tool() {
  for candidate in "$build/$1" "$build/fw-flasher/$2/$1"; do
    [ -x "$candidate" ] && { echo "$candidate"; return; }
  done
  echo "run_demo.sh: $1 not found under $build" >&2
  exit 1
}
fw_flash=$(find_tool fw-flash cli)
fw_pack=$(find_tool fw-pack pack)
isp_sim=$(find_tool isp-sim sim)
demo=$(cd "$(dirname "$0")/../pack/demo" && pwd)

work=$(mktemp -d)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config

show() { printf '$'; printf ' %q' "$@"; printf '\n'; "$@"; }
serial_in_dump() { od -An -tx1 -j256 -N4 "$work/flash.bin" | tr -d '\n'; }

echo "== fw-pack: the demo project into a flasher made from fw-flash"
show "$fw_pack" "$demo/demo-project.json" -o "$work/relay-flasher" --template "$fw_flash"

echo "== isp-sim: a QMV45A60000 whose flash is dumped after each download"
"$isp_sim" --chip QMV45A60000 --dump "$work/flash.bin" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
port=$(head -n1 "$work/sim.out")
echo "isp-sim listens on $port"

for pass in first second; do
  echo "== the $pass run (login password from the demo's password file)"
  show "$work/relay-flasher" run --port "$port" --password-file "$demo/demo-login-password.txt" \
    --lang en --quiet
  echo "-- serial number 1 (BCD, 4 bytes at 0x0100) in the dump:$(serial_in_dump)"
  echo "-- the profile, $XDG_CONFIG_HOME/QMVFW-FLASHER-VC6/RelayFlasherDemo.ini:"
  sed 's/^/   /' "$XDG_CONFIG_HOME/QMVFW-FLASHER-VC6/RelayFlasherDemo.ini"
done
echo "== done"

#!/usr/bin/env bash
# fw-flasher/app/gui/demo-gui.sh BUILD_DIR
# Packs the demo project into a flasher made from fw-flasher, starts isp-sim with
# the demo's chip on a pseudo-terminal and opens the flasher with its port list on
# the simulator. Needs a display.
set -euo pipefail
build=${1:?usage: demo-gui.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
flasher="$build/fw-flasher/app/fw-flasher"
fw_pack="$build/fw-flasher/pack/fw-pack"
isp_sim="$build/fw-flasher/sim/isp-sim"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo --gui: no display here (DISPLAY is not set); run it on a desktop." >&2
  echo "            scripts/screenshots shows the window without one." >&2
  exit 0
fi
for program in "$flasher" "$fw_pack" "$isp_sim"; do
  [ -x "$program" ] || { echo "demo --gui: build $build first ($program is missing)" >&2; exit 1; }
done

work=$(mktemp -d)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 130" INT TERM

"$fw_pack" "$here/../pack/demo/demo-project.json" -o "$work/relay-flasher" --template "$flasher" \
  >/dev/null

# The demo chip on a line paced like a real one, so that the progress can be watched.
"$isp_sim" --chip QMV45A60000 --pace --dump "$work/flash.bin" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
port=$(head -n1 "$work/sim.out")
[ -n "$port" ] || { echo "demo --gui: isp-sim did not start" >&2; exit 1; }

echo "isp-sim answers on $port as a QMV45A60000 (selected in the port list)."
echo "The demo flasher asks for its login password: $(head -n1 "$here/../pack/demo/demo-login-password.txt")"
echo "Press 下载 for one download or 重复下载 for one after another; close the window to end."
# The demo's counters and serial numbers stay in the scratch folder.
XDG_CONFIG_HOME="$work/config" "$work/relay-flasher" --port "$port"

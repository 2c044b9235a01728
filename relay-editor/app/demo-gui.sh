#!/usr/bin/env bash
# relay-editor/app/demo-gui.sh BUILD_DIR
# Starts relay-sim on a pseudo-terminal and opens relay-editor with its port set to
# the simulator and the example program loaded. Needs a display.
set -euo pipefail
build=${1:?usage: demo-gui.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
editor="$build/relay-editor/app/relay-editor"
sim="$build/relay-editor/sim/relay-sim"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo --gui: no display here (DISPLAY is not set); run it on a desktop." >&2
  echo "            scripts/screenshots shows the windows without one." >&2
  exit 0
fi
[ -x "$editor" ] && [ -x "$sim" ] || { echo "demo --gui: build $build first" >&2; exit 1; }

work=$(mktemp -d)
source "$here/../sim/sim-session.sh"
cleanup() {
  stop_relay_sim
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 130" INT TERM

"$sim" --link "$work/controller" --sector "$work/sector.bin" >/dev/null &
sim_pid=$!
for _ in $(seq 50); do [ -e "$work/controller" ] && break; sleep 0.1; done
[ -e "$work/controller" ] || { echo "demo --gui: relay-sim did not start" >&2; exit 1; }

# The editor keeps VYL_config.ini beside itself: run a copy in the scratch folder,
# with its port set to the simulator and opened at start.
cp "$editor" "$work/relay-editor"
crlf() { printf '%s\r\n' "$@"; }
{
  crlf "" "//VYL 编程软件 Horvane www.horvane.example" "" "[配置信息]" "[软件名称]=VYL 编程软件" \
       "[软件版本]=Ver 0.05" "" "[保存参数]" "[端 口 号]=$work/controller" "[波 特 率]=5" \
       "[模块地址]=255" "[自动打开]=1" "[自动优化]=0" "[END]"
} | iconv -f UTF-8 -t GBK > "$work/VYL_config.ini"

echo "relay-sim answers on $work/controller (port already open in the editor)."
echo "Try 全部写入, then 清除 and 从设备读取; close the editor to end the demo."
"$work/relay-editor" "$here/../examples/window.vyl"

#!/usr/bin/env bash
# Shows fw-flash detect against isp-sim: a chip on its own, a chip behind a
# download board, and a wrong chip; then fw-flash download into a chip on a paced
# line, its flash dump compared with the image. Usage: demo.sh FW_FLASH_DIR [ISP_SIM_DIR]
# (the directories holding fw-flash and isp-sim, or the build directory itself).
set -euo pipefail
flash_dir=${1:?usage: demo.sh FW_FLASH_DIR [ISP_SIM_DIR]}
sim_dir=${2:-$flash_dir}
fw_flash=$flash_dir/fw-flash
isp_sim=$sim_dir/isp-sim
[ -x "$fw_flash" ] || fw_flash=$flash_dir/fw-flasher/cli/fw-flash
[ -x "$isp_sim" ] || isp_sim=$sim_dir/fw-flasher/sim/isp-sim

sim_pid=
sim_out=$(mktemp)
work=$(mktemp -d)
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$sim_out" "$work"
}
trap cleanup EXIT

start_sim() {
  # Emptied first: the simulator's own redirection may come after the wait below
  # has read the name of the last one.
  : >"$sim_out"
  "$isp_sim" "$@" >"$sim_out" &
  sim_pid=$!
  for _ in $(seq 100); do
    [ -s "$sim_out" ] && break
    sleep 0.05
  done
  port=$(head -n1 "$sim_out")
  [ -n "$port" ] || { echo "isp-sim did not start" >&2; exit 1; }
}

stop_sim() {
  kill "$sim_pid"
  wait "$sim_pid" || true
  sim_pid=
}

echo "== fw-flash detect: QMV45A60000 (boot loader 7.2.3C, 33.1776 MHz)"
start_sim --chip QMV45A60000 --fw 7.2.3C --freq 33177600
"$fw_flash" detect --port "$port" --chip QMV45A60000 --timeout 10
echo "== the same chip, Chinese log"
"$fw_flash" detect --port "$port" --chip QMV45A60000 --lang zh --timeout 10
stop_sim

echo "== fw-flash detect: QMV11A64000 behind a download board"
start_sim --chip QMV11A64000 --fw 7.2C --board --board-version 297 --board-model 42 --board-flash 18
"$fw_flash" detect --port "$port" --chip QMV11A64000 --timeout 10
stop_sim

echo "== fw-flash detect: the project expects another chip"
start_sim --chip QMV27A16000 --fw 7.1.2S --reply 80
status=0
"$fw_flash" detect --port "$port" --chip QMV29A24000 --timeout 10 || status=$?
stop_sim
[ "$status" -eq 4 ] || { echo "expected exit status 4 for a wrong chip, got $status" >&2; exit 1; }

echo "== fw-flash download: 12 KiB into QMV11A64000 (boot loader 7.1C) on a line paced like a real one"
head -c 12288 /dev/urandom >"$work/firmware.bin"
start_sim --chip QMV11A64000 --fw 7.1C --pace --dump "$work/flash.bin"
"$fw_flash" download --port "$port" --chip QMV11A64000 --image "$work/firmware.bin" \
  --options FFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00 --silent --timeout 30
for _ in $(seq 40); do [ -s "$work/flash.bin" ] && break; sleep 0.05; done
stop_sim
if cmp -s -n 12288 "$work/firmware.bin" "$work/flash.bin"; then
  echo "== the chip's flash holds the image"
else
  echo "the chip's flash differs from the image" >&2
  exit 1
fi
echo "== done"

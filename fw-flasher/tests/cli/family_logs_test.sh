#!/usr/bin/env bash
# A download for one chip of every family, with several boot loader versions,
# both languages and other option bytes, logs exactly what family_logs/ holds
# (the times left out). Any change to what a family's download logs shows here.
# Usage: family_logs_test.sh FW_FLASH ISP_SIM LOG_DIR [--record]
#   --record rewrites LOG_DIR/*.log from this build instead of comparing.
set -uo pipefail
fw_flash=${1:?fw-flash}
isp_sim=${2:?isp-sim}
log_dir=${3:?folder of the expected logs}
record=${4:-}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

# 1,000 bytes that are not all alike.
perl -e 'print map { chr(($_ * 7 + 3) % 256) } 0 .. 999' >"$work/image.bin"
zeros=$(printf '00%.0s' $(seq 32))

# One download: chip, boot loader version, language, option bytes ("" for the
# defaults). Prints the normalised log, then the exit status.
download() {
  local chip=$1 fw=$2 lang=$3 options=$4 dir
  dir=$(mktemp -d -p "$work")
  local sim_options=() flash_options=()
  if [ -n "$options" ]; then sim_options=(--options "$options"); flash_options=(--options "$options"); fi
  "$isp_sim" --chip "$chip" --fw "$fw" "${sim_options[@]}" >"$dir/sim.out" 2>"$dir/sim.err" &
  local sim_pid=$!
  for _ in $(seq 200); do [ -s "$dir/sim.out" ] && break; sleep 0.02; done
  "$fw_flash" download --port "$(head -n1 "$dir/sim.out")" --chip "$chip" --image "$work/image.bin" \
    --lang "$lang" --silent --timeout 30 "${flash_options[@]}" >"$dir/run.out" 2>&1
  local status=$?
  kill "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  # Elapsed times and the local time of the result line differ from run to run.
  sed -E -e 's/\[[0-9]+\.[0-9]{3}"\]/[T"]/g' \
    -e 's/\([0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\)/(TIME)/g' "$dir/run.out"
  echo "exit status: $status"
  rm -rf "$dir"
}

# Every case of one chip, in one text.
chip_log() {
  local chip=$1
  for fw in 6.6C 7.1C 7.2C 7.4C; do
    echo "=== $chip, boot loader $fw, en"
    download "$chip" "$fw" en ""
  done
  echo "=== $chip, boot loader 7.2C, zh"
  download "$chip" 7.2C zh ""
  echo "=== $chip, boot loader 7.2C, en, option bytes 00"
  download "$chip" 7.2C en "$zeros"
}

chips=()
while read -r chip _; do
  [ -n "$chip" ] && [ "${chip#\#}" = "$chip" ] && chips+=("$chip")
done <"$log_dir/chips.txt"
[ ${#chips[@]} -gt 0 ] || fail "no chips in $log_dir/chips.txt"

# Eight chips at a time (a download mostly waits), each with its own simulators.
running=0
for chip in "${chips[@]}"; do
  chip_log "$chip" >"$work/$chip.log" &
  running=$((running + 1))
  if [ "$running" -ge 8 ]; then wait -n; running=$((running - 1)); fi
done
wait

for chip in "${chips[@]}"; do
  if [ "$record" = --record ]; then
    cp "$work/$chip.log" "$log_dir/$chip.log"
  elif ! diff -u "$log_dir/$chip.log" "$work/$chip.log" >"$work/diff" 2>&1; then
    fail "$chip: the log differs from $log_dir/$chip.log:"
    head -n 40 "$work/diff" >&2
  fi
done

if [ "$failures" -ne 0 ]; then
  echo "$failures of ${#chips[@]} chips failed" >&2
  exit 1
fi
echo "${#chips[@]} chips: every log as recorded"

#!/usr/bin/env bash
# fw-flash as a user runs it: exit statuses, the last line with the result in
# words, LF line ends, --quiet, Ctrl-C; a download whose dump matches the image.
# Usage: fw_flash_cli_test.sh FW_FLASH ISP_SIM
set -uo pipefail
fw_flash=${1:?fw-flash}
isp_sim=${2:?isp-sim}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

sim_out=$(mktemp)
run_out=$(mktemp)
work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$sim_out" "$run_out" "$work"
}
trap cleanup EXIT
start_sim() {
  # Emptied first: the simulator's own redirection may come after the wait below
  # has read the name of the last one.
  : >"$sim_out"
  "$isp_sim" "$@" >"$sim_out" &
  sim_pid=$!
  for _ in $(seq 100); do [ -s "$sim_out" ] && break; sleep 0.05; done
  port=$(head -n1 "$sim_out")
}
stop_sim() { kill "$sim_pid"; wait "$sim_pid" 2>/dev/null; sim_pid=; }

# A chip of protocol 3 answering 80: a host set up for protocol 0 never gets a
# confirmation it can verify, so the second exchange waits its 5 s.
start_sim --chip QMV11A64000 --reply 80
"$fw_flash" detect --port "$port" --chip QMV01A08000 >"$run_out" &
flash_pid=$!
sleep 1
kill -INT "$flash_pid"
wait "$flash_pid"
status=$?
[ "$status" -eq 3 ] || fail "Ctrl-C: exit status $status, expected 3"
tail -n1 "$run_out" | grep -q '^Step result: 3' || fail "Ctrl-C: last line $(tail -n1 "$run_out")"

"$fw_flash" detect --port "$port" --chip QMV01A08000 --timeout 0.5 >"$run_out"
status=$?
[ "$status" -eq 3 ] || fail "--timeout: exit status $status, expected 3"

# The simulator goes away while fw-flash waits: the run ends at once, naming the port.
"$fw_flash" detect --port "$port" --chip QMV01A08000 --timeout 8 >"$run_out" &
flash_pid=$!
sleep 1
stop_sim
started=$SECONDS
wait "$flash_pid"
status=$?
[ "$status" -eq 10 ] || fail "port gone: exit status $status, expected 10"
[ $((SECONDS - started)) -le 2 ] || fail "port gone: fw-flash went on for $((SECONDS - started)) s"
grep -qF "The port $port is gone" "$run_out" || fail "port gone: $(cat "$run_out")"
[ "$(tail -n1 "$run_out")" = "Step result: -1 (failed)" ] || fail "port gone: last line $(tail -n1 "$run_out")"

start_sim --chip QMV11A64000
"$fw_flash" detect --port "$port" --chip QMV11A64000 --lang zh --timeout 10 >"$run_out"
status=$?
[ "$status" -eq 0 ] || fail "zh detect: exit status $status"
grep -q '单片机型号: QMV11A64000' "$run_out" || fail "zh detect: no chip line"
grep -q $'\r' "$run_out" && fail "zh detect: CR in the terminal output"
[ "$(tail -n1 "$run_out")" = "Step result: 0 (成功)" ] || fail "zh detect: last line $(tail -n1 "$run_out")"
# Quiet leaves out the version and the options, not the chip found and the result.
"$fw_flash" detect --port "$port" --chip QMV11A64000 --quiet --timeout 10 >"$run_out"
expected=$'Checking target MCU ... \n\n  MCU type: QMV11A64000\n\nStep result: 0 (ok)'
[ "$(cat "$run_out")" = "$expected" ] || fail "--quiet: $(cat -A "$run_out")"
# A failed run names the result in words, in the run's language.
"$fw_flash" detect --port "$port" --chip QMV11A32092 --quiet --timeout 10 >"$run_out"
status=$?
[ "$status" -eq 4 ] || fail "wrong chip: exit status $status, expected 4"
grep -qx '  MCU type: QMV11A64000' "$run_out" || fail "wrong chip, quiet: no chip line: $(cat "$run_out")"
[ "$(tail -n1 "$run_out")" = "Step result: 4 (wrong chip type)" ] || fail "wrong chip: last line $(tail -n1 "$run_out")"
"$fw_flash" detect --port "$port" --chip QMV11A32092 --lang zh --timeout 10 >"$run_out"
[ "$(tail -n1 "$run_out")" = "Step result: 4 (单片机型号错误)" ] || fail "wrong chip, zh: last line $(tail -n1 "$run_out")"
stop_sim

"$fw_flash" detect --port /nonexistent/tty >"$run_out" 2>&1
status=$?
[ "$status" -eq 10 ] || fail "missing port: exit status $status"
grep -q '/nonexistent/tty' "$run_out" || fail "missing port: no message"
"$fw_flash" detect --port /dev/null --chip NOPE >"$run_out" 2>&1
grep -q 'unknown chip NOPE' "$run_out" || fail "unknown chip: $(cat "$run_out")"
"$fw_flash" detect --port /dev/null --baud 12 >"$run_out" 2>&1
status=$?
[ "$status" -eq 10 ] || fail "bad command line: exit status $status, expected 10"
"$fw_flash" detect --help >"$run_out" 2>&1 || fail "--help: exit status $?"

# A download: the dump the simulator writes after it holds the image; piped, the
# log has no progress that redraws itself.
head -c 5000 /dev/urandom >"$work/image.bin"
start_sim --chip QMV11A64000 --fw 7.1C --dump "$work/flash.bin"
"$fw_flash" download --port "$port" --chip QMV11A64000 --image "$work/image.bin" \
  --options 00000000000000000000000000000000 --timeout 20 >"$run_out"
status=$?
[ "$status" -eq 0 ] || fail "download: exit status $status: $(cat "$run_out")"
[ "$(tail -n1 "$run_out")" = "Step result: 0 (ok)" ] || fail "download: last line $(tail -n1 "$run_out")"
grep -q $'\b' "$run_out" && fail "download: progress in piped output"
for _ in $(seq 40); do [ -s "$work/flash.bin" ] && break; sleep 0.05; done
cmp -s -n 5000 "$work/image.bin" "$work/flash.bin" || fail "download: the dump differs from the image"
# A chip other than the one named ends the download with 4.
"$fw_flash" download --port "$port" --chip QMV11A32092 --image "$work/image.bin" --timeout 20 \
  >"$run_out"
status=$?
[ "$status" -eq 4 ] || fail "download, wrong chip: exit status $status"
stop_sim

# Downloads that trim the chip's oscillator to --freq, one chip of each measuring
# procedure: the log reports the frequency reached and its error, and the chip
# runs within 1 % of it afterwards. Option byte 0 FF keeps the internal clock.
for chip_fw in QMV28A20000:7.0C QMV45A60000:7.2C QMV44A48000:7.2C QMV30A28000:7.2C \
  QMV53A24000:7.3C QMV53A24000:7.4C; do
  chip=${chip_fw%:*}
  rm -f "$work/state.json"
  start_sim --chip "$chip" --fw "${chip_fw#*:}" --freq 24000000 --dump-state "$work/state.json"
  "$fw_flash" download --port "$port" --chip "$chip" --image "$work/image.bin" --options FF \
    --freq 11059200 --timeout 20 >"$run_out"
  status=$?
  [ "$status" -eq 0 ] || fail "trim $chip_fw: exit status $status: $(cat "$run_out")"
  grep -qE '^Adjusted frequency: 1[01]\.[0-9]{3}MHz \(-?0\.[0-9]{3}%\)$' "$run_out" ||
    fail "trim $chip_fw: no adjusted frequency within 1 %: $(cat "$run_out")"
  grep -q 'Frequerency trim' "$run_out" && fail "trim $chip_fw: reported as failed: $(cat "$run_out")"
  for _ in $(seq 40); do [ -s "$work/state.json" ] && break; sleep 0.05; done
  clock=$(sed -n 's/^  "clock": \([0-9]*\),\{0,1\}$/\1/p' "$work/state.json")
  if [ -z "$clock" ]; then
    fail "trim $chip_fw: no clock in the chip's state: $(cat "$work/state.json")"
  elif [ $(((clock - 11059200) * 100)) -gt 11059200 ] || [ $(((11059200 - clock) * 100)) -gt 11059200 ]; then
    fail "trim $chip_fw: the chip runs at $clock Hz"
  fi
  stop_sim
done

for bad in "--baud-max 0" "--baud-max -5" "--options 0G" "--data-offset 16" "--freq 0"; do
  # shellcheck disable=SC2086
  "$fw_flash" download --port /dev/null --chip QMV11A64000 --image "$work/image.bin" $bad \
    >"$run_out" 2>&1
  status=$?
  [ "$status" -eq 10 ] || fail "download $bad: exit status $status, expected 10"
done
"$fw_flash" download --help >"$run_out" 2>&1 || fail "download --help: exit status $?"

if [ "$failures" -eq 0 ]; then echo "fw-flash command line: all checks passed"; fi
exit "$failures"

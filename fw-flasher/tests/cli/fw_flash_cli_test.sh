#!/usr/bin/env bash
# fw-flash as a user runs it: exit statuses, the last line with the result in
# words, LF line ends, --quiet, Ctrl-C.
# Usage: fw_flash_cli_test.sh FW_FLASH ISP_SIM
set -uo pipefail
fw_flash=${1:?fw-flash}
isp_sim=${2:?isp-sim}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

sim_out=$(mktemp)
run_out=$(mktemp)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -f "$sim_out" "$run_out"
}
trap cleanup EXIT
start_sim() {
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

if [ "$failures" -eq 0 ]; then echo "fw-flash command line: all checks passed"; fi
exit "$failures"

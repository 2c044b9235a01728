#!/usr/bin/env bash
# fw-flash run refuses what it cannot download as the project means it, before
# the chip is touched: a project block cut short (its firmware lost) or a
# project file that is a FIFO or a device. The project's initial log text is
# printed whole, however long.
# Usage: fw_flash_run_refusals_test.sh FW_FLASH FW_PACK ISP_SIM
set -uo pipefail
fw_flash=${1:?fw-flash}
fw_pack=${2:?fw-pack}
isp_sim=${3:?isp-sim}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config
profile=$XDG_CONFIG_HOME/QMVFW-FLASHER-VC6/RefusalTest.ini

start_sim() {
  : >"$work/sim.out"
  rm -f "$work/flash.bin"
  "$isp_sim" --chip QMV45A60000 --dump "$work/flash.bin" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
  ln -sfn "$(head -n1 "$work/sim.out")" "$work/port"
  port=$work/port
}
stop_sim() { kill "$sim_pid"; wait "$sim_pid" 2>/dev/null; sim_pid=; rm -f "$work/port"; }

# An initial log text longer than a log line holds, ending in a mark.
long_text=$(printf 'Line of the initial text %04d.\\r\\n' $(seq 60))END-OF-TEXT
printf '%064d' 0 | sed 's/0/02 00 03 /g' >"$work/code.hex"
cat >"$work/project.json" <<JSON
{
  "chip": "QMV45A60000",
  "set_frequency_hz": 11059200,
  "option_words": [0, 0, 0, 0],
  "code_image": {"hex": "$(cat "$work/code.hex")"},
  "texts": {"language": "EN", "application_name": "RefusalTest", "initial_log": "$long_text"}
}
JSON
"$fw_pack" "$work/project.json" --block "$work/whole.blk" --plain >/dev/null ||
  fail "fw-pack could not pack the project"

# --- The whole project downloads, and its initial text is printed whole.
start_sim
"$fw_flash" run --project "$work/whole.blk" --port "$port" --lang en >"$work/run.out" 2>&1
status=$?
[ "$status" -eq 0 ] || fail "whole: exit status $status: $(tail -n3 "$work/run.out")"
[ "$(grep -c '^Line of the initial text' "$work/run.out")" -eq 60 ] ||
  fail "whole: the initial text is not there whole: $(grep -c '^Line of the initial text' "$work/run.out") lines"
grep -q '^END-OF-TEXT' "$work/run.out" || fail "whole: the initial text lost its end"
[ -s "$work/flash.bin" ] || fail "whole: the chip was not downloaded"
[ "$(od -An -tx1 -N3 "$work/flash.bin" | tr -d ' \n')" = 020003 ] ||
  fail "whole: the firmware is not in the chip"

# --- A bare block cut short by 10 bytes lost its firmware: refused as damaged,
# the chip never contacted, no pass counted.
head -c -10 "$work/whole.blk" >"$work/cut.blk"
rm -f "$work/flash.bin" "$profile"
"$fw_flash" run --project "$work/cut.blk" --port "$port" --lang en >"$work/run.out" 2>"$work/run.err"
status=$?
[ "$status" -eq 10 ] || fail "cut: exit status $status, expected 10"
grep -q 'The file is damaged' "$work/run.err" || fail "cut: no 4001 message: $(cat "$work/run.err")"
grep -q 'but only .* follow' "$work/run.err" || fail "cut: does not say where: $(cat "$work/run.err")"
grep -q 'Complete !' "$work/run.out" && fail "cut: logs Complete !"
sleep 0.3
[ -e "$work/flash.bin" ] && fail "cut: the chip was downloaded"
[ -e "$profile" ] && grep -q '^PassCounter=' "$profile" && fail "cut: a pass was counted"
stop_sim

# --- A FIFO or a device as the project is refused rather than waited on.
mkfifo "$work/project.fifo"
for file in "$work/project.fifo" /dev/zero "$work"; do
  timeout 10 "$fw_flash" run --project "$file" --port /dev/null --lang en >"$work/run.out" 2>"$work/run.err"
  status=$?
  [ "$status" -eq 10 ] || fail "$file: exit status $status, expected 10"
  grep -q 'File verification failed' "$work/run.err" && grep -q 'no regular file' "$work/run.err" ||
    fail "$file: $(cat "$work/run.err")"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "fw-flash run refusals: all checks passed"

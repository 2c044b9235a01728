#!/usr/bin/env bash
# fw-flash run and the profile its project shares, over pseudo-terminals into
# isp-sim: two runs of one project at once (two chips) give two serial numbers
# and count two passes; a profile that cannot be written stops the run before
# the erase, and after a download; a BCD serial number of four bytes ends at
# 99999999 unless --serial-wrap lets it wrap.
# Usage: fw_flash_profile_test.sh FW_FLASH FW_PACK ISP_SIM DEMO_DIR
set -uo pipefail
fw_flash=${1:?fw-flash}
fw_pack=${2:?fw-pack}
isp_sim=${3:?isp-sim}
demo=$(cd "${4:?demo project folder}" && pwd)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

work=$(mktemp -d)
declare -A sim_pids=()
cleanup() {
  for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config
folder=$XDG_CONFIG_HOME/QMVFW-FLASHER-VC6
profile=$folder/RelayFlasherDemo.ini
password=(--password-file "$demo/demo-login-password.txt")

# start_sim NAME [isp-sim options]: a chip whose flash lands in $work/NAME.bin
# after each download; its port is $work/NAME.port (a link of the test's own).
start_sim() {
  local name=$1
  shift
  : >"$work/$name.out"
  "$isp_sim" --chip QMV45A60000 --dump "$work/$name.bin" "$@" >"$work/$name.out" \
    2>"$work/$name.err" &
  sim_pids[$name]=$!
  for _ in $(seq 100); do [ -s "$work/$name.out" ] && break; sleep 0.05; done
  ln -sfn "$(head -n1 "$work/$name.out")" "$work/$name.port"
}
stop_sim() {
  kill "${sim_pids[$1]}"
  wait "${sim_pids[$1]}" 2>/dev/null
  unset "sim_pids[$1]"
  rm -f "$work/$1.port"
}
# The four bytes of serial number 1 (at 0x100) in a chip's last dump.
dumped_serial() { od -An -tx1 -j256 -N4 "$work/$1.bin" | tr -d ' \n'; }
ini_value() { sed -n "s/^$2=//p" "$1"; }
# Waits until the file holds the text (at most 20 s).
await_text() {
  for _ in $(seq 400); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}
line_of() { grep -n "$2" "$1" | head -n1 | cut -d: -f1; }
# Waits (at most 20 s) for the background run $1 and gives its exit status; a
# run still going then is stopped and gives 124.
await_exit() {
  for _ in $(seq 400); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.05
  done
  if kill -0 "$1" 2>/dev/null; then
    kill -INT "$1"
    wait "$1" 2>/dev/null
    return 124
  fi
  wait "$1"
}

"$fw_pack" "$demo/demo-project.json" -o "$work/flasher" --template "$fw_flash" >/dev/null ||
  fail "fw-pack could not pack the demo project"

# --- Two runs of one project at once, each into its own chip: one waits for
# the other's download, then takes the next number; both passes are counted.
start_sim a --pace
start_sim b --pace
"$work/flasher" run --port "$work/a.port" "${password[@]}" --lang en >"$work/a.run" 2>&1 &
run_a=$!
"$work/flasher" run --port "$work/b.port" "${password[@]}" --lang en >"$work/b.run" 2>&1 &
run_b=$!
wait "$run_a"
status_a=$?
wait "$run_b"
status_b=$?
[ "$status_a" -eq 0 ] || fail "at once: first run exit $status_a: $(tail -n3 "$work/a.run")"
[ "$status_b" -eq 0 ] || fail "at once: second run exit $status_b: $(tail -n3 "$work/b.run")"
serials=$(printf '%s\n' "$(dumped_serial a)" "$(dumped_serial b)" | sort | tr '\n' ' ')
[ "$serials" = "00000001 00000002 " ] || fail "at once: the chips hold $serials"
[ "$(ini_value "$profile" PassCounter)" = 2 ] ||
  fail "at once: PassCounter $(ini_value "$profile" PassCounter)"
grep -q 'Passes: 1 this run, 2 in total' "$work/a.run" "$work/b.run" ||
  fail "at once: no run counted on from the other's pass"
[ -f "$profile.flock" ] || fail "at once: no lock file beside the profile"
stop_sim b

# --- A profile folder that cannot be made (its parent is a file, which stops
# root as well): refused before the port is opened, with the file and the
# reason; no result line; exit 10.
echo "not a folder" >"$work/blocked"
rm -f "$work/a.bin"
XDG_CONFIG_HOME=$work/blocked "$work/flasher" run --port "$work/a.port" "${password[@]}" \
  --lang en >"$work/run.out" 2>"$work/run.err"
status=$?
[ "$status" -eq 10 ] || fail "not writable: exit status $status"
message="The profile $work/blocked/QMVFW-FLASHER-VC6/RelayFlasherDemo.ini cannot be written (Not a directory): nothing was erased, the download does not start !"
grep -qF "$message" "$work/run.out" || fail "not writable: $(cat "$work/run.out")"
grep -qF "ERROR: $message" "$work/run.err" || fail "not writable: no box $(cat "$work/run.err")"
grep -q 'Checking target MCU' "$work/run.out" && fail "not writable: the chip was contacted"
grep -q '^Step result' "$work/run.out" && fail "not writable: a result line"
[ "$(tail -n1 "$work/run.out")" = "Passes: 0 this run, 0 in total" ] ||
  fail "not writable: last line $(tail -n1 "$work/run.out")"
sleep 0.2
[ -e "$work/a.bin" ] && fail "not writable: the simulator saw a download"
stop_sim a

# --- The profile's folder goes away during a download: the chip is programmed
# ("Complete !"), the error line follows, the run ends with exit 10, and the
# profile that comes back still holds what it held.
start_sim c --pace
"$work/flasher" run --port "$work/c.port" "${password[@]}" --lang en --repeat \
  >"$work/run.out" 2>"$work/run.err" &
run_c=$!
await_text "$work/run.out" 'Checking target MCU' || fail "gone: no handshake"
mv "$folder" "$work/moved"
echo "not a folder" >"$folder"
await_exit "$run_c"
status=$?
rm -f "$folder"
mv "$work/moved" "$folder"
[ "$status" -eq 10 ] || fail "gone: exit status $status: $(tail -n3 "$work/run.out")"
message="The profile $profile could not be written (Not a directory): the next serial numbers (4) and the pass counter (3) are not stored; the run stops !"
complete=$(line_of "$work/run.out" '  Complete !(')
error=$(line_of "$work/run.out" "could not be written")
[ -n "$complete" ] && [ -n "$error" ] && [ "$complete" -lt "$error" ] ||
  fail "gone: no error line after the result line: $(tail -n5 "$work/run.out")"
grep -qF "$message" "$work/run.out" || fail "gone: $(tail -n4 "$work/run.out")"
grep -qF "ERROR: $message" "$work/run.err" || fail "gone: no box $(cat "$work/run.err")"
grep -q 'Repeat after' "$work/run.out" && fail "gone: the run went on"
[ "$(tail -n1 "$work/run.out")" = "Passes: 1 this run, 2 in total" ] ||
  fail "gone: last line $(tail -n1 "$work/run.out")"
[ "$(dumped_serial c)" = 00000003 ] || fail "gone: the chip holds $(dumped_serial c)"
[ "$(ini_value "$profile" PassCounter)" = 2 ] ||
  fail "gone: PassCounter $(ini_value "$profile" PassCounter)"
stop_sim c

# --- BCD in four bytes: 99999999 is the last number. The next run stops before
# the erase (exit 10, nothing advanced); --serial-wrap writes the low bytes.
cat >"$work/full-project.json" <<JSON
{
  "chip": "QMV45A60000",
  "option_words": ["0xFFFFFFFF", "0xFFFFFFFF", "0xFFFFFFFF", "0xFFFFFFFF"],
  "set_frequency_hz": 11059200,
  "serial_numbers": [
    { "enabled": true, "length": 4, "start": "99999999", "address": "0x0100", "step": "1",
      "format": "bcd" },
    { "enabled": false }
  ],
  "code_image": "$demo/demo-firmware.hex",
  "texts": { "language": "EN", "application_name": "FullDemo" },
  "repeat_delay": 0
}
JSON
"$fw_pack" "$work/full-project.json" --block "$work/full.blk" >"$work/pack.out" 2>&1 ||
  fail "fw-pack refused the BCD project: $(cat "$work/pack.out")"
full_profile=$folder/FullDemo.ini
start_sim d
"$fw_flash" run --project "$work/full.blk" --port "$work/d.port" >"$work/run.out" 2>&1
status=$?
[ "$status" -eq 0 ] || fail "last number: exit status $status: $(tail -n3 "$work/run.out")"
[ "$(dumped_serial d)" = 99999999 ] || fail "last number: the chip holds $(dumped_serial d)"
rm -f "$work/d.bin"
"$fw_flash" run --project "$work/full.blk" --port "$work/d.port" >"$work/run.out" 2>"$work/run.err"
status=$?
[ "$status" -eq 10 ] || fail "full: exit status $status: $(tail -n3 "$work/run.out")"
message="Serial number 1 is 100000000, more than its 4 bytes hold in its format (at most 99999999): nothing was erased, the run stops !"
grep -qF "$message" "$work/run.out" || fail "full: $(tail -n3 "$work/run.out")"
grep -qF "ERROR: $message" "$work/run.err" || fail "full: no box $(cat "$work/run.err")"
grep -q 'Checking target MCU' "$work/run.out" && fail "full: the chip was contacted"
sleep 0.2
[ -e "$work/d.bin" ] && fail "full: the simulator saw a download"
[ "$(ini_value "$full_profile" PassCounter)" = 1 ] ||
  fail "full: PassCounter $(ini_value "$full_profile" PassCounter)"
"$fw_flash" run --project "$work/full.blk" --port "$work/d.port" --serial-wrap >"$work/run.out" 2>&1
status=$?
[ "$status" -eq 0 ] || fail "wrap: exit status $status: $(tail -n3 "$work/run.out")"
[ -e "$work/d.bin" ] && [ "$(dumped_serial d)" = 00000000 ] ||
  fail "wrap: the chip holds $(dumped_serial d)"
[ "$(ini_value "$full_profile" PassCounter)" = 2 ] ||
  fail "wrap: PassCounter $(ini_value "$full_profile" PassCounter)"
stop_sim d

[ "$failures" -eq 0 ] && echo "fw-flash run and the profile: all passed"
exit $((failures > 0))

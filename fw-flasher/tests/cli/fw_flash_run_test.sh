#!/usr/bin/env bash
# fw-flash run as an operator runs it: the demo project packed by fw-pack into a
# flasher, downloaded into isp-sim once and again and again; the pass counter
# and the serial numbers in the profile and in the dump; Ctrl-C in a download
# and in the wait; a failure in a later pass; the user-interface command's
# reply in the image; the login; a port or USB writer that does not open.
# Usage: fw_flash_run_test.sh FW_FLASH FW_PACK ISP_SIM DEMO_DIR
set -uo pipefail
fw_flash=${1:?fw-flash}
fw_pack=${2:?fw-pack}
isp_sim=${3:?isp-sim}
demo=$(cd "${4:?demo project folder}" && pwd)
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
profile=$XDG_CONFIG_HOME/QMVFW-FLASHER-VC6/RelayFlasherDemo.ini
password=(--password-file "$demo/demo-login-password.txt")

start_sim() {
  : >"$work/sim.out"
  "$isp_sim" --chip QMV45A60000 --dump "$work/flash.bin" "$@" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
  # The flasher opens the simulator through a link of the test's own: once the
  # simulator is gone, its terminal's number may already serve another test.
  ln -sfn "$(head -n1 "$work/sim.out")" "$work/port"
  port=$work/port
}
stop_sim() { kill "$sim_pid"; wait "$sim_pid" 2>/dev/null; sim_pid=; rm -f "$work/port"; }
# The four bytes of serial number 1 (BCD, at 0x100) in the last dump.
dumped_serial() { od -An -tx1 -j256 -N4 "$work/flash.bin" | tr -d ' \n'; }
ini_value() { sed -n "s/^$1=//p" "$profile"; }
# The run's last line is $1; $2 names the case.
last_line_is() {
  [ "$(tail -n1 "$work/run.out")" = "$1" ] || fail "$2: last line $(tail -n1 "$work/run.out")"
}
# Waits for the run in the background and checks its exit status.
exit_status_is() {
  wait "$flash_pid"
  local status=$?
  [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1"
}
# Waits until the file holds the text $2 times (at most 20 s).
await_count() {
  for _ in $(seq 400); do
    [ "$(grep -c "$2" "$1" 2>/dev/null)" -ge "$3" ] && return 0
    sleep 0.05
  done
  return 1
}

"$fw_pack" "$demo/demo-project.json" -o "$work/flasher" --template "$fw_flash" >/dev/null ||
  fail "fw-pack could not pack the demo project"

# --- One download, then a second one with the next serial number.
start_sim
"$work/flasher" run --port "$port" "${password[@]}" --lang en >"$work/run.out" 2>&1
status=$?
[ "$status" -eq 0 ] || fail "once: exit status $status: $(tail -n3 "$work/run.out")"
grep -q '演示项目' "$work/run.out" || fail "once: no initial log text"
grep -q '  Complete !(' "$work/run.out" || fail "once: no 8104 line"
last_line_is "Passes: 1 this run, 1 in total" "once"
[ "$(ini_value PassCounter)" = 1 ] || fail "once: PassCounter $(ini_value PassCounter)"
[ "$(dumped_serial)" = 00000001 ] || fail "once: serial in the dump $(dumped_serial)"
[ "$(ini_value IncValue1Valid)" = 1 ] || fail "once: IncValue1Valid"
grep -q $'\r' "$work/run.out" && fail "once: CR in the terminal output"

"$work/flasher" run --port "$port" "${password[@]}" --lang en >"$work/run.out" 2>&1
[ "$(dumped_serial)" = 00000002 ] || fail "second: serial in the dump $(dumped_serial)"
[ "$(ini_value PassCounter)" = 2 ] || fail "second: PassCounter $(ini_value PassCounter)"
last_line_is "Passes: 1 this run, 2 in total" "second"

# --- Repeated downloads: three passes, then Ctrl-C during the wait.
"$work/flasher" run --port "$port" "${password[@]}" --lang en --repeat >"$work/run.out" 2>&1 &
flash_pid=$!
await_count "$work/run.out" 'Repeat after 3 secs' 3 || fail "repeat: no third wait"
kill -INT "$flash_pid"
exit_status_is 0 "repeat"
[ "$(grep -c '  Complete !(' "$work/run.out")" -eq 3 ] || fail "repeat: not three downloads"
last_line_is "Passes: 3 this run, 5 in total" "repeat"
[ "$(ini_value PassCounter)" = 5 ] || fail "repeat: PassCounter $(ini_value PassCounter)"
[ "$(dumped_serial)" = 00000005 ] || fail "repeat: serial in the dump $(dumped_serial)"

# --- A failure in the third pass counts two: the simulator goes away in the wait.
"$work/flasher" run --port "$port" "${password[@]}" --lang en --repeat >"$work/run.out" 2>&1 &
flash_pid=$!
await_count "$work/run.out" 'Repeat after 3 secs' 2 || fail "failure: no second wait"
stop_sim
exit_status_is 10 "failure"
grep -q 'Device open fail' "$work/run.out" || fail "failure: no 8107 line"
last_line_is "Passes: 2 this run, 7 in total" "failure"
[ "$(ini_value PassCounter)" = 7 ] || fail "failure: PassCounter $(ini_value PassCounter)"

# --- Ctrl-C in a download advances nothing: a chip whose boot loader waits
# for a boot command the project does not send never answers the handshake.
serial_before=$(ini_value IncValue1)
start_sim --boot-command 24FF01FD21
"$work/flasher" run --port "$port" "${password[@]}" --lang en >"$work/run.out" 2>&1 &
flash_pid=$!
await_count "$work/run.out" 'Checking target MCU' 1 || fail "stop: no handshake"
kill -INT "$flash_pid"
exit_status_is 3 "stop"
grep -q 'Terminated !(' "$work/run.out" || fail "stop: no 8106 line"
last_line_is "Passes: 0 this run, 7 in total" "stop"
[ "$(ini_value PassCounter)" = 7 ] || fail "stop: PassCounter $(ini_value PassCounter)"
[ "$(ini_value IncValue1)" = "$serial_before" ] || fail "stop: IncValue1 $(ini_value IncValue1)"
stop_sim

# --- The user-interface command's reply lands at its address; the pre-command
# (at mark parity) restarts the chip into its boot loader. Same firmware, its
# own project name and counter.
cat >"$work/ui-project.json" <<JSON
{
  "chip": "QMV45A60000",
  "option_words": ["0xFFFFFFFF", "0xFFFFFFFF", "0xFFFFFFFF", "0xFFFFFFFF"],
  "set_frequency_hz": 11059200,
  "pre_command": { "enabled": true, "baud": 19200, "parity": "mark", "stop_bits": 1,
                   "bytes": "24 FF 01 FD 21" },
  "user_interface_command": { "enabled": true, "baud": 9600, "parity": "space", "stop_bits": 1,
    "reply_length": 4, "reply_address": "0x0200", "first_bytes": "55 AA 01",
    "second_bytes": "5A" },
  "serial_numbers": [
    { "enabled": true, "length": 4, "start": "1234", "address": "0x0100", "step": "1",
      "format": "ascii" },
    { "enabled": false }
  ],
  "code_image": "$demo/demo-firmware.hex",
  "texts": { "language": "EN", "application_name": "UiDemo", "title": "QMV-ISP (V6.88E) demo" },
  "repeat_delay": 0
}
JSON
"$fw_pack" "$work/ui-project.json" --block "$work/ui.blk" >"$work/pack.out" 2>&1 ||
  fail "fw-pack refused the user-interface project: $(cat "$work/pack.out")"
start_sim --ui-request 55AA01 --ui-reply 10203040 --ui-baud 9600 --boot-command 24FF01FD21 \
  --boot-baud 19200
"$fw_flash" run --project "$work/ui.blk" --port "$port" >"$work/run.out" 2>&1
status=$?
[ "$status" -eq 0 ] || fail "user interface: exit status $status: $(tail -n5 "$work/run.out")"
grep -q 'Connecting with user face' "$work/run.out" || fail "user interface: no 8112 line"
grep -q 'Connected OK' "$work/run.out" || fail "user interface: no 8113 line"
reply=$(od -An -tx1 -j512 -N4 "$work/flash.bin" | tr -d ' \n')
[ "$reply" = 10203040 ] || fail "user interface: reply in the dump $reply"
ascii=$(od -An -c -j256 -N4 "$work/flash.bin" | tr -d ' \n')
[ "$ascii" = 1234 ] || fail "user interface: ASCII serial number in the dump $ascii"
grep -q 'boot command taken' "$work/sim.err" || fail "user interface: the pre-command did not come"
[ "$(sed -n 's/^PassCounter=//p' "$XDG_CONFIG_HOME/QMVFW-FLASHER-VC6/UiDemo.ini")" = 1 ] ||
  fail "user interface: its own counter"
stop_sim

# --- No reply to the user-interface command: 8112 without 8113, then 8105 after
# 5 s, with the version text of the project's title.
start_sim --boot-command 24FF01FD21
"$fw_flash" run --project "$work/ui.blk" --port "$port" >"$work/run.out" 2>&1
status=$?
[ "$status" -eq 2 ] || fail "no reply: exit status $status"
grep -q 'Connected OK' "$work/run.out" && fail "no reply: 8113 logged"
grep -q 'Download failed ! (6.88E)(' "$work/run.out" || fail "no reply: no 8105 line"
stop_sim

# --- Through a download board: an out-of-date board is updated on --yes and the
# download goes on through it; --board-program then loads the board for
# stand-alone use, and its dump holds the board program and the image.
board_program=$(for i in $(seq 0 299); do printf '%02X ' $(((i * 7) % 256)); done)
cat >"$work/board-project.json" <<JSON
{
  "chip": "QMV45A60000",
  "option_words": ["0xFFFFFFFF", "0xFFFFFFFF", "0xFFFFFFFF", "0xFFFFFFFF"],
  "set_frequency_hz": 11059200,
  "code_image": "$demo/demo-firmware.hex",
  "board_program": { "hex": "$board_program" },
  "board_firmware_a": { "hex": "A1 A2 A3 A4" },
  "board_firmware_b": { "hex": "B1 B2 B3 B4 B5 B6 B7 B8" },
  "texts": { "language": "EN", "application_name": "BoardDemo", "start_third_caption": "Board" },
  "repeat_delay": 0
}
JSON
"$fw_pack" "$work/board-project.json" --block "$work/board.blk" >"$work/pack.out" 2>&1 ||
  fail "fw-pack refused the board project: $(cat "$work/pack.out")"
board_field() { grep -o "\"$1\": [^,]*" "$work/board.json" | head -n1 | sed 's/^[^:]*: //; s/"//g'; }
start_sim --board --board-version 290 --board-version-after-update 297 \
  --dump-board "$work/board.json"
"$fw_flash" run --project "$work/board.blk" --port "$port" --yes >"$work/run.out" 2>&1
status=$?
[ "$status" -eq 0 ] || fail "board update: exit status $status: $(tail -n5 "$work/run.out")"
grep -q 'Reconnect download board' "$work/run.out" || fail "board update: no 8001 line"
grep -q '  Complete !(' "$work/run.out" || fail "board update: no 8104 line"
[ "$(board_field firmware_updates)" = 1 ] || fail "board update: $(cat "$work/board.json")"
[ "$(board_field version)" = 297 ] || fail "board update: version $(board_field version)"

"$fw_flash" run --project "$work/board.blk" --port "$port" --board-program >"$work/run.out" 2>&1
status=$?
[ "$status" -eq 0 ] || fail "board program: exit status $status: $(tail -n5 "$work/run.out")"
grep -q 'Programming user code ... OK' "$work/run.out" || fail "board program: no 8026 line"
last_line_is "Passes: 0 this run, 1 in total" "board program"
[ "$(board_field program)" = "$(echo "$board_program" | tr -d ' ')" ] ||
  fail "board program: the board holds $(board_field program)"
[ "$(board_field program_finished)" = true ] || fail "board program: not finished"
header=$(board_field standalone_header)
[ "${header:0:4}" = 5AA5 ] || fail "board program: header ${header:0:16}"
[ "$(board_field firmware_updates)" = 1 ] || fail "board program: updated again"
stop_sim

# --- The login: a wrong password ends with 4003 before anything is opened.
echo wrong >"$work/wrong.txt"
"$work/flasher" run --port /nonexistent/tty --password-file "$work/wrong.txt" --lang en \
  >"$work/run.out" 2>&1
status=$?
[ "$status" -eq 10 ] || fail "wrong password: exit status $status"
grep -q 'Password is incorrect !' "$work/run.out" || fail "wrong password: $(cat "$work/run.out")"
grep -q 'Device open fail' "$work/run.out" && fail "wrong password: the port was opened"
# Typed without a terminal: one line on standard input.
echo demo | "$work/flasher" run --port /nonexistent/tty --lang en >"$work/run.out" 2>&1
grep -q 'Device open fail' "$work/run.out" || fail "typed password: $(cat "$work/run.out")"

# --- A port that does not open: 8107 with the reason, the box's text, result -1.
"$work/flasher" run --port /nonexistent/tty "${password[@]}" --lang en >"$work/run.out" 2>"$work/run.err"
status=$?
[ "$status" -eq 10 ] || fail "no port: exit status $status"
grep -q '/nonexistent/tty: No such file or directory' "$work/run.out" || fail "no port: no reason"
grep -q '^ERROR: Device open fail' "$work/run.err" || fail "no port: no box $(cat "$work/run.err")"
grep -q '^Step result: -1' "$work/run.out" || fail "no port: $(cat "$work/run.out")"

# --- A USB writer that is not attached: 8107 naming the writer, result -1; a
# writer number outside 1 to 255 is refused before anything starts.
"$work/flasher" run --port USB3 "${password[@]}" --lang en >"$work/run.out" 2>"$work/run.err"
status=$?
[ "$status" -eq 10 ] || fail "no writer: exit status $status"
grep -q 'Device open fail' "$work/run.out" || fail "no writer: no 8107 line $(cat "$work/run.out")"
grep -q 'USB3: no such USB writer is attached' "$work/run.out" ||
  fail "no writer: no reason $(cat "$work/run.out" "$work/run.err")"
grep -q '^Step result: -1' "$work/run.out" || fail "no writer: $(cat "$work/run.out")"
"$work/flasher" run --port USB0 "${password[@]}" --lang en >"$work/run.out" 2>"$work/run.err"
status=$?
[ "$status" -eq 10 ] || fail "writer 0: exit status $status"
grep -q 'names no USB writer' "$work/run.err" || fail "writer 0: $(cat "$work/run.err")"
grep -q 'Device open fail' "$work/run.out" && fail "writer 0: a download was started"

# --- fw-flash itself carries no project.
"$fw_flash" run --port /nonexistent/tty >"$work/run.out" 2>&1
status=$?
[ "$status" -eq 10 ] || fail "no project: exit status $status"
grep -q 'File verification failed' "$work/run.out" ||
  grep -q '文件校验失败' "$work/run.out" || fail "no project: $(cat "$work/run.out")"

[ "$failures" -eq 0 ] && echo "fw-flash run: all passed"
exit $((failures > 0))

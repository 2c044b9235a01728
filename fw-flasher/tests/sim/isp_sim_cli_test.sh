#!/usr/bin/env bash
# isp-sim as a user runs it: refused option values, and the options that reach
# the chip (dump files after the host's end packet, notes on standard error).
# Usage: isp_sim_cli_test.sh ISP_SIM
set -uo pipefail
isp_sim=${1:?isp-sim}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

dir=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT

for bad in "--resend 0" "--resend 2:0" "--silent-after nothing" "--silent-after erase:2" \
           "--short-reply x" "--serial 0102" "--old-flash GG" "--wrong-reply 0"; do
  # shellcheck disable=SC2086
  "$isp_sim" --chip QMV01A08000 $bad >/dev/null 2>"$dir/err"
  status=$?
  [ "$status" -ne 0 ] || fail "$bad accepted"
  [ -s "$dir/err" ] || fail "$bad: no message"
done
for bad in "--osc-shape wobbly" "--osc-span 0" "--osc-offset 10" "--osc-offset 1000000 --osc-span 100000"; do
  # shellcheck disable=SC2086
  "$isp_sim" --chip QMV45A60000 $bad >/dev/null 2>"$dir/err"
  status=$?
  [ "$status" -ne 0 ] || fail "$bad accepted"
  [ -s "$dir/err" ] || fail "$bad: no message"
done
grep -q "would stop" "$dir/err" || fail "an oscillator that stops: $(cat "$dir/err")"
# Read from a file: grep -q leaving a pipe early would fail the pipeline.
"$isp_sim" --help >"$dir/help"
grep -q -- "--dump-state" "$dir/help" || fail "--help does not describe --dump-state"
grep -q -- "--osc-shape" "$dir/help" || fail "--help does not describe --osc-shape"

# A host packet with the 8-bit checksum of protocol variant 0, as printf escapes.
packet() {
  local bytes=(0x46 0xB9 0x6A 0x00 $(($# + 5)) "$@") sum=0 out="" b
  for b in "${bytes[@]:2}"; do sum=$((sum + b)); done
  bytes+=($((sum & 0xFF)) 0x16)
  for b in "${bytes[@]}"; do out+=$(printf '\\x%02x' $((b))); done
  printf '%s' "$out"
}

"$isp_sim" --chip QMV01A08000 --fw 7.0C --old-flash 5A --serial 01020304050607 \
  --dump "$dir/flash.bin" --dump-state "$dir/state.json" >"$dir/out" 2>"$dir/err" &
sim_pid=$!
for _ in $(seq 100); do [ -s "$dir/out" ] && break; sleep 0.05; done
port=$(head -n1 "$dir/out")
[ -e "$port" ] || { fail "isp-sim printed no terminal path"; exit 1; }
exec 3<>"$port"
stty -F "$port" raw 2400
for _ in $(seq 5); do printf '\x7f' >&3; sleep 0.02; done
sleep 0.3
# 84 with a broken filler is refused with a note; FF closes the download.
printf "$(packet 0x84 0x01 0x33 0x33 0x33 0x34 0x33 0x33)" >&3
printf "$(packet 0xFF)" >&3
for _ in $(seq 100); do [ -s "$dir/state.json" ] && break; sleep 0.05; done
exec 3>&-
[ "$(stat -c %s "$dir/flash.bin" 2>/dev/null)" = 12288 ] || fail "flash dump size"
[ "$(head -c 4 "$dir/flash.bin" | od -An -tx1 | tr -d ' \n')" = 5a5a5a5a ] || fail "--old-flash"
grep -q '"downloads": 1' "$dir/state.json" || fail "state: $(cat "$dir/state.json")"
grep -q 'isp-sim: erase: byte 5 of the 84 erase is not 33' "$dir/err" || fail "no note: $(cat "$dir/err")"

[ "$failures" -eq 0 ] && echo "isp-sim command line: all checks passed"
exit "$failures"

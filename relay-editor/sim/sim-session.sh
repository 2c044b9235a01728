# Sourced by the relay-editor scripts that talk to a simulated controller.
#   start_relay_sim SIM OUTFILE [OPTIONS...]  starts relay-sim in the background and
#                                             sets sim_pid and port (the slave path)
#   stop_relay_sim                            ends it
#   show_and_run PROGRAM ARGS...              prints the command, then runs it

sim_pid=
port=

start_relay_sim() {
  local sim=$1 out=$2
  shift 2
  "$sim" "$@" >"$out" 2>"$out.log" &
  sim_pid=$!
  # The simulator prints the pseudo-terminal to use as its serial port.
  for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
  port=$(head -n 1 "$out")
  if [ -z "$port" ]; then
    echo "relay-sim did not start" >&2
    cat "$out.log" >&2
    return 1
  fi
}

stop_relay_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  sim_pid=
}

show_and_run() {
  local program=$1
  shift
  local shown=()
  for arg in "$@"; do
    [[ $arg == *' '* ]] && arg="\"$arg\""
    shown+=("$arg")
  done
  echo "\$ $(basename "$program") ${shown[*]}"
  "$program" "$@"
}

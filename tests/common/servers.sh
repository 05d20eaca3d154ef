# Starts the servers a test script needs and stops every one of them when the
# script ends: normally, on failure, or on INT, TERM or HUP. Source it; do not
# run it.
#
#   start_server COMMAND...    a server in a session of its own; SERVER_PID is
#                              its PID, which is also its session's ID. Give
#                              redirections to the call, as to the command.
#   start_bus VAR COMMAND...   a dbus-daemon (COMMAND without --nofork and
#                              --print-address); VAR is exported as its address.
#   start_xvfb [ARG...]        an X server on a free display; exports DISPLAY.
#   wait_until SECONDS COMMAND...  polls COMMAND until it succeeds (1: timed out).
#   at_exit 'SHELL CODE'       runs after the servers have stopped (clean-up).
#
# At the end every process of each server's session gets TERM, then KILL if it
# is still there after SERVERS_GRACE (5) seconds. Daemons that leave their session
# (mozc_server, tmux, dbus-daemon --fork, bus-activated services) are found by
# YUMEKAZU_SERVERS, a tag each sourcing script adds to the environment it
# passes on; what still carries this script's tag then is stopped the same way.
# A script that clears its children's environment must pass the tag on itself.

SERVERS_DIR="$(mktemp -d /tmp/yumekazu-servers.XXXXXX)"
SERVERS_GRACE=5
SERVERS_TAG="${SERVERS_DIR##*.}"
export YUMEKAZU_SERVERS="${YUMEKAZU_SERVERS:+$YUMEKAZU_SERVERS:}$SERVERS_TAG"
SERVER_SESSIONS=()
SERVER_PID=
SERVERS_AT_EXIT=()
SERVERS_STARTED=0

start_server() {
  # Not a group leader (no job control here), so setsid execs in place: $! is
  # the server itself.
  setsid "$@" &
  SERVER_PID=$!
  SERVER_SESSIONS+=("$SERVER_PID")
}

wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

start_bus() {
  local var="$1" file="$SERVERS_DIR/bus.$((++SERVERS_STARTED))"
  shift
  start_server "$@" --nofork --nopidfile --print-address=3 3>"$file" >"$file.log" 2>&1
  wait_until 10 test -s "$file" || { echo "the bus did not start: $*" >&2; cat "$file.log" >&2; return 1; }
  printf -v "$var" '%s' "$(head -n1 "$file")"
  export "${var?}"
}

start_xvfb() {
  local file="$SERVERS_DIR/display.$((++SERVERS_STARTED))"
  start_server Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp "$@" 3>"$file" >"$file.log" 2>&1
  wait_until 10 test -s "$file" || { echo "Xvfb did not start" >&2; cat "$file.log" >&2; return 1; }
  DISPLAY=":$(head -n1 "$file")"
  export DISPLAY
}

at_exit() { SERVERS_AT_EXIT+=("$1"); }

# The live processes of the recorded sessions and those carrying our tag (but
# not this shell, nor the grep that reads its own environment).
servers_left() {
  local -
  set +e +o pipefail
  local sessions=" ${SERVER_SESSIONS[*]} " tagged pid sid stat
  tagged=" $(grep -lzs -E "^YUMEKAZU_SERVERS=(.*:)?$SERVERS_TAG(:.*)?\$" /proc/[0-9]*/environ | tr -dc '0-9\n' | tr '\n' ' ') "
  while read -r pid sid stat; do
    if [[ $stat != Z* && $pid != "$$" && $pid != "$BASHPID" && ($sessions == *" $sid "* || $tagged == *" $pid "*) ]]; then
      echo "$pid"
    fi
  done < <(ps -e -o pid=,sid=,stat=)
}

# TERM, a grace period, KILL: each round ends when nothing is left.
stop_servers() {
  local -
  set +e
  local signal left deadline
  for signal in TERM KILL; do
    mapfile -t left < <(servers_left)
    [ "${#left[@]}" -gt 0 ] || break
    kill -s "$signal" "${left[@]}" 2>/dev/null || true
    deadline=$((SECONDS + SERVERS_GRACE))
    while mapfile -t left < <(servers_left) && [ "${#left[@]}" -gt 0 ] && [ "$SECONDS" -lt "$deadline" ]; do
      sleep 0.1
    done
  done
  if [ "${#left[@]}" -eq 0 ]; then
    local pid
    for pid in "${SERVER_SESSIONS[@]}"; do wait "$pid" 2>/dev/null || true; done
  else # waiting would hang: say so and go on
    echo "could not stop: $(ps -o pid=,args= -p "$(IFS=,; echo "${left[*]}")")" >&2
  fi
  SERVER_SESSIONS=()
}

# Stops the servers, then cleans up after them.
servers_finish() {
  stop_servers
  local action
  for action in "${SERVERS_AT_EXIT[@]}"; do eval "$action" || true; done
  SERVERS_AT_EXIT=()
  rm -rf "$SERVERS_DIR"
}

servers_on_exit() {
  local status=$?
  trap - EXIT
  trap '' INT TERM HUP
  servers_finish
  exit "$status"
}

# Stops everything, then dies of the same signal so the caller sees it.
servers_on_signal() {
  trap - EXIT
  trap '' INT TERM HUP
  servers_finish
  trap - "$1"
  kill -s "$1" "$$"
  # A signal ignored since this shell started cannot end it.
  exit $((128 + $(kill -l "$1")))
}

trap servers_on_exit EXIT
trap 'servers_on_signal INT' INT
trap 'servers_on_signal TERM' TERM
trap 'servers_on_signal HUP' HUP

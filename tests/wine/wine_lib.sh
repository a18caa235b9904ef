# Shared by the Wine test scripts: the environment of 'wine-env up', the
# program's start and end, the probe, and failure reports. Sourced with
# the script's own arguments: <state dir> <Tessaread.exe> <wine-probe.exe>
# <case>.

[ $# -eq 4 ] || { echo "usage: $(basename "$0") <state> <exe> <probe> <case>" >&2; exit 2; }
state=$1 exe=$2 probe=$3 case=$4
[ -f "$state/env" ] || { echo "no Wine environment in $state" >&2; exit 1; }
# shellcheck disable=SC1091
. "$state/env"
work="$state/$case"
rm -rf "$work" && mkdir -p "$work"

NO_DEVICE_CAPTION="No Video Capture Hardware"
NO_DEVICE_TEXT='No video capture device was detected.\r\n\r\nThis sample requires a video capture device, such as a USB WebCam,\r\nto be installed and working properly.  The sample will now close.'
ERROR_CAPTION="Lumetta Message"
RESULTS=ORVL1
VIDEO=ORVL
IDM_EXIT=10002
IDM_ABOUT=10003
IDM_THOROUGH_READING=10004
WM_CLOSE=16
WM_COMMAND=273

pid=""

cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null
    "$WINESERVER" -k 2>/dev/null
  fi
}
trap cleanup EXIT

fail() {
  echo "FAIL ($case): $*" >&2
  [ -s "$work/trace.log" ] && { echo "--- program stderr:" >&2; tail -20 "$work/trace.log" >&2; }
  exit 1
}

probe() {
  "$WINE64" "$probe" "$@" 2>>"$work/probe.log"
}

# Starts the program with the debugger channel on its stderr, appended to
# the trace file, which other programs' traces may join.
start_program() {
  WINEDEBUG=-all,+debugstr "$WINE64" "$exe" >"$work/stdout.log" 2>>"$work/trace.log" &
  pid=$!
}

# A Unix path as a Windows program in the prefix names it.
windows_path() {
  local p=$1
  printf 'Z:%s' "${p//\//\\}"
}

# Waits up to $1 seconds for the program to end; checks its exit code is 0.
expect_exit_0() {
  local limit=$(($1 * 10)) status
  for _ in $(seq "$limit"); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "the program did not end within $1 s"
  wait "$pid"
  status=$?
  pid=""
  [ "$status" -eq 0 ] || fail "exit code $status, expected 0"
}

# Compares the probe's output for "$@" with the expected text in $want,
# retrying for up to 15 s while the program catches up with posted
# messages (a first start in a fresh prefix on a loaded machine has taken
# over 5 s to fill its windows).
expect_output() {
  local want=$1 got
  shift
  for _ in $(seq 75); do
    got=$(probe "$@")
    [ "$got" = "$want" ] && return 0
    sleep 0.2
  done
  fail "'$*' gave '$got', expected '$want'"
}


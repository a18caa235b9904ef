#!/usr/bin/env bash
# One test of Tessaread.exe under wine64, without a camera, in the display
# and prefix that 'scripts/wine-env up <state>' made.
#
#   wine_case.sh <state dir> <Tessaread.exe> <wine-probe.exe> <case>
#
# Cases without a camera: no_device, about_twice, file_exit, close_results,
# close_video, resize. With the test camera (fake_camera.dll, beside the
# probe): camera_register, camera_frames, camera_close_video,
# camera_unregister. Every process a case starts is gone when it ends.
set -uo pipefail

[ $# -eq 4 ] || { echo "usage: wine_case.sh <state> <exe> <probe> <case>" >&2; exit 2; }
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

# Starts the program with the debugger channel on its stderr.
start_program() {
  TESSAREAD_TESTCAM_DIR="Z:${state//\//\\}\\hello" WINEDEBUG=-all,+debugstr "$WINE64" "$exe" >"$work/stdout.log" 2>"$work/trace.log" &
  pid=$!
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
# retrying for up to 5 s while the program catches up with posted messages.
expect_output() {
  local want=$1 got
  shift
  for _ in $(seq 25); do
    got=$(probe "$@")
    [ "$got" = "$want" ] && return 0
    sleep 0.2
  done
  fail "'$*' gave '$got', expected '$want'"
}

# The state every case starts from: the information box is up (the main
# thread waits in it) and the results window shows its first line.
start_without_device() {
  start_program
  probe wait-caption "$NO_DEVICE_CAPTION" 60000 || fail "no '$NO_DEVICE_CAPTION' box"
  probe wait "$RESULTS" 20000 || fail "no results window"
  expect_output 'Start program!\r\n' results-text "$RESULTS"
}

close_no_device_box() {
  probe box-ok "$NO_DEVICE_CAPTION" || fail "could not close the information box"
}

case_no_device() {
  start_without_device
  expect_output "$NO_DEVICE_TEXT" box-text "$NO_DEVICE_CAPTION"
  expect_output 0 count-caption "$ERROR_CAPTION"
  # The video window is never shown without a running preview.
  expect_output 0 visible "$VIDEO"
  expect_output 1 visible "$RESULTS"
  close_no_device_box
  expect_exit_0 20
  # No graph, so no grab and no recognition cycle in the whole run. The
  # probe's own line shows that the channel is captured this way.
  WINEDEBUG=-all,+debugstr "$WINE64" "$probe" trace "wine-probe channel check" 2>"$work/probe-trace.log"
  grep -q "wine-probe channel check" "$work/probe-trace.log" || fail "debugger channel not captured"
  if grep -q '"Start 1' "$work/trace.log"; then fail "a recognition cycle ran"; fi
}

case_about_twice() {
  start_without_device
  probe command "$RESULTS" "$IDM_ABOUT" || fail "could not post About"
  probe command "$RESULTS" "$IDM_ABOUT" || fail "could not post About"
  local notice='Copyright (c) 2026 Tessaread developers'
  local block="$notice"'\r\nVersion 1.000\r\nTessaread\r\n'
  expect_output "$block$block"'Start program!\r\n' results-text "$RESULTS"
  close_no_device_box
  expect_exit_0 20
}

# File, Exit and closing the results window end the recognition side at
# once; the main thread follows as soon as the box has let it go.
case_file_exit() {
  start_without_device
  probe command "$RESULTS" "$IDM_EXIT" || fail "could not post Exit"
  probe gone "$RESULTS" 10000 || fail "the results window stayed"
  close_no_device_box
  expect_exit_0 20
}

case_close_results() {
  start_without_device
  probe close "$RESULTS" || fail "could not close the results window"
  probe gone "$RESULTS" 10000 || fail "the results window stayed"
  close_no_device_box
  expect_exit_0 20
}

# Closing the (hidden) video window ends everything, the box included.
case_close_video() {
  start_without_device
  probe close "$VIDEO" || fail "could not close the video window"
  expect_exit_0 20
}

# The results window springs back to 200 pixels on a side; its box fills
# the client area but for a 2-pixel strip at the right and bottom.
case_resize() {
  start_without_device
  local width height
  for size in "150 150:200x200" "150 300:200x300" "300 150:300x200" "500 450:500x450"; do
    probe resize "$RESULTS" ${size%:*} || fail "could not resize to ${size%:*}"
    for _ in $(seq 25); do
      layout=$(probe layout "$RESULTS")
      [[ $layout == "window ${size#*:} "* ]] && break
      sleep 0.2
    done
    [[ $layout =~ ^window\ ${size#*:}\ client\ ([0-9]+)x([0-9]+)\ panel\ ([0-9]+x[0-9]+)\ box\ ([0-9]+x[0-9]+)$ ]] ||
      fail "resized to ${size%:*}: '$layout'"
    width=${BASH_REMATCH[1]} height=${BASH_REMATCH[2]}
    [ "${BASH_REMATCH[3]}" = "${width}x${height}" ] || fail "panel does not fill the client: $layout"
    [ "${BASH_REMATCH[4]}" = "$((width - 2))x$((height - 2))" ] || fail "box not 2 pixels short: $layout"
  done
  close_no_device_box
  expect_exit_0 20
}

camera_dll="$(dirname "$probe")/../testcam/tessaread-testcam.dll"
CAMERA_LINE='^[0-9]+\.[0-9]+\.[0-9]+ [0-9]+:[0-9]+:[0-9]+:[0-9]+ - (Hello, World! \(ASCII\)|None)$'

case_camera_register() {
  mkdir -p "$state/hello"
  "$TESTCAM_FRAMES" "$state/hello" "$SAMPLES/frames/hello-upright.png" || fail "could not make the camera's picture"
  "$WINE64" regsvr32 /s "$camera_dll" || fail "could not register the test camera"
}

case_camera_unregister() {
  "$WINE64" regsvr32 /u /s "$camera_dll" || fail "could not unregister the test camera"
}

# Waits up to 60 s until the results box holds at least $1 result lines
# above "Start program!"; leaves them, one per line, in $work/lines.
wait_for_result_lines() {
  local text count=0
  for _ in $(seq 120); do
    text=$(probe results-text "$RESULTS")
    printf '%s' "$text" | sed 's/\\r\\n/\n/g' >"$work/lines"
    count=$(grep -c ' - ' "$work/lines")
    [ "$count" -ge "$1" ] && return 0
    sleep 0.5
  done
  fail "only $count result lines: '$text'"
}

# The camera's picture is grabbed, recognised and decoded again and again;
# closing the results window then ends the program with exit code 0.
case_camera_frames() {
  start_program
  probe wait "$RESULTS" 20000 || fail "no results window"
  wait_for_result_lines 3
  expect_output 1 visible "$VIDEO"
  expect_output 0 count-caption "$ERROR_CAPTION"
  [ "$(tail -n 1 "$work/lines")" = "Start program!" ] || fail "oldest line is not 'Start program!'"
  local bad
  bad=$(head -n 3 "$work/lines" | grep -Ev "$CAMERA_LINE")
  [ -z "$bad" ] || fail "badly formed line: '$bad'"
  grep -q ' - Hello, World! (ASCII)$' "$work/lines" || fail "the symbol was never decoded"
  probe close "$RESULTS" || fail "could not close the results window"
  expect_exit_0 20
  grep -q '"Start 1 started' "$work/trace.log" || fail "no recognition cycle in the trace"
}

# Closing the video window while frames are grabbed and recognised.
case_camera_close_video() {
  start_program
  probe wait "$RESULTS" 20000 || fail "no results window"
  wait_for_result_lines 1
  probe close "$VIDEO" || fail "could not close the video window"
  expect_exit_0 20
}

declare -F "case_$case" >/dev/null || { echo "unknown case $case" >&2; exit 2; }
"case_$case"
echo "PASS ($case)"

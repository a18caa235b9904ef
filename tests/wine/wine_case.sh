#!/usr/bin/env bash
# One test of Tessaread.exe under wine64, without a camera, in the display
# and prefix that 'scripts/wine-env up <state>' made.
#
#   wine_case.sh <state dir> <Tessaread.exe> <wine-probe.exe> <case>
#
# Cases: no_device, about_twice, file_exit, close_results, close_video,
# resize, results_box. Every process a case starts is gone when it ends. The cases with
# the test camera are in camera_case.sh.
set -uo pipefail

# shellcheck source=tests/wine/wine_lib.sh
. "$(dirname "$0")/wine_lib.sh" "$@"

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

# Characters in the results box, and its lines.
box_length() {
  probe results-text "$RESULTS" |
    perl -pe 'chomp; s/\\(r|n|\\)/$1 eq "r" ? "\r" : $1 eq "n" ? "\n" : "\\"/ge' | wc -c
}
box_lines() {
  probe results-text "$RESULTS" | grep -o '\\r\\n' | wc -l
}

# About puts three lines on top: the box is refreshed three times.
refresh_with_about() {
  local lines now deadline=$((SECONDS + 30))
  lines=$(box_lines)
  probe command "$RESULTS" "$IDM_ABOUT" || fail "could not post About"
  while [ "$SECONDS" -lt "$deadline" ]; do
    now=$(box_lines)
    [ "$now" -eq $((lines + 3)) ] && return 0
    sleep 0.2
  done
  fail "About did not add its three lines: $lines, then $now"
}

# What the person does in the box survives a refresh: no selection at the
# top shows the newest line; a selection stays on the same characters and
# copies them; a scrolled view stays on the same lines; Ctrl+A selects
# everything.
case_results_box() {
  start_without_device
  local notice='Copyright (c) 2026 Tessaread developers' view top x0 before after length
  # Narrow, so that the longest line scrolls sideways; enough lines to
  # scroll down.
  probe resize "$RESULTS" 220 400 || fail "could not resize"
  for _ in $(seq 16); do refresh_with_about; done

  view=$(probe box-view "$RESULTS")
  [[ $view =~ ^0\ (-?[0-9]+)\ (.*)$ ]] && [ "${BASH_REMATCH[2]}" = "$notice" ] ||
    fail "the newest line is not at the top: '$view'"
  x0=${BASH_REMATCH[1]}
  refresh_with_about
  expect_output "0 $x0 $notice" box-view "$RESULTS"

  probe box-select "$RESULTS" 45 80 || fail "could not select"
  before=$(probe box-selection "$RESULTS")
  [[ $before =~ ^45\ 80\ (.+)$ ]] || fail "selected '$before'"
  length=$(box_length)
  refresh_with_about
  local shift=$(($(box_length) - length))
  after=$(probe box-selection "$RESULTS")
  [ "$after" = "$((45 + shift)) $((80 + shift)) ${BASH_REMATCH[1]}" ] ||
    fail "selection '$before' became '$after' ($shift characters added)"
  echo "selection kept: '$before' -> '$after'"
  expect_output "${BASH_REMATCH[1]}" box-copy "$RESULTS"

  probe box-char "$RESULTS" 1 || fail "could not send Ctrl+A"
  length=$(box_length)
  for _ in $(seq 25); do
    after=$(probe box-selection "$RESULTS")
    [[ $after == "0 $length "* ]] && break
    sleep 0.2
  done
  [[ $after == "0 $length "* ]] || fail "Ctrl+A selected '${after:0:40}', not 0 to $length"

  probe box-select "$RESULTS" 0 0 || fail "could not clear the selection"
  probe box-scroll "$RESULTS" 10 4 || fail "could not scroll"
  before=$(probe box-view "$RESULTS")
  [[ $before =~ ^10\ (-?[0-9]+)\ (.+)$ ]] && [ "${BASH_REMATCH[1]}" -lt "$x0" ] ||
    fail "scrolled to '$before'"
  top="${BASH_REMATCH[1]} ${BASH_REMATCH[2]}"
  refresh_with_about
  after=$(probe box-view "$RESULTS")
  [ "$after" = "13 $top" ] || fail "view '$before' became '$after'"
  echo "view kept: '$before' -> '$after'"
  close_no_device_box
  expect_exit_0 20
}

declare -F "case_$case" >/dev/null || { echo "unknown case $case" >&2; exit 2; }
"case_$case"
echo "PASS ($case)"

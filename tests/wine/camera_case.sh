#!/usr/bin/env bash
# One test of Tessaread.exe under wine64 with the test camera
# (tessaread-testcam.dll) playing the project's sample frames, in the
# display and prefix that 'scripts/wine-env up <state>' made.
#
#   camera_case.sh <state dir> <Tessaread.exe> <wine-probe.exe> <case>
#
# Cases: camera_register (makes the BMP frames and the expected results,
# registers the camera), camera_com, camera_samples, camera_rgb32, camera_bad_input,
# camera_sizes, camera_grab_failure, camera_thorough, camera_file_exit, camera_close_results,
# camera_close_video, camera_soak, camera_unregister. Environment: TESTCAM_FRAMES and TESSAREAD_SCAN (the
# native testcam-frames and tessaread-scan), SAMPLES (the samples folder),
# SOAK_SECONDS (length of camera_soak, default 180).
#
# The expected result of a frame is what the engine, built natively, reads
# in it with each pair of detector settings: the Windows program must give
# exactly that line, with exactly that number of attempts, for every frame
# it grabs, the pair carried from cycle to cycle as the program does.
set -uo pipefail

# shellcheck source=tests/wine/wine_lib.sh
. "$(dirname "$0")/wine_lib.sh" "$@"

camera_dll="$(dirname "$probe")/../testcam/tessaread-testcam.dll"
frames="$state/frames"  # the sample frames as BMP files
single="$state/single"  # hello-upright alone
expected="$state/expected"
cycles_awk="$(dirname "$0")/cycles.awk"
PREFIX_RE='^[0-9]+\.[0-9]+\.[0-9]+ [0-9]+:[0-9]+:[0-9]+:[0-9]+ - '

# Texts as the probe prints them: backslash doubled, every character
# beyond ASCII as \uXXXX. From UTF-8, and from ISO-8859-1 bytes.
escape_utf8() { perl -CSD -pe 's/\\/\\\\/g; s/([^\x00-\x7f])/sprintf("\\u%04x", ord($1))/ge'; }
escape_latin1() { perl -pe 's/\\/\\\\/g; s/([\x80-\xff])/sprintf("\\u%04x", ord($1))/ge'; }

# ------------------------------------------------------------ set-up

# The engine's result for one frame with one pair: "attempts<TAB>result".
# Pair 1 is reached as the program reaches it: after a frame read as None.
native_result() {
  local frame=$1 pair=$2 lead=() out
  [ "$pair" = 1 ] && lead=("$frames/no-symbol.bmp")
  out=$("$TESSAREAD_SCAN" --cycle --trace "${lead[@]}" "$frame" 2>"$work/scan.err") ||
    [ $? -eq 1 ] || fail "tessaread-scan failed on $frame"
  if [ "$pair" = 1 ]; then
    [[ $(head -n 1 <<<"$out") =~ \ -\ None$ ]] || fail "no-symbol.bmp did not read None"
  fi
  printf '%s\t%s\n' \
    "$(awk '/^Start 1 started/ { n = 0 } /^Start 3 started/ { n++ } END { print n }' "$work/scan.err")" \
    "$(tail -n 1 <<<"$out" | sed -E "s/$PREFIX_RE//" | escape_utf8)"
}

case_camera_register() {
  local f name pair
  [ -x "$TESTCAM_FRAMES" ] && [ -x "$TESSAREAD_SCAN" ] || fail "native tools not built"
  rm -rf "$frames" "$single" && mkdir -p "$frames" "$single"
  "$TESTCAM_FRAMES" "$frames" "$SAMPLES"/frames/*.png "$SAMPLES"/frames/*.jpg ||
    fail "could not convert the sample frames"
  cp "$frames/hello-upright.bmp" "$single/"
  : >"$expected"
  for f in "$frames"/*.bmp; do
    name=$(basename "$f")
    for pair in 0 1; do
      printf '%s\t%s\t%s\n' "$name" "$pair" "$(native_result "$f" "$pair")" >>"$expected"
    done
  done
  "$WINE64" regsvr32 /s "$camera_dll" || fail "could not register the test camera"
  cat "$expected"
}

case_camera_unregister() {
  "$WINE64" regsvr32 /u /s "$camera_dll" || fail "could not unregister the test camera"
}

# ------------------------------------------------------------ helpers

# Starts the program with the camera playing folder $1 for $2 s a picture.
start_camera() {
  export TESSAREAD_TESTCAM_DIR TESSAREAD_TESTCAM_SECONDS=$2
  TESSAREAD_TESTCAM_DIR=$(windows_path "$1")
  start_program
  probe wait "$RESULTS" 20000 || fail "no results window"
}

# Reads the results box into $work/lines, one line each, newest first.
read_lines() {
  probe results-text "$RESULTS" | sed 's/\\r\\n/\n/g' | sed '/^$/d' >"$work/lines"
}

result_count() {
  grep -cE "$PREFIX_RE" "$work/lines"
}

# Waits up to $2 s until the box holds at least $1 result lines.
wait_for_lines() {
  local deadline=$((SECONDS + $2))
  while [ "$SECONDS" -lt "$deadline" ]; do
    read_lines
    [ "$(result_count)" -ge "$1" ] && return 0
    sleep 0.5
  done
  fail "only $(result_count) result lines after $2 s"
}

# Matches the result lines of the box (oldest first) with the cycles of
# the trace from cycle $1 on, the pair being $2 at that cycle: each line's
# frame is the camera's picture at the grab before its cycle, and the pair
# changes after each None. Rows go to $work/cycles.txt; on a mismatch the
# reason is in $mismatch and the status is 1.
match_cycles() {
  local first=$1 pair=$2 n=0 k line result picture attempts seconds want_attempts want_result
  : >"$work/cycles.txt"
  mismatch=""
  while IFS= read -r line; do
    n=$((n + 1))
    k=$((first + n - 1))
    picture="" attempts="" seconds="" want_attempts="" want_result=""
    [[ $line =~ $PREFIX_RE ]] || { mismatch="badly formed line $n: '$line'"; return 1; }
    result=$(sed -E "s/$PREFIX_RE//" <<<"$line")
    read -r _ picture attempts seconds < <(sed -n "${k}p" "$work/cycles")
    [ -n "${picture:-}" ] || { mismatch="line $n has no cycle $k in the trace"; return 1; }
    [ "$seconds" != open ] || { mismatch="cycle $k never ended"; return 1; }
    IFS=$'\t' read -r want_attempts want_result < <(
      awk -F '\t' -v p="$picture" -v q="$pair" '$1 == p && $2 == q { print $3 "\t" $4 }' "$expected")
    [ -n "${want_result:-}" ] || { mismatch="cycle $k: no expected result for '$picture'"; return 1; }
    printf '%3d %-24s pair %d attempts %d %6s s  %s\n' "$k" "$picture" "$pair" "$attempts" \
      "$seconds" "$result" >>"$work/cycles.txt"
    [ "$result" = "$want_result" ] ||
      { mismatch="cycle $k ($picture, pair $pair): '$result', expected '$want_result'"; return 1; }
    [ "$attempts" = "$want_attempts" ] ||
      { mismatch="cycle $k ($picture, pair $pair): $attempts attempts, expected $want_attempts"; return 1; }
    [ "$result" = None ] && pair=$((1 - pair))
  done < <(grep -E "$PREFIX_RE" "$work/lines" | tac)
  return 0
}

# Every result line of the box against the trace and the engine's results.
# A whole box starts at cycle 1 with pair 0. A box trimmed at its size
# limit (a long soak) holds the newest lines: they end at the last cycle
# done when it was read ($1), or the one before if a cycle ended between
# the reading and the count; the pair at its oldest line is either.
check_cycles() {
  local done_at_read=${1:-} lines first pair
  awk -f "$cycles_awk" "$work/trace.log" | grep -v '^probe' >"$work/cycles"
  [ "$(head -n 1 "$work/lines")" != "Start program!" ] || fail "no result line"
  if [ "$(tail -n 1 "$work/lines")" = "Start program!" ]; then
    match_cycles 1 0 || fail "$mismatch"
    [ "$(result_count)" -le "$(wc -l <"$work/cycles")" ] || fail "more lines than cycles"
    return
  fi
  [ -n "$done_at_read" ] || fail "oldest line is not 'Start program!'"
  # The box shows the text cut at its conversion limit: its oldest line
  # may be cut short.
  sed -i '$d' "$work/lines"
  lines=$(result_count)
  for first in $((done_at_read - lines + 1)) $((done_at_read - lines)); do
    for pair in 0 1; do
      [ "$first" -ge 1 ] && match_cycles "$first" "$pair" && {
        echo "trimmed box: its $lines lines are cycles $first to $((first + lines - 1))"
        return
      }
    done
  done
  fail "the trimmed box's lines match no run of cycles: $mismatch"
}

cycle_time_summary() {
  awk '$4 != "open" { s += $4; n++; if (min == "" || $4 < min) min = $4; if ($4 > max) max = $4 }
       END { if (n) printf "cycle time (Start 1) over %d cycles: mean %.3f s, min %s s, max %s s\n", n, s / n, min, max }' \
    "$work/cycles"
}

# No process of the prefix is left once its server has gone.
expect_wine_gone() {
  local p left=""
  timeout 20 "$WINESERVER" -w || fail "Wine's processes still there after 20 s"
  for p in /proc/[0-9]*; do
    [[ $(readlink "$p/exe" 2>/dev/null) == */wine* ]] || continue
    tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && left+=" ${p#/proc/}"
  done
  [ -z "$left" ] || fail "processes of the prefix left:$left"
}

# ------------------------------------------------------------ cases

# The camera's own COM objects, through testcam-check.exe: interfaces, pin,
# media types, category, a frame equal to the first picture, references.
case_camera_com() {
  "$WINE64" "$(dirname "$camera_dll")/testcam-check.exe" "$camera_dll" "$(windows_path "$frames")" ||
    fail "testcam-check found faults"
}

# The sample frames in turn, 2 s each: every symbol's exact text and mode
# label, "None" for the frame without one, the attempt pattern of every
# cycle, and the graph in the running object table.
case_camera_samples() {
  local txt want missing deadline winpid
  start_camera "$frames" 2
  deadline=$((SECONDS + 120))
  while :; do
    read_lines
    missing=""
    for txt in "$SAMPLES"/frames/*.txt; do
      want=$(escape_latin1 <"$txt")
      grep -qF -- " - $want (" "$work/lines" || missing+=" $(basename "$txt" .txt)"
    done
    grep -qx '.* - None' "$work/lines" || missing+=" None"
    [ -z "$missing" ] && break
    [ "$SECONDS" -lt "$deadline" ] || fail "never read:$missing"
    sleep 1
  done
  winpid=$(probe pid "$RESULTS") || fail "no process id"
  probe rot >"$work/rot" || fail "could not list the running object table"
  grep -qE "^!FilterGraph [0-9a-f]{8} pid $(printf '%08x' "$winpid")$" "$work/rot" ||
    fail "graph not in the running object table: $(cat "$work/rot")"
  expect_output 1 visible "$VIDEO"
  expect_output 0 count-caption "$ERROR_CAPTION"
  probe close "$RESULTS" || fail "could not close the results window"
  expect_exit_0 10
  check_cycles
  cat "$work/cycles.txt"
  cycle_time_summary
  echo "running object table: $(cat "$work/rot")"
}

# The camera offering RGB32 first: the renderer hands 32-bit pictures over.
case_camera_rgb32() {
  TESSAREAD_TESTCAM_FORMAT=RGB32 start_camera "$single" 2
  wait_for_lines 3 60
  probe close "$RESULTS" || fail "could not close the results window"
  expect_exit_0 10
  grep -q '"testcam: connected RGB32 640x480' "$work/trace.log" || fail "not connected with RGB32"
  check_cycles
  cat "$work/cycles.txt"
}

# Four bad files around one good picture: only the good one is played.
# Then a folder that does not exist: grey frames, read as None.
case_camera_bad_input() {
  local bad="$work/bad"
  mkdir -p "$bad"
  head -c 5000 "$frames/hello-upright.bmp" >"$bad/a-cut-off.bmp"
  cp "$frames/hello-upright.bmp" "$bad/b-eight-bit.bmp"
  printf '\010' | dd of="$bad/b-eight-bit.bmp" bs=1 seek=28 conv=notrunc status=none
  cp "$frames/hello-upright.bmp" "$bad/c-hello.bmp"
  # A good 24-bit picture of 2 x 2 pixels: another size than the first.
  perl -e 'print pack("A2 V v v V V l l v v V V l l V V", "BM", 70, 0, 0, 54, 40, 2, 2, 1, 24,
           0, 16, 2835, 2835, 0, 0), "\xff" x 16' >"$bad/d-small.bmp"
  echo "no picture" >"$bad/e-text.bmp"
  start_camera "$bad" 1
  wait_for_lines 3 60
  probe close "$RESULTS" || fail "could not close the results window"
  expect_exit_0 10
  for f in a-cut-off b-eight-bit d-small e-text; do
    grep -q "\"testcam: skipped $f.bmp" "$work/trace.log" || fail "$f.bmp was not skipped"
  done
  grep -q '"testcam: 1 pictures of 640x480' "$work/trace.log" || fail "c-hello.bmp is not played"
  grep -E "$PREFIX_RE" "$work/lines" | grep -vq ' - Hello, World! (ASCII)$' &&
    fail "a line other than the good picture's: $(cat "$work/lines")"

  mv "$work/trace.log" "$work/trace-bad.log"
  start_camera "$work/missing" 1
  wait_for_lines 2 60
  probe close "$RESULTS" || fail "could not close the results window"
  expect_exit_0 10
  grep -q '"testcam: no pictures in' "$work/trace.log" || fail "no grey frames"
  grep -E "$PREFIX_RE" "$work/lines" | grep -vq ' - None$' &&
    fail "a grey frame not read as None: $(cat "$work/lines")"
}

# sized_picture DIR WIDTH HEIGHT TEXT: a symbol of TEXT, 8 pixels a module
# for every 640 pixels of width, on a grey desk of that size, as DIR/NAME.bmp
# (NAME: WIDTHxHEIGHT), with the pixels the scanner reads.
sized_picture() {
  local dir=$1 width=$2 height=$3 text=$4 name="$2x$3"
  mkdir -p "$dir"
  zint -b 71 --scale=$((width * 4 / 640)) --whitesp=3 --vwhitesp=3 -d "$text" \
    -o "$work/zint.png" >/dev/null || fail "zint failed"
  convert -size "${width}x${height}" gradient:'#b5aca0'-'#6e675f' \
    \( "$work/zint.png" -colorspace sRGB +level-colors '#2b2826','#eeebe4' \) \
    -gravity center -geometry +40+20 -composite -blur 0x0.8 "$work/$name.png" ||
    fail "could not make $name.png"
  "$TESTCAM_FRAMES" "$dir" "$work/$name.png" || fail "could not convert $name.png"
}

# The camera at sizes beyond the first frame buffer, in 24 and 32 bits: a
# line for every cycle, each the engine's reading of the picture. The
# camera keeps one size per run, as a camera does per connection, so each
# size is a run of its own.
case_camera_sizes() {
  local size format width height dir
  local all_expected="$expected"
  for size in 1280x960:RGB24 1920x1080:RGB24 1920x1080:RGB32 2592x1944:RGB24; do
    format=${size#*:} width=${size%x*} height=${size%:*} height=${height#*x}
    dir="$work/$width-$format"
    sized_picture "$dir" "$width" "$height" "Tessaread $width x $height"
    expected="$work/expected-$width"
    for pair in 0 1; do
      printf '%s\t%s\t%s\n' "${width}x$height.bmp" "$pair" \
        "$(native_result "$dir/${width}x$height.bmp" "$pair")" >>"$expected"
    done
    grep -qP "\tTessaread $width x $height \(" "$expected" ||
      fail "the engine does not read the ${width}x$height picture: $(cat "$expected")"
    : >"$work/trace.log"
    TESSAREAD_TESTCAM_FORMAT=$format start_camera "$dir" 2
    wait_for_lines 3 120
    probe close "$RESULTS" || fail "could not close the results window"
    expect_exit_0 20
    grep -q "\"testcam: connected $format ${width}x$height" "$work/trace.log" ||
      fail "not connected with $format ${width}x$height"
    check_cycles
    echo "$format ${width}x$height: $(result_count) lines, $(cycle_time_summary)"
  done
  expected="$all_expected"
}

# grab_fails DIR NONE LINES: the camera plays DIR (1 s a picture) while
# stills cannot be had: at least NONE of the first LINES cycles give
# "None", and the preview runs between the grabs, so that they pause on
# more than one picture. A live camera delivers nothing while paused and
# may deliver nothing in the short run between two grabs either, so its
# picture on show can stay the same for a few grabs: that run waits for
# more lines.
grab_fails() {
  local pictures none
  : >"$work/trace.log"
  start_camera "$1" 1
  wait_for_lines "$3" 60
  probe close "$RESULTS" || fail "could not close the results window"
  expect_exit_0 20
  none=$(grep -cE "$PREFIX_RE"'None$' "$work/lines")
  [ "$none" -ge "$2" ] || fail "only $none None lines: $(cat "$work/lines")"
  awk -f "$cycles_awk" "$work/trace.log" >"$work/cycles"
  [ "$(result_count)" -le "$(wc -l <"$work/cycles")" ] || fail "more lines than cycles"
  pictures=$(grep -o '"testcam: paused on [^ ]*' "$work/trace.log" | sort -u | wc -l)
  [ "$pictures" -ge 2 ] || fail "every grab paused on the same picture: the preview stood still"
  echo "$none None lines of $(result_count), grabs paused on $pictures pictures"
}

# Pictures too tall to be read, then a live camera (nothing delivered
# while paused, so the renderer has no still to give, but for a frame
# that was on its way when the pause came).
case_camera_grab_failure() {
  mkdir -p "$work/tall"
  convert -size 64x3200 xc:'#808080' "$work/tall-a.png" &&
    convert -size 64x3200 xc:'#a0a0a0' "$work/tall-b.png" &&
    "$TESTCAM_FRAMES" "$work/tall" "$work/tall-a.png" "$work/tall-b.png" ||
    fail "could not make the tall pictures"
  grab_fails "$work/tall" 4 4
  grep -q '"testcam: connected RGB24 64x3200' "$work/trace.log" || fail "not connected at 64x3200"
  TESSAREAD_TESTCAM_LIVE=1 grab_fails "$frames" 3 12
}

# Ends the program by posting a message while a recognition cycle runs:
# exit code 0 within 5 s, the cycle finished, and no Wine process left.
stop_in_cycle() {
  local class=$1 message=$2 wparam=$3
  start_camera "$frames" 1
  wait_for_lines 2 60
  WINEDEBUG=-all,+debugstr "$WINE64" "$probe" post-in-cycle "$(windows_path "$work/trace.log")" \
    "$class" "$message" "$wparam" 20000 2>>"$work/trace.log" || fail "could not post in a cycle"
  local start=$SECONDS
  expect_exit_0 5
  awk -f "$cycles_awk" "$work/trace.log" >"$work/cycles"
  grep -q '^probe [0-9]* in-cycle$' "$work/cycles" || fail "the message did not arrive in a cycle"
  grep -q ' open$' "$work/cycles" && fail "a cycle was cut off"
  echo "ended $((SECONDS - start)) s after the message, $(grep -vc '^probe' "$work/cycles") cycles"
  expect_wine_gone
}

case_camera_file_exit() { stop_in_cycle "$RESULTS" "$WM_COMMAND" "$IDM_EXIT"; }
case_camera_close_results() { stop_in_cycle "$RESULTS" "$WM_CLOSE" 0; }
case_camera_close_video() { stop_in_cycle "$VIDEO" "$WM_CLOSE" 0; }

# thorough_pictures DIR: two pictures the fixed cycle misses on a grey
# desk, as DIR/a-small.bmp (3 pixels a module) and DIR/b-light-on-dark.bmp
# (a text beyond ASCII), with the engine's thorough text of each, escaped
# as the probe prints it, in $work/thorough-expected
# ("NAME<TAB>TEXT (MODE)"). Fails unless the scanner reads both as None
# with all four detector settings and both with --thorough.
thorough_pictures() {
  local dir=$1 name json text mode
  mkdir -p "$dir"
  zint -b 71 --square --scale=1.5 --whitesp=3 --vwhitesp=3 -d "Thorough: 3 px modules" \
    -o "$work/small.png" >/dev/null &&
    zint -b 71 --square --scale=3 --whitesp=3 --vwhitesp=3 -d "Licht auf Dunkel, Grüße" \
      -o "$work/inverted.png" >/dev/null || fail "zint failed"
  convert -size 640x480 gradient:'#b5aca0'-'#6e675f' \
    \( "$work/small.png" -colorspace sRGB +level-colors '#2b2826','#eeebe4' \) \
    -gravity center -geometry +40+20 -composite -blur 0x0.6 "$work/a-small.png" &&
    convert -size 640x480 gradient:'#b5aca0'-'#6e675f' \
      \( "$work/inverted.png" -colorspace sRGB +level-colors '#eeebe4','#2b2826' \) \
      -gravity center -geometry -30+10 -composite -blur 0x0.8 "$work/b-light-on-dark.png" ||
    fail "could not make the pictures"
  "$TESTCAM_FRAMES" "$dir" "$work/a-small.png" "$work/b-light-on-dark.png" ||
    fail "could not convert the pictures"
  : >"$work/thorough-expected"
  for name in a-small b-light-on-dark; do
    [ "$("$TESSAREAD_SCAN" "$dir/$name.bmp")" = "$dir/$name.bmp: None" ] ||
      fail "the fixed cycle reads $name.bmp"
    json=$("$TESSAREAD_SCAN" --thorough --json "$dir/$name.bmp") || fail "--thorough misses $name.bmp"
    text=$(sed -E 's/.*"text":"([^"]*)".*/\1/' <<<"$json")
    mode=$(sed -E 's/.*"mode":"([^"]*)".*/\1/' <<<"$json")
    # As the probe shows the box: "ü" and "ß" went in as the code page's
    # bytes and came back as those characters.
    printf '%s.bmp\t%s (%s)\n' "$name" "$(escape_utf8 <<<"$text")" "$mode" >>"$work/thorough-expected"
  done
  cat "$work/thorough-expected"
}

# The box's result lines (oldest first) beside the trace's cycles, one a
# line: "<picture> <attempts> <seconds> <result>" in $work/joined, result
# being what follows the time prefix.
join_lines_and_cycles() {
  awk -f "$cycles_awk" "$work/trace.log" | grep -v '^probe' >"$work/cycles"
  paste -d ' ' <(cut -d ' ' -f 2- "$work/cycles") \
    <(grep -E "$PREFIX_RE" "$work/lines" | tac | sed -E "s/$PREFIX_RE//") |
    awk 'NF > 3' >"$work/joined"
}

# Checks the joined lines from the $1-th on: each is None or its picture's
# thorough text, and every picture's text is among them.
expect_thorough_lines() {
  awk -v from="$1" '
    NR == FNR { split($0, f, "\t"); want[f[1]] = f[2]; next }
    FNR >= from {
      result = $0; sub(/^[^ ]+ [^ ]+ [^ ]+ /, "", result)
      if (result == want[$1]) seen[$1] = 1
      else if (result != "None") { print "wrong reading: " $0; bad = 1 }
    }
    END { for (p in want) if (!seen[p]) { print p " never read"; bad = 1 }; exit bad }
  ' "$work/thorough-expected" "$work/joined" >"$work/thorough-check" ||
    fail "$(cat "$work/thorough-check")"
}

# Waits up to $1 s until the box shows both pictures' texts.
wait_for_thorough_texts() {
  local deadline=$((SECONDS + $1)) want missing
  while :; do
    read_lines
    missing=""
    while IFS=$'\t' read -r _ want; do
      grep -qF -- " - $want" "$work/lines" || missing+=" '$want'"
    done <"$work/thorough-expected"
    [ -z "$missing" ] && return 0
    [ "$SECONDS" -lt "$deadline" ] || fail "never read:$missing"
    sleep 1
  done
}

# The stored option as reg.exe shows it (0x1, 0x0), empty when none.
thorough_setting() {
  "$WINE64" reg query 'HKCU\Software\Tessaread' /v ThoroughReading 2>/dev/null |
    awk '$1 == "ThoroughReading" { print $3 }' | tr -d '\r'
}

expect_thorough_setting() {
  for _ in $(seq 25); do
    [ "$(thorough_setting)" = "$1" ] && return 0
    sleep 0.2
  done
  fail "stored option '$(thorough_setting)', expected '$1'"
}

# Options, "Thorough reading": off when nothing is stored (every cycle two
# attempts and None), on from the menu (the pictures' texts in the same
# line format, stored in the registry), on again after a restart, and off
# again from the menu.
case_camera_thorough() {
  local dir="$work/pictures" before
  thorough_pictures "$dir"
  # The tests after this one read with the option off, however this ends.
  trap 'cleanup; "$WINE64" reg delete "HKCU\\Software\\Tessaread" /f >/dev/null 2>&1' EXIT
  "$WINE64" reg delete 'HKCU\Software\Tessaread' /f >/dev/null 2>&1

  start_camera "$dir" 1
  wait_for_lines 4 60
  join_lines_and_cycles
  awk '$2 != 2 || $4 != "None" || NF != 4 { bad = 1 } END { exit bad }' "$work/joined" ||
    fail "with the option off: $(cat "$work/joined")"
  grep -q '"Thorough started' "$work/trace.log" && fail "thorough reading ran while off"
  before=$(wc -l <"$work/joined")
  echo "off: $before cycles, each two attempts and None"

  probe command "$RESULTS" "$IDM_THOROUGH_READING" || fail "could not post the option"
  expect_thorough_setting 0x1
  wait_for_thorough_texts 90
  probe close "$RESULTS" || fail "could not close the results window"
  expect_exit_0 20
  join_lines_and_cycles
  # Cycles after the box was read and before the command came read None.
  expect_thorough_lines $((before + 1))
  echo "on: picture, attempts, seconds, result of each cycle"
  tail -n +$((before + 1)) "$work/joined"

  mv "$work/trace.log" "$work/trace-first.log"
  start_camera "$dir" 1
  wait_for_thorough_texts 60
  probe command "$RESULTS" "$IDM_THOROUGH_READING" || fail "could not post the option"
  expect_thorough_setting 0x0
  read_lines
  wait_for_lines $(($(result_count) + 3)) 60
  grep -E "$PREFIX_RE" "$work/lines" | head -n 2 | grep -vq ' - None$' &&
    fail "read with the option off again: $(head -n 2 "$work/lines")"
  probe close "$RESULTS" || fail "could not close the results window"
  expect_exit_0 20
  join_lines_and_cycles
  expect_thorough_lines 1
  echo "after a restart: read with the stored option; off again, None"
  cat "$work/trace-first.log" "$work/trace.log" | grep -o '"Thorough processed in [0-9.e-]*' |
    awk '{ s = $4; n++; t += s; if (s > max) max = s }
         END { printf "thorough stage: %d runs, mean %.3f s, max %.3f s\n", n, t / n, max }'
}

# Figures of the program's process: "<cycles> <working set> <commit>
# <handles> <VmRSS kB>".
sample_figures() {
  local figures
  figures=$(probe memory "$RESULTS") || fail "no memory figures"
  [[ $figures =~ ^working-set\ ([0-9]+)\ commit\ ([0-9]+)\ handles\ ([0-9]+)$ ]] ||
    fail "odd figures '$figures'"
  echo "$(grep -c '"Start 1 processed' "$work/trace.log") ${BASH_REMATCH[1]} ${BASH_REMATCH[2]} ${BASH_REMATCH[3]}" \
    "$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")"
}

# Hundreds of cycles: memory and handles stay flat, and every frame gets
# exactly its one line. The trace keeps only the lines the checks read.
case_camera_soak() {
  local length=${SOAK_SECONDS:-180} first last end
  export TESSAREAD_TESTCAM_DIR TESSAREAD_TESTCAM_SECONDS=1
  TESSAREAD_TESTCAM_DIR=$(windows_path "$frames")
  WINEDEBUG=-all,+debugstr "$WINE64" "$exe" >"$work/stdout.log" \
    2> >(grep --line-buffered -F -e '"Start 1 ' -e '"Start 3 started' -e '"testcam: ' >"$work/trace.log") &
  pid=$!
  probe wait "$RESULTS" 20000 || fail "no results window"
  wait_for_lines 20 120
  sleep 1  # the trace filter catches up
  end=$((SECONDS + length))
  echo "cycles working-set commit handles VmRSS-kB" | tee "$work/figures"
  first=$(sample_figures) || fail "no figures"
  echo "$first" | tee -a "$work/figures"
  while [ "$SECONDS" -lt "$end" ]; do
    sleep 30
    sample_figures | tee -a "$work/figures"
  done
  last=$(tail -n 1 "$work/figures")
  read_lines
  local done_at_read
  done_at_read=$(grep -c '"Start 1 processed' "$work/trace.log")
  probe close "$RESULTS" || fail "could not close the results window"
  expect_exit_0 10
  sleep 1  # the trace filter's last lines
  check_cycles "$done_at_read"
  cycle_time_summary
  local c1 w1 m1 h1 c2 w2 m2 h2
  read -r c1 w1 m1 h1 _ <<<"$first"
  read -r c2 w2 m2 h2 _ <<<"$last"
  echo "soak: $((c2 - c1)) cycles measured; handles $h1 -> $h2; commit $m1 -> $m2; working set $w1 -> $w2"
  # About one cycle a second under Wine with the trace on: a stalled
  # program shows here.
  [ $((c2 - c1)) -ge $((length / 3)) ] || fail "only $((c2 - c1)) cycles in $length s"
  [ "$h2" -le $((h1 + 4)) ] || fail "handles grew from $h1 to $h2"
  [ "$m2" -le $((m1 + 4 * 1024 * 1024)) ] || fail "committed memory grew from $m1 to $m2"
  [ "$w2" -le $((w1 + 8 * 1024 * 1024)) ] || fail "working set grew from $w1 to $w2"
}

declare -F "case_$case" >/dev/null || { echo "unknown case $case" >&2; exit 2; }
"case_$case"
echo "PASS ($case)"

#!/usr/bin/env bash
# The unpacked release under wine64, as a person would try it: the test
# camera registered by its own register.cmd, Tessaread64.exe started with
# no settings, the camera playing the pictures beside it; the results box
# must show each picture's text. Then unregister.cmd removes the camera.
# Run by scripts/dist, in the display and prefix of 'scripts/wine-env up'.
#
#   dist_case.sh <state dir> <unpacked Tessaread64.exe> <wine-probe.exe> <case>
#
# Environment: SAMPLES, the samples folder (NAME.txt holds the text of the
# picture NAME.bmp).
set -uo pipefail

# shellcheck source=tests/wine/wine_lib.sh
. "$(dirname "$0")/wine_lib.sh" "$@"

camera=$(dirname "$exe")/test-camera
clsid='{6C0B3E55-9F3A-4E2B-8C1D-2A7E5B4F9D10}'
PREFIX_RE='^[0-9]+\.[0-9]+\.[0-9]+ [0-9]+:[0-9]+:[0-9]+:[0-9]+ - '

# Runs one of the camera's scripts as Explorer would, its pause answered.
run_script() {
  echo | "$WINE64" cmd /c "$(windows_path "$camera/$1")" >"$work/$1.out" 2>&1
  local status=$?
  tr -d '\r' <"$work/$1.out" | sed '/^$/d; /^Press any key/d; s/^/  /'
  return $status
}

registered_server() {
  "$WINE64" reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /ve 2>/dev/null | tr -d '\r' |
    sed -n 's/.*REG_SZ[[:space:]]*//p'
}

echo "register.cmd:"
run_script register.cmd
# This machine runs no 32-bit code, and Wine's prefix has no 32-bit
# regsvr32: the script says so and registers the 64-bit camera alone.
grep -q "The test camera for Tessaread64.exe is registered." "$work/register.cmd.out" ||
  fail "register.cmd did not register the 64-bit test camera"
want=$(windows_path "$camera/tessaread-testcam64.dll")
[ "$(registered_server)" = "$want" ] ||
  fail "the registered camera is '$(registered_server)', expected '$want'"

unset TESSAREAD_TESTCAM_DIR TESSAREAD_TESTCAM_SECONDS TESSAREAD_TESTCAM_FORMAT
start_program
probe wait "$RESULTS" 20000 || fail "no results window"

# Each picture's text in some result line, within a few rounds of the
# pictures (2 s each).
declare -A texts
for f in "$camera"/pictures/*.bmp; do
  name=$(basename "$f" .bmp)
  texts[$name]=$(cat "$SAMPLES/frames/$name.txt")
done
deadline=$((SECONDS + 90))
while :; do
  probe results-text "$RESULTS" | sed 's/\\r\\n/\n/g; s/\\\\/\\/g' | sed '/^$/d' >"$work/lines"
  grep -E "$PREFIX_RE" "$work/lines" | sed -E "s/$PREFIX_RE//" |
    sed -E 's/ \((ASCII|C40|TEXT|X12|EDIFACT|B256)\)$//' >"$work/read"
  missing=()
  for name in "${!texts[@]}"; do
    grep -qxF "${texts[$name]}" "$work/read" || missing+=("$name")
  done
  [ ${#missing[@]} -eq 0 ] && break
  [ "$SECONDS" -lt "$deadline" ] || fail "not read within 90 s: ${missing[*]}"
  kill -0 "$pid" 2>/dev/null || fail "the program ended"
  sleep 1
done
# The trace escapes backslashes.
folder=$(windows_path "$camera/pictures" | sed 's/\\/\\\\/g')
grep -F "from '$folder'" "$work/trace.log" | grep -q "testcam: ${#texts[@]} pictures of " ||
  fail "the camera did not play the pictures beside it"
echo "Tessaread64.exe, results box after $(grep -cE "$PREFIX_RE" "$work/lines") cycles, newest first:"
sed 's/^/  /' "$work/lines"
probe close "$RESULTS"
expect_exit_0 20

echo "unregister.cmd:"
run_script unregister.cmd
grep -q "The test camera for Tessaread64.exe is unregistered." "$work/unregister.cmd.out" ||
  fail "unregister.cmd did not unregister the 64-bit test camera"
[ -z "$(registered_server)" ] || fail "the test camera is still registered"
echo "dist: the release reads its pictures under Wine"

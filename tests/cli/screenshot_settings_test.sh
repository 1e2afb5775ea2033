#!/usr/bin/env bash
# A screenshot run is not the user's session: with a file to open it reads
# the settings but writes no settings file and no recent-files list into
# the (here empty, temporary) home and data folders.
# Usage: screenshot_settings_test.sh PATH-TO-tessal
set -u
tessal=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/data" "$work/files"
sox -n -r 8000 -c 2 -b 16 "$work/files/tone.wav" synth 0.5 sine 440
HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/home/.config" \
  XDG_CACHE_HOME="$work/cache" QT_QPA_PLATFORM=offscreen \
  "$tessal" --screenshot "$work/files/shot.png" "$work/files/tone.wav" || { echo "FAIL: tessal exit $?"; exit 1; }
test -s "$work/files/shot.png" || { echo "FAIL: no screenshot"; exit 1; }
written=$(find "$work/home" "$work/data" -type f | grep -v '/\.config/\|fontconfig' || true)
if [ -n "$written" ]; then
  echo "FAIL: the screenshot run wrote:"; echo "$written"; exit 1
fi
echo ok

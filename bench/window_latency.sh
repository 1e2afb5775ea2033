#!/usr/bin/env bash
# Measures the event-loop stalls of the main window and its analysis windows
# (spectrum with the LTAS of the selection, spectrogram, correlation,
# correlogram, histograms, xy-plot) while mouse events drag 200 selections
# and move the time cursor 200 times across a long 8-channel, 48 kHz, 16-bit
# WAVE file; prints one line a phase (opening the windows, the events) with
# the longest stall, the 99th percentile of the wait, the stalls over
# 100 ms and the run time. bench/window_latency.cpp says how stalls are
# measured and what each figure is.
#
#   bench/window_latency.sh [--minutes N] [PROGRAM] [-- TESSAL-LATENCY OPTIONS]
#
# --minutes N: the file's length (60 by default, the 2.76 GB hour file);
# PROGRAM is the tessal-latency program (default build/bench/tessal-latency;
# build it first: cmake --build build --target tessal-latency). Options
# after "--" go to the program, e.g. "-- --drags 50 --clicks 50",
# "-- --per-window" (each window alone first, 50 drags and 50 clicks each),
# "-- --event-timeout 60 --timeout 900", "-- --trace 50" (each stall over
# 50 ms printed with the events handled during it, by receiver and type).
# A run that goes past a timeout
# ends with "stopped after T s: K of M events done (...)" and exit code 3.
#
# The file is made with sox under $TMPDIR (default /tmp) and deleted at the
# end, unless LATENCY_FILE names one made before, which is used and kept.
# The program runs on the offscreen platform with HOME and the XDG folders
# in a private temp folder, so the user's settings are neither read nor
# written. Not a test: figures on a shared machine are noisy; compare runs
# made side by side.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
minutes=60
prog=$root/build/bench/tessal-latency
args=()
while [ $# -gt 0 ]; do
    case $1 in
        --minutes) minutes=$2; shift 2 ;;
        --) shift; args=("$@"); break ;;
        *) prog=$1; shift ;;
    esac
done
[[ $minutes =~ ^[0-9]+([.][0-9]+)?$ ]] || { echo "--minutes needs a number" >&2; exit 2; }
[ -x "$prog" ] && [ ! -d "$prog" ] || { echo "no program at $prog: build the tessal-latency target" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tessal_latency_XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/config" "$work/runtime" "$work/data" "$work/cache"
chmod 700 "$work/runtime"
if [ -n "${LATENCY_FILE:-}" ]; then
    file=$LATENCY_FILE
    [ -f "$file" ] || { echo "no file: $file" >&2; exit 2; }
else
    command -v sox >/dev/null || { echo "sox is not installed" >&2; exit 2; }
    file=$work/long.wav
    . "$here/hour_file_make.sh"
    make_long_file "$file" "$(awk -v m="$minutes" 'BEGIN { printf "%d", m * 60 }')"
fi
cat "$file" >/dev/null  # the page cache warm, as for the other hour-file runs

echo "$(date -u +%FT%TZ) $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?') load $(cut -d' ' -f1-3 /proc/loadavg)"
rc=0
env HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
    XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" QT_QPA_PLATFORM=offscreen \
    "$prog" "$file" ${args[@]+"${args[@]}"} 2> >(grep --line-buffered -v "^This plugin does not support" >&2) || rc=$?
exit $rc

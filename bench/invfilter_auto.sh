#!/usr/bin/env bash
# Times `tessal-cli invfilter --auto` (the filter estimated by quasi-closed-
# phase analysis over IAIF over the whole channel, then both channels made
# and the file saved) on one hour of a 16 kHz mono vowel-like signal, on one
# core, beside the same command with a fixed filter file (--filter: making
# the channels and saving only), and prints the times, the real-time factor
# and the peak memory (resident set, from /usr/bin/time) of each.
#
#   SECONDS_LONG=3600 bench/invfilter_auto.sh [TESSAL_CLI]
#
# The signal is made with sox (a 120 Hz sawtooth through three resonances)
# under $TMPDIR (default /tmp) and deleted at the end with the outputs.
set -euo pipefail
cli=${1:-build/app/tessal-cli/tessal-cli}
[ -x "$cli" ] || { echo "not a program: $cli" >&2; exit 2; }
len=${SECONDS_LONG:-3600}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tessal_iaifbench_XXXXXX")
trap 'rm -rf "$tmp"' EXIT
sox -n -r 16000 -c 1 -b 16 -e signed-integer "$tmp/in.wav" synth "$len" sawtooth 120 \
    bandpass 700 300h bandpass 1200 300h vol 0.5 2>/dev/null ||
    sox -n -r 16000 -c 1 -b 16 -e signed-integer "$tmp/in.wav" synth "$len" sawtooth 120 vol 0.5
printf '[Common]\nnFormants=2\n[Formant0]\nF0=700\nBandwidth=80\n[Formant1]\nF0=1200\nBandwidth=90\n' >"$tmp/fixed.for"
export HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/home/run" XDG_CONFIG_HOME="$tmp/home/config"
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"
run() {  # name, then the command's own arguments
    local name=$1
    shift
    local t0 t1
    t0=$(date +%s.%N)
    /usr/bin/time -f %M -o "$tmp/mem_$name" taskset -c 0 "$cli" invfilter "$tmp/in.wav" --channel 0 "$@" \
        -o "$tmp/out_$name.wav" --yes 2>"$tmp/err_$name"
    t1=$(date +%s.%N)
    python3 -c "import sys; t=float(sys.argv[2])-float(sys.argv[1]); print(f'{sys.argv[3]:>8}: {t:8.2f} s  {float(sys.argv[4])/t:7.1f}x real time  peak {int(sys.argv[5])/1e6:5.2f} GB')" \
        "$t0" "$t1" "$name" "$len" "$(tail -1 "$tmp/mem_$name")"
}
run fixed --filter "$tmp/fixed.for"
run auto --auto --save-filter "$tmp/auto.for"
echo "estimated filter:"
grep -v "^tessal-cli" "$tmp/err_auto" | sed 's/^/  /'

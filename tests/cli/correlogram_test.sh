#!/usr/bin/env bash
# tessal-cli correlogram on a tone written here: five harmonics of 150 Hz
# (awk, then sox) give F0 150 Hz and a correlation near 1 inside a trace of
# 100..250 Hz, T0 1/150 s with --vertical time, -1 outside the trace (a
# cut), channels written over when named, and the exit codes of refused
# options, missing files and channels and a trace without points.
# Usage: correlogram_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"

awk 'BEGIN{fs=16000; pi=atan2(0,-1); print "; Sample Rate 16000"; print "; Channels 1";
  for(i=0;i<16000;i++){v=0; for(h=1;h<=5;h++) v+=0.15*sin(2*pi*150*h*i/fs)/h; printf "%.8f %.10f\n", i/fs, v}}' >"$work/tone.dat"
sox -D "$work/tone.dat" -e floating-point -b 32 "$work/tone.wav"
point() {  # point INDEX TIME MIN MAX CUT
  printf '[Point%s]\nTime=%s\nCenter=%s\nMax=%s\nMin=%s\nPointkind=%s\nCut=%s\n' "$1" "$2" \
    "$(awk "BEGIN{print ($3+$4)/2}")" "$4" "$3" "$([ "$5" = 1 ] && echo 3 || echo 1)" "$5"
}
{ printf '[Common]\nVersion=1\nnPoints=2\nSMPFile=tone.wav\nChanno=0\n'
  point 0 0.0 100 250 0; point 1 1.0 100 250 0; } >"$work/all.ctr"

run f0 0 "$cli" correlogram "$work/tone.wav" --trace "$work/all.ctr" --skip 160 --no-keep-rate --width new -o "$work/f0.tessal"
run info 0 "$cli" info "$work/f0.tessal"
grep -q 'channel 1: name "tone.wav Ch 0 F0", unit "Hz"' "$work/out" || { echo "FAIL info: F0 channel"; cat "$work/out"; fails=$((fails + 1)); }
grep -q 'channel 2: name "tone.wav Ch 0 Correlation"' "$work/out" || { echo "FAIL info: correlation channel"; cat "$work/out"; fails=$((fails + 1)); }
grep -q 'channel 3: name "tone.wav Ch 0 Candidate Width", unit "%"' "$work/out" || { echo "FAIL info: width channel"; cat "$work/out"; fails=$((fails + 1)); }
# 100 values, every one (but the last, whose window reaches past the end) 150 Hz.
run dumpf0 0 "$cli" dump "$work/f0.tessal" --channel 1
awk 'NR>=1 && NR<=98 { d=$1-150; if (d<0) d=-d; if (d>m) m=d } END { exit !(NR==100 && m < 0.2) }' "$work/out" ||
  { echo "FAIL f0: not 150 Hz"; head -5 "$work/out"; fails=$((fails + 1)); }
run dumpr 0 "$cli" dump "$work/f0.tessal" --channel 2
awk 'NR<=98 && $1 < 0.999 { bad=1 } END { exit bad }' "$work/out" || { echo "FAIL correlation below 0.999"; fails=$((fails + 1)); }

# T0 in seconds on a time axis, one value per sample; a cut at 0.5 s leaves
# no band from 0.4 to 0.6 s.
{ printf '[Common]\nVersion=1\nnPoints=5\n'
  point 0 0.0 100 250 0; point 1 0.4 100 250 0; point 2 0.5 1 1 1; point 3 0.6 100 250 0
  point 4 1.0 100 250 0; } >"$work/cut.ctr"
run t0 0 "$cli" correlogram "$work/tone.wav" --trace "$work/cut.ctr" --vertical time --correlation none -o "$work/t0.tessal"
run dumpt0 0 "$cli" dump "$work/t0.tessal" --channel 1
awk 'NR==4001 || NR==12001 { d=$1-1/150; if (d<0) d=-d; if (d>2e-6) bad=1 } NR==8801 && $1 != -1 { bad=1 }
     END { exit bad || NR != 16000 }' "$work/out" ||
  { echo "FAIL t0: wanted 1/150 s away from the cut and -1 at it"; sed -n '4001p;8801p;12001p' "$work/out"; fails=$((fails + 1)); }
# Written over channel 1 of t0.tessal: no new channel.
run over 0 "$cli" correlogram "$work/t0.tessal" --trace "$work/all.ctr" --f0 none --correlation 1 -o "$work/over.tessal"
run overinfo 0 "$cli" info "$work/over.tessal"
grep -q 'channels: 2$' "$work/out" || { echo "FAIL over: a channel was added"; cat "$work/out"; fails=$((fails + 1)); }
grep -q 'channel 1: name "tone.wav Ch 0 Correlation"' "$work/out" || { echo "FAIL over: channel 1 not written over"; cat "$work/out"; fails=$((fails + 1)); }

# Refusals.
printf '[Common]\nVersion=1\nnPoints=0\n' >"$work/empty.ctr"
run notrace 1 "$cli" correlogram "$work/tone.wav" --trace "$work/empty.ctr" -o "$work/x.tessal"
grep -q "No trace set" "$work/err" || { echo "FAIL notrace: no message"; cat "$work/err"; fails=$((fails + 1)); }
run nofile 1 "$cli" correlogram "$work/tone.wav" --trace "$work/none.ctr" -o "$work/x.tessal"
run nochannel 1 "$cli" correlogram "$work/tone.wav" --trace "$work/all.ctr" --channel 2 -o "$work/x.tessal"
run notarget 1 "$cli" correlogram "$work/tone.wav" --trace "$work/all.ctr" --f0 5 -o "$work/x.tessal"
run notraceopt 2 "$cli" correlogram "$work/tone.wav" -o "$work/x.tessal"
run noout 2 "$cli" correlogram "$work/tone.wav" --trace "$work/all.ctr"
run both 2 "$cli" correlogram "$work/tone.wav" --trace "$work/all.ctr" --window 10 --factor 1 -o "$work/x.tessal"
run badskip 2 "$cli" correlogram "$work/tone.wav" --trace "$work/all.ctr" --skip 0 -o "$work/x.tessal"
run badaxis 2 "$cli" correlogram "$work/tone.wav" --trace "$work/all.ctr" --vertical lag -o "$work/x.tessal"
run nothing 2 "$cli" correlogram "$work/tone.wav" --trace "$work/all.ctr" --f0 none --correlation none -o "$work/x.tessal"
run badthr 2 "$cli" correlogram "$work/tone.wav" --trace "$work/all.ctr" --thresholds 0.5 -o "$work/x.tessal"
run itself 2 "$cli" correlogram "$work/tone.wav" --trace "$work/all.ctr" -o "$work/tone.wav"
[ -e "$work/x.tessal" ] && { echo "FAIL: a refused run wrote a file"; fails=$((fails + 1)); }

[ "$fails" -eq 0 ] && echo "correlogram: all passed"
exit $((fails > 0))

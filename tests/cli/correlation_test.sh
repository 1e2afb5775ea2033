#!/usr/bin/env bash
# tessal-cli correlation against periodic signals: the autocorrelation of a
# 110 Hz sine at 8 kHz (a period of 72.73 samples, between two lags) peaks
# next to 1000/110 ms, and its "Log cursor" line snapped to that peak reads
# T = 9.0909 ms and 1/T = 110 Hz with r near 1; read off the curve at
# half a period, r is cos(pi) = -1; a 250 Hz square wave's peak lies at its
# period of 4 ms; and the window length and lag bounds of the window.
# Usage: correlation_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"
command -v python3 >/dev/null || exit 77
check() {  # check NAME CONDITION-TEXT (prints ok)
  if [ "$2" != ok ]; then echo "FAIL $1: $2"; fails=$((fails + 1)); fi
}

float_wav "$work/s110.wav" 8000 8000 "0.5 * math.sin(2 * math.pi * 110 * i / fs)"
run table 0 "$cli" correlation "$work/s110.wav" --at 0.5 --lags 20
line table-heading 1 "Lag [ms]${tab}r"
check table-lines "$( [ "$(wc -l <"$work/out")" -eq 161 ] && echo ok || wc -l <"$work/out")"
# r(d) of a sine over a window is cos(2 pi 110 d / fs) to within the window's edge effects.
check table-cos "$(awk -F'\t' 'function abs(v) { return v < 0 ? -v : v }
  NR > 1 { want = cos(2 * 3.14159265358979 * 110 * $1 / 1000); if (abs($2 - want) > 2e-3) bad = bad " " $1 ":" $2 "/" want }
  END { print bad == "" ? "ok" : bad }' "$work/out")"

run peak 0 "$cli" correlation "$work/s110.wav" --at 0.5 --cursor 8 --snap peak
line peak-heading 1 "t [s]${tab}T [ms]${tab}1/T [Hz]${tab}Note${tab}Correlation${tab}"
check peak-period "$(awk -F'\t' 'function abs(v) { return v < 0 ? -v : v }
  NR == 2 { print (abs($2 - 9.0909) < 0.01 && abs($3 - 110) < 0.1 && $5 > 0.999 && $5 <= 1.0001) ? "ok" : $0 }' "$work/out")"
run curve 0 "$cli" correlation "$work/s110.wav" --at 0.5 --cursor 4.54545
check curve-half-period "$(awk -F'\t' 'NR == 2 { print ($5 < -0.998 && $5 > -1.0001) ? "ok" : $0 }' "$work/out")"

# A square wave of period 4 ms (32 samples): its highest peak past lag 0 is at 4 ms.
float_wav "$work/sq.wav" 8000 8000 "1.0 if (i % 32) < 16 else -1.0"
run square 0 "$cli" correlation "$work/sq.wav" --at 0.25 --cursor 3.5 --snap peak
check square-period "$(awk -F'\t' 'function abs(v) { return v < 0 ? -v : v }
  NR == 2 { print (abs($2 - 4) < 0.01 && abs($3 - 250) < 0.5 && $5 > 0.999) ? "ok" : $0 }' "$work/out")"

run no-at 2 "$cli" correlation "$work/s110.wav"
run window-0 2 "$cli" correlation "$work/s110.wav" --at 0.5 --window 0
run window-over 2 "$cli" correlation "$work/s110.wav" --at 0.5 --window 1001
grep -q "Window length must be a number from 0.01 to 1000 ms" "$work/err" || { echo "FAIL window-over message"; cat "$work/err"; fails=$((fails + 1)); }
# 44100 lags at most: 5512.5 ms at 8 kHz.
run lags-over 2 "$cli" correlation "$work/s110.wav" --at 0.5 --lags 5600
run lags-most 0 "$cli" correlation "$work/s110.wav" --at 0.5 --lags 5512.5 --window 1
run snap-alone 2 "$cli" correlation "$work/s110.wav" --at 0.5 --snap peak
run snap-name 2 "$cli" correlation "$work/s110.wav" --at 0.5 --cursor 9 --snap none
run cursor-beyond 2 "$cli" correlation "$work/s110.wav" --at 0.5 --cursor 50
run no-channel 1 "$cli" correlation "$work/s110.wav" --at 0.5 --channel 2

[ "$fails" -eq 0 ] && echo "all correlation checks passed"
exit $((fails > 0))

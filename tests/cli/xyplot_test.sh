#!/usr/bin/env bash
# tessal-cli xyplot against channels whose relation is known: y = 2x - 0.1
# pairs every line on that line and gives r = 1 with the extremes of x and
# 2x - 0.1; cos against sin over whole periods is a circle, r = 0; one
# channel against itself is the diagonal; --from/--to choose the pairs of
# that span; and the exit codes of missing and bad channels and spans.
# Usage: xyplot_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"
command -v python3 >/dev/null || exit 77
check() {  # check NAME CONDITION-TEXT (prints ok)
  if [ "$2" != ok ]; then echo "FAIL $1: $2"; fails=$((fails + 1)); fi
}

# Channel 0 a ramp 0..0.999 (i / 1000), channel 1 = 2 x - 0.1, channel 2 cos,
# channel 3 sin of 10 Hz, 1000 samples at 1 kHz.
float_wav "$work/xy.wav" 1000 1000 "i / 1000" "2 * i / 1000 - 0.1" \
  "math.cos(2 * math.pi * 10 * i / fs)" "math.sin(2 * math.pi * 10 * i / fs)"
run pairs 0 "$cli" xyplot "$work/xy.wav" --x 0 --y 1
line pairs-heading 1 "t [s]${tab}x []${tab}y []"
check pairs-lines "$( [ "$(wc -l <"$work/out")" -eq 1001 ] && echo ok || wc -l <"$work/out")"
check pairs-line "$(awk -F'\t' 'function abs(v) { return v < 0 ? -v : v }
  NR > 1 { if (abs($2 - ($1 * 1)) > 1e-6 || abs($3 - (2 * $2 - 0.1)) > 1e-6) bad = bad " " $0 }
  END { print bad == "" ? "ok" : bad }' "$work/out")"
run summary 0 "$cli" xyplot "$work/xy.wav" --x 0 --y 1 --summary
line summary-heading 1 "Pairs${tab}From [s]${tab}To [s]${tab}x min []${tab}x max []${tab}y min []${tab}y max []${tab}r"
check summary "$(awk -F'\t' 'function abs(v) { return v < 0 ? -v : v }
  NR == 2 { print ($1 == 1000 && $2 == 0 && $3 == 0.999 && $4 == 0 && abs($5 - 0.999) < 1e-6 &&
                   abs($6 + 0.1) < 1e-6 && abs($7 - 1.898) < 1e-6 && abs($8 - 1) < 1e-9) ? "ok" : $0 }' "$work/out")"
run circle 0 "$cli" xyplot "$work/xy.wav" --x 2 --y 3 --summary
check circle "$(awk -F'\t' 'function abs(v) { return v < 0 ? -v : v }
  NR == 2 { print (abs($8) < 1e-6 && abs($4 + 1) < 1e-6 && abs($5 - 1) < 1e-6) ? "ok" : $0 }' "$work/out")"
# Pairs of the circle lie on it.
run circle-pairs 0 "$cli" xyplot "$work/xy.wav" --x 2 --y 3
check circle-radius "$(awk -F'\t' 'function abs(v) { return v < 0 ? -v : v }
  NR > 1 { n++; if (abs($2 * $2 + $3 * $3 - 1) > 1e-6) bad = bad " " $0 } END { print (n == 1000 && bad == "") ? "ok" : n bad }' "$work/out")"
run diagonal 0 "$cli" xyplot "$work/xy.wav" --x 3 --y 3
check diagonal "$(awk -F'\t' 'NR > 1 && $2 != $3 { bad = bad " " $0 } END { print bad == "" ? "ok" : bad }' "$work/out")"
# 0.25..0.5 s as the selection: indices 250..500, both ends plotted.
run span 0 "$cli" xyplot "$work/xy.wav" --x 0 --y 1 --from 0.25 --to 0.5 --summary
check span "$(awk -F'\t' 'NR == 2 { print ($1 == 251 && $2 == 0.25 && $3 == 0.5 && $4 == 0.25 && $5 == 0.5) ? "ok" : $0 }' "$work/out")"
# A span past the end plots nothing.
run outside 0 "$cli" xyplot "$work/xy.wav" --x 0 --y 1 --from 5 --to 6
check outside "$( [ "$(wc -l <"$work/out")" -eq 1 ] && echo ok || cat "$work/out")"

run no-y 2 "$cli" xyplot "$work/xy.wav" --x 0
run bad-x 2 "$cli" xyplot "$work/xy.wav" --x one --y 1
run no-channel 1 "$cli" xyplot "$work/xy.wav" --x 0 --y 4
run span-reversed 2 "$cli" xyplot "$work/xy.wav" --x 0 --y 1 --from 0.5 --to 0.25

[ "$fails" -eq 0 ] && echo "all xyplot checks passed"
exit $((fails > 0))

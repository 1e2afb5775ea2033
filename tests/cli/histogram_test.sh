#!/usr/bin/env bash
# tessal-cli histogram against distributions known in closed form: a linear
# ramp spends equal time at every value (flat bins, half bins at the ends,
# and a kernel keeps them flat), a sine of amplitude A spends
# T / (pi sqrt(A^2 - v^2)) seconds per unit at value v (the arcsine density)
# with its quartiles at -+A / sqrt(2) and its median at 0; a constant
# smoothed by the kernels spreads by their shapes; nearest-bin
# counts of a few samples worked by hand; and the exit codes of bad bins,
# kernels, spans and channels.
# Usage: histogram_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"
command -v python3 >/dev/null || exit 77
check() {  # check NAME CONDITION-TEXT (prints ok)
  if [ "$2" != ok ]; then echo "FAIL $1: $2"; fails=$((fails + 1)); fi
}

# A ramp from -1 to 1 over 8001 samples at 8 kHz (1 s): 0.5 s per unit of
# value. On -1..1.04 in 52 bins (0.04 wide) each inner bin holds 0.02 s, the
# end bins at -1 and 1 half of that, the bin above the ramp nothing.
float_wav "$work/ramp.wav" 8000 8001 "-1 + 2 * i / 8000"
run ramp 0 "$cli" histogram "$work/ramp.wav" --lo -1 --hi 1.04 --bins 52
line ramp-heading 1 "x []${tab}t [s]"
check ramp-lines "$( [ "$(wc -l <"$work/out")" -eq 53 ] && echo ok || wc -l <"$work/out")"
check ramp-flat "$(awk -F'\t' 'function off(v, w) { return v < w - 1e-6 || v > w + 1e-6 }
  NR > 2 && NR < 52 { n++; if (off($2, 0.02)) bad = bad " " $1 ":" $2 }
  (NR == 2 || NR == 52) && off($2, 0.01) { bad = bad " end " $1 ":" $2 }
  NR == 53 && $2 != 0 { bad = bad " above " $2 }
  END { print (n == 49 && bad == "") ? "ok" : n " inner bins, off:" bad }' "$work/out")"
# The 8000 pairs of 1/8000 s each: one second in all.
check ramp-total "$(awk -F'\t' 'NR > 1 { s += $2 } END { print (s > 1 - 1e-6 && s < 1 + 1e-6) ? "ok" : "total " s }' "$work/out")"
# A triangle kernel of 10 bins sums to one: the bins stay 0.02 s wherever
# the whole kernel lies inside the ramp.
run ramp-kde 0 "$cli" histogram "$work/ramp.wav" --lo -1 --hi 1.04 --bins 52 --kernel triangle --kernel-width 10
check ramp-kde-flat "$(awk -F'\t' 'NR > 12 && NR < 43 { n++; if ($2 < 0.02 - 1e-6 || $2 > 0.02 + 1e-6) bad = bad " " $1 ":" $2 }
  END { print (n == 30 && bad == "") ? "ok" : n " bins, off:" bad }' "$work/out")"

# A constant puts all its time into one bin; the kernel then spreads it by
# its own shape: triangle of width 3 halves it onto the neighbours (1/4,
# 1/2, 1/4), parabolic of width 3 gives 0.75 and 0.5625 normalised: 0.3, 0.4, 0.3.
float_wav "$work/dc.wav" 100 100 "0.5"
run dc-triangle 0 "$cli" histogram "$work/dc.wav" --lo 0 --hi 1 --bins 11 --method nearest --kernel triangle --kernel-width 3
check dc-triangle "$(awk -F'\t' 'NR > 1 { s = s sprintf("%.6g,", $2) } END { print s == "0,0,0,0,0.25,0.5,0.25,0,0,0,0," ? "ok" : s }' "$work/out")"
run dc-parabolic 0 "$cli" histogram "$work/dc.wav" --lo 0 --hi 1 --bins 11 --method nearest --kernel parabolic --kernel-width 3
check dc-parabolic "$(awk -F'\t' 'NR > 1 { s = s sprintf("%.6g,", $2) } END { print s == "0,0,0,0,0.3,0.4,0.3,0,0,0,0," ? "ok" : s }' "$work/out")"

# A 100 Hz sine of amplitude 0.9 at 48 kHz over one second (100 periods).
float_wav "$work/sine.wav" 48000 48000 "0.9 * math.sin(2 * math.pi * 100 * i / fs)"
run sine 0 "$cli" histogram "$work/sine.wav" --lo -1 --hi 1 --bins 201
check sine-arcsine "$(awk -F'\t' 'function abs(v) { return v < 0 ? -v : v }
  NR > 1 && abs($1) <= 0.7 { n++; want = 0.01 / (3.14159265358979 * sqrt(0.81 - $1 * $1));
    if (abs($2 - want) > 0.01 * want) bad = bad " " $1 ":" $2 "/" want }
  NR > 1 && abs($1) > 0.9 + 0.01 && $2 != 0 { bad = bad " outside " $1 ":" $2 }
  END { print (n == 141 && bad == "") ? "ok" : n " bins, off:" bad }' "$work/out")"
# The pairs method leaves no empty bin inside the range the sine covers.
check sine-no-gaps "$(awk -F'\t' 'NR > 1 && $1 > -0.89 && $1 < 0.89 && $2 <= 0 { bad = bad " " $1 }
  END { print bad == "" ? "ok" : "empty:" bad }' "$work/out")"
run sine-stats 0 "$cli" histogram "$work/sine.wav" --lo -1 --hi 1 --bins 2001 --percentiles 25,50,75 --stats
line stats-heading 1 "Channel${tab}From [s]${tab}To [s]${tab}Bin width []${tab}Kernel width []${tab}Avg []${tab}Mode []${tab}Median []${tab}p25 []${tab}p50 []${tab}p75 []"
# Quartiles of the arcsine law: A sin(-+pi/4) = -+0.63640; within one bin (0.001).
check sine-quartiles "$(awk -F'\t' 'function abs(v) { return v < 0 ? -v : v }
  NR == 2 { if ($4 != 0.001 || $5 != "-" || abs($6) > 1e-3 || abs($8) > 1e-3 || abs($10) > 1e-3 ||
                abs($9 + 0.636396) > 1e-3 || abs($11 - 0.636396) > 1e-3) print $0; else print "ok" }' "$work/out")"

# Nearest bin, by hand: samples 0, 0.1, 0.2, 0.3 at 10 Hz on 0..0.3 in 4 bins
# give one 0.1 s sample each; --from/--to 0.1..0.2 keeps the middle two.
float_wav "$work/steps.wav" 10 4 "i / 10"
run nearest 0 "$cli" histogram "$work/steps.wav" --lo 0 --hi 0.3 --bins 4 --method nearest
check nearest "$(awk -F'\t' 'NR > 1 { s = s $2 "," } END { print s == "0.1,0.1,0.1,0.1," ? "ok" : s }' "$work/out")"
run nearest-span 0 "$cli" histogram "$work/steps.wav" --lo 0 --hi 0.3 --bins 4 --method nearest --from 0.1 --to 0.2
check nearest-span "$(awk -F'\t' 'NR > 1 { s = s $2 "," } END { print s == "0,0.1,0.1,0," ? "ok" : s }' "$work/out")"

run bins-0 2 "$cli" histogram "$work/ramp.wav" --bins 0
grep -q "n bins must be a number from 2 to 100000" "$work/err" || { echo "FAIL bins-0 message"; cat "$work/err"; fails=$((fails + 1)); }
run bins-over 2 "$cli" histogram "$work/ramp.wav" --bins 100001
run bins-fraction 2 "$cli" histogram "$work/ramp.wav" --bins 10.5
run kernel-width-1 2 "$cli" histogram "$work/ramp.wav" --kernel triangle --kernel-width 1
run kernel-name 2 "$cli" histogram "$work/ramp.wav" --kernel gauss
run method 2 "$cli" histogram "$work/ramp.wav" --method linear
run percentile 2 "$cli" histogram "$work/ramp.wav" --stats --percentiles 30
run span 2 "$cli" histogram "$work/ramp.wav" --from 0.8 --to 0.2
run range 2 "$cli" histogram "$work/ramp.wav" --lo 1 --hi -1
run no-channel 1 "$cli" histogram "$work/ramp.wav" --channel 1
run no-file 1 "$cli" histogram "$work/none.wav"

[ "$fails" -eq 0 ] && echo "all histogram checks passed"
exit $((fails > 0))

#!/usr/bin/env bash
# tessal-cli f0 on a sine of known frequency: one "time<TAB>F0" line per
# 10 ms frame centred on the file (145 frames for 1.5 s with a 60 ms
# window), 150 Hz to 0.05% where the sine is, 0 in the silence after it;
# --from/--to keep the file's times; zero crossings (algorithm 1) read at
# each step's middle give the same frequency; the PitchTier holds exactly
# the voiced frames and Praat reads it back (when Praat is installed); bad
# input ends with a message and a non-zero exit.
# Usage: f0_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"
command -v python3 >/dev/null || exit 77
check() {  # check NAME CONDITION-TEXT (prints ok)
  if [ "$2" != ok ]; then echo "FAIL $1: $2"; fails=$((fails + 1)); fi
}

float_wav "$work/s.wav" 16000 24000 "0.5 * math.sin(2 * math.pi * 150 * i / fs) if i < 16000 else 0.0"
run ac 0 "$cli" f0 "$work/s.wav"
check ac-lines "$( [ "$(wc -l <"$work/out")" -eq 145 ] && echo ok || wc -l <"$work/out")"
check ac-first "$(awk -F'\t' 'NR == 1 { print $1 == "0.030000" ? "ok" : $0 }' "$work/out")"
check ac-values "$(awk -F'\t' 'function abs(v) { return v < 0 ? -v : v }
  $1 > 0.04 && $1 < 0.96 && abs($2 - 150) > 0.075 { bad = bad " " $0 }
  $1 > 1.04 && $2 != 0 { bad = bad " " $0 }
  END { print bad == "" ? "ok" : bad }' "$work/out")"
cp "$work/out" "$work/ac"

run span 0 "$cli" f0 "$work/s.wav" --from 0.5 --to 0.8 --step 0.02
check span-times "$(awk -F'\t' 'function abs(v) { return v < 0 ? -v : v }
  { n++; if ($1 < 0.5 || $1 > 0.8 || abs($2 - 150) > 0.075) bad = bad " " $0 }
  END { print (bad == "" && n == 13) ? "ok" : n ":" bad }' "$work/out")"

run zc 0 "$cli" f0 "$work/s.wav" --algorithm 1 --step 0.1
check zc-values "$(awk -F'\t' 'function abs(v) { return v < 0 ? -v : v }
  $1 > 0.1 && $1 < 0.9 && abs($2 - 150) > 0.05 { bad = bad " " $0 }
  END { print bad == "" ? "ok" : bad }' "$work/out")"

run tier 0 "$cli" f0 "$work/s.wav" --pitchtier "$work/s.PitchTier"
check tier-stdout "$(cmp -s "$work/out" "$work/ac" && echo ok || echo differs)"
voiced=$(awk -F'\t' '$2 > 0' "$work/ac" | wc -l)
check tier-head "$(head -6 "$work/s.PitchTier" | tr '\n' '|' | grep -qx 'File type = "ooTextFile"|Object class = "PitchTier"||xmin = 0 |xmax = 1.5 |points: size = '"$voiced"' |' && echo ok || head -6 "$work/s.PitchTier")"
# Every voiced frame is a point, in order, with its time and value.
check tier-points "$(awk -F'\t' '$2 > 0 { print $1, $2 }' "$work/ac" >"$work/want"
  awk '/number =/ { t = $3 } /value =/ { printf "%.6f %s\n", t, $3 }' "$work/s.PitchTier" >"$work/got"
  paste -d' ' "$work/want" "$work/got" | awk 'function abs(v) { return v < 0 ? -v : v }
    { n++; if ($1 != $3 || abs($2 - $4) > 0.001) bad = bad " " $0 }
    END { print (bad == "" && n == '"$voiced"') ? "ok" : n ":" bad }')"
run tier-stdout 0 "$cli" f0 "$work/s.wav" --pitchtier - --from 0 --to 0.5
check tier-to-stdout "$(grep -c 'Object class = "PitchTier"' "$work/out" | grep -qx 1 && echo ok || echo missing)"
if command -v praat >/dev/null; then
  printf 'Read from file: "%s"\nn = Get number of points\nwriteInfoLine: n\n' "$work/s.PitchTier" >"$work/read.praat"
  check praat-reads "$(n=$(praat --run "$work/read.praat" 2>&1); [ "$n" = "$voiced" ] && echo ok || echo "praat: $n, wanted $voiced")"
else
  echo "praat is not installed: the PitchTier is not read back"
fi

run missing 1 "$cli" f0 "$work/none.wav"
run channel 1 "$cli" f0 "$work/s.wav" --channel 3
run algorithm 2 "$cli" f0 "$work/s.wav" --algorithm 5
run range 2 "$cli" f0 "$work/s.wav" --min 300 --max 100
run max-nyquist 2 "$cli" f0 "$work/s.wav" --max 9000
run step 2 "$cli" f0 "$work/s.wav" --step 0
run span 2 "$cli" f0 "$work/s.wav" --from 1 --to 0.5
run tier-is-input 2 "$cli" f0 "$work/s.wav" --pitchtier "$work/s.wav"
check messages "$(grep -q 'tessal-cli: ' "$work/err" && echo ok || echo 'no message')"
[ "$fails" -eq 0 ]

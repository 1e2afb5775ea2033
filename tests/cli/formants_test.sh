#!/usr/bin/env bash
# tessal-cli formants on a vowel made of damped sinusoids (700 Hz with an
# 80 Hz bandwidth and 1500 Hz with 100 Hz, restarted every 8 ms): the
# heading, one frame per 10 ms centred on the file, F1 and F2 where the
# resonances are; --n sets the columns, --from/--to keep the file's times;
# bad input ends with a message and a non-zero exit.
# Usage: formants_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"
command -v python3 >/dev/null || exit 77
check() {  # check NAME CONDITION-TEXT (prints ok)
  if [ "$2" != ok ]; then echo "FAIL $1: $2"; fails=$((fails + 1)); fi
}

float_wav "$work/v.wav" 16000 16000 \
  "0.3 * (math.exp(-math.pi * 80 * (i % 128) / fs) * math.sin(2 * math.pi * 700 * (i % 128) / fs) + 0.5 * math.exp(-math.pi * 100 * (i % 128) / fs) * math.sin(2 * math.pi * 1500 * (i % 128) / fs))"
run whole 0 "$cli" formants "$work/v.wav"
line heading 1 "time [s]${tab}F1 [Hz]${tab}B1 [Hz]${tab}F2 [Hz]${tab}B2 [Hz]${tab}F3 [Hz]${tab}B3 [Hz]${tab}F4 [Hz]${tab}B4 [Hz]${tab}F5 [Hz]${tab}B5 [Hz]"
# 1 s with 0.05 s windows: 96 frames from 0.025 s.
check frames "$( [ "$(wc -l <"$work/out")" -eq 97 ] && echo ok || wc -l <"$work/out")"
check first "$(awk -F'\t' 'NR == 2 { print $1 == "0.025000" ? "ok" : $0 }' "$work/out")"
check values "$(awk -F'\t' 'function abs(v) { return v < 0 ? -v : v }
  NR > 1 && (NF != 11 || abs($2 - 700) > 40 || abs($4 - 1500) > 60 || $3 <= 0 || $3 > 300) { bad = bad " " $0 }
  END { print bad == "" ? "ok" : bad }' "$work/out")"

run span 0 "$cli" formants "$work/v.wav" --from 0.2 --to 0.5 --n 3 --step 0.02 --max-formant 5000
check span "$(awk -F'\t' 'NR > 1 { n++; if (NF != 7 || $1 < 0.2 || $1 > 0.5) bad = bad " " $0 }
  END { print (bad == "" && n == 13) ? "ok" : n ":" bad }' "$work/out")"

run missing 1 "$cli" formants "$work/none.wav"
run channel 1 "$cli" formants "$work/v.wav" --channel 3
run short 1 "$cli" formants "$work/v.wav" --from 0.5 --to 0.52
run count 2 "$cli" formants "$work/v.wav" --n 0
run fraction 2 "$cli" formants "$work/v.wav" --n 2.5
run ceiling 2 "$cli" formants "$work/v.wav" --max-formant 100
run step 2 "$cli" formants "$work/v.wav" --step 0
run order 2 "$cli" formants "$work/v.wav" --from 0.5 --to 0.4
run extra 2 "$cli" formants "$work/v.wav" "$work/v.wav"
check message "$(grep -q '^usage: tessal-cli formants' "$work/err" && echo ok || cat "$work/err")"
[ "$fails" -eq 0 ]

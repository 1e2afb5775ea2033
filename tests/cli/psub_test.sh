#!/usr/bin/env bash
# tessal-cli psub on plateaus written by sox (0.3 s and 0.45 s at 0.5): one
# nice peak scoring 1 and one long peak scoring 0.5 with the statistics line
# under them; a section starting inside the first plateau leaves it out; a
# section without peaks gives n peaks 0 and -1 for the figures; a higher
# minimum score drops the long peak; usage errors.
# Usage: psub_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"
field() {  # field NAME LINE COLUMN EXPECTED (tab-separated, of the last stdout)
  local got
  got=$(sed -n "$2p" "$work/out" | cut -f"$3")
  if [ "$got" != "$4" ]; then
    echo "FAIL $1: line $2 column $3 is \"$got\", wanted \"$4\""; fails=$((fails + 1))
  fi
}
lines() {  # lines NAME N
  local n
  n=$(wc -l <"$work/out")
  [ "$n" -eq "$2" ] || { echo "FAIL $1: $n lines, wanted $2"; cat "$work/out"; fails=$((fails + 1)); }
}

sox -D -n -r 1000 -e floating-point -b 32 "$work/p.wav" synth 0.5 sine 0 : synth 0.3 sine 0 dcshift 0.5 \
  : synth 0.7 sine 0 : synth 0.45 sine 0 dcshift 0.5 : synth 0.55 sine 0

run whole 0 "$cli" psub "$work/p.wav" --threshold 0.1
lines whole 5
field whole-heading 1 3 "Time [s]"
field whole-first-time 2 3 "0.5"
field whole-first-duration 2 6 "0.3"
field whole-first-score 2 7 "1"
field whole-first-category 2 8 "Nice peak"
field whole-second-time 3 3 "1.5"
field whole-second-duration 3 6 "0.45"
field whole-second-score 3 7 "0.5"
field whole-second-category 3 8 "Long peak"
field whole-second-variability 3 5 "0"
field stats-heading 4 3 "n peaks"
field stats-n 5 3 "2"
field stats-end 5 2 "2.5"
field stats-median 5 5 "0.5"

run inside 0 "$cli" psub "$work/p.wav" --threshold 0.1 --from 0.6 --to 2.5
lines inside 4
field inside-time 2 3 "1.5"
field inside-n 4 3 "1"

run none 0 "$cli" psub "$work/p.wav" --threshold 0.1 --from 0 --to 0.4
lines none 3
[ "$(sed -n 3p "$work/out")" = "0${tab}0.4${tab}0${tab}-1${tab}-1${tab}-1${tab}-1${tab}-1${tab}p.wav${tab}p.wav Ch 0${tab}" ] ||
  { echo "FAIL none: statistics line"; sed -n 3p "$work/out" | cat -A; fails=$((fails + 1)); }

run strict 0 "$cli" psub "$work/p.wav" --threshold 0.1 --min-score 60
lines strict 4
field strict-category 2 8 "Nice peak"

run high-threshold 0 "$cli" psub "$work/p.wav"
lines high-threshold 3

run no-channel 1 "$cli" psub "$work/p.wav" --channel 2
run half-section 2 "$cli" psub "$work/p.wav" --from 1
run bad-number 2 "$cli" psub "$work/p.wav" --threshold x
run no-file 1 "$cli" psub "$work/missing.wav"

[ "$fails" -eq 0 ] && echo "psub: all passed"
exit $((fails > 0))

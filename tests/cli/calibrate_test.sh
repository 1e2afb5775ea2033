#!/usr/bin/env bash
# tessal-cli calibrate on WAVE files written by sox: a 1 kHz tone of RMS 0.5
# called 94 dB re 2e-5 Pa reads an RMS of 1.0024 Pa in the saved native file
# and carries the label "94 dB"; two steady values mapped to 0 and 10 cmH2O;
# equal amplitudes and a silent integral refused with the channel named and
# nothing written; usage errors. Usage: calibrate_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"
has() {  # has NAME FILE TEXT
  grep -qF -- "$3" "$2" || { echo "FAIL $1: no \"$3\" in"; cat "$2"; fails=$((fails + 1)); }
}

# RMS 0.5: amplitude 1/sqrt(2), made by sox.
sox -n -r 48000 -e floating-point -b 32 "$work/tone.wav" synth 2 sine 1000 gain -3.0103
run level 0 "$cli" calibrate "$work/tone.wav" --channel 0 --mode level --value 94 \
  --from 0.5 --to 1.5 -o "$work/cal.tessal"
run level-measure 0 "$cli" measure "$work/cal.tessal" --items "RMS,RMSLevelRef" --from 0.5 --to 1.5
line level-heading 1 "RMS [Pa]${tab}Leq [dB]${tab}"
line level-values 2 "1.0024${tab}94.00${tab}"
run level-labels 0 "$cli" labels "$work/cal.tessal" --textgrid "$work/cal.TextGrid"
has level-label "$work/cal.TextGrid" '"94 dB"'

# Calibrating the calibrated file again replaces its label.
run again 0 "$cli" calibrate "$work/cal.tessal" --all --mode rms --value 2 --unit Pa \
  --from 0.5 --to 1.5 -o "$work/cal2.tessal"
run again-labels 0 "$cli" labels "$work/cal2.tessal" --textgrid "$work/cal2.TextGrid"
has again-label "$work/cal2.TextGrid" '"2 Pa"'
! grep -qF '"94 dB"' "$work/cal2.TextGrid" || { echo "FAIL again: old label kept"; fails=$((fails + 1)); }

# Two steady values, 0.2 then 0.6, called 0 and 10 cmH2O.
sox -n -r 8000 -e floating-point -b 32 "$work/steps.wav" synth 1 sine 0 dcshift 0.2 : synth 1 sine 0 dcshift 0.6
run two 0 "$cli" calibrate "$work/steps.wav" --channel 0 --mode two --value 0 --value2 10 \
  --unit cmH2O --green 0.2,0.8 --purple 1.2,1.8 -o "$work/two.tessal"
run two-green 0 "$cli" measure "$work/two.tessal" --items "Average" --from 0.2 --to 0.8
line two-green-heading 1 "Avg [cmH2O]${tab}"
line two-green-avg 2 "0${tab}"
run two-measure 0 "$cli" measure "$work/two.tessal" --items "Average" --from 1.2 --to 1.8
line two-avg 2 "10${tab}"
# The labels go over the selection: by default from the first mark to the
# last, else over --from..--to (the TextGrid shows the first of the two).
run two-labels 0 "$cli" labels "$work/two.tessal" --textgrid "$work/two.TextGrid"
grep -A2 'xmin = 0.2000' "$work/two.TextGrid" | grep -q 'xmax = 1.8' ||
  { echo "FAIL two-labels: not over the marks' span"; cat "$work/two.TextGrid"; fails=$((fails + 1)); }
run two-span 0 "$cli" calibrate "$work/steps.wav" --channel 0 --mode two --value 0 --value2 10 \
  --unit cmH2O --green 0.2,0.8 --purple 1.2,1.8 --from 0.5 --to 1.5 -o "$work/two2.tessal"
run two-span-info 0 "$cli" info "$work/two2.tessal"
grep -q 'labels 2$' "$work/out" || { echo "FAIL two-span: not two labels"; cat "$work/out"; fails=$((fails + 1)); }
run two-span-labels 0 "$cli" labels "$work/two2.tessal" --textgrid "$work/two2.TextGrid"
tr -d ' ' <"$work/two2.TextGrid" | grep -A2 '^xmin=0.5$' | grep -q '^xmax=1.5$' ||
  { echo "FAIL two-span: labels not over the selection"; cat "$work/two2.TextGrid"; fails=$((fails + 1)); }

# Refused: equal amplitudes, a silent integral; nothing is written.
run equal 1 "$cli" calibrate "$work/steps.wav" --channel 0 --mode two --value 0 --value2 10 \
  --green 0.2,0.4 --purple 0.5,0.8 -o "$work/equal.tessal"
has equal-message "$work/err" "Could not calibrate channel 0"
[ ! -e "$work/equal.tessal" ] || { echo "FAIL equal: a file was written"; fails=$((fails + 1)); }
sox -D -n -r 8000 -b 16 "$work/silence.wav" trim 0 1
run silent 1 "$cli" calibrate "$work/silence.wav" --all --mode integral --value 1 \
  --from 0.1 --to 0.5 -o "$work/silent.wav"
has silent-message "$work/err" "Could not calibrate channel 0"

run no-mode 2 "$cli" calibrate "$work/tone.wav" --channel 0 --value 1 -o "$work/x.tessal"
run bad-weighting 2 "$cli" calibrate "$work/tone.wav" --channel 0 --mode level --weighting B \
  --value 94 --from 0 --to 1 -o "$work/x.tessal"
run no-channel 1 "$cli" calibrate "$work/tone.wav" --channel 3 --mode rms --value 1 \
  --from 0 --to 1 -o "$work/x.tessal"

[ "$fails" -eq 0 ] && echo "calibrate: all passed"
exit $((fails > 0))

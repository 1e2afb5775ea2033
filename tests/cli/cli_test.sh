#!/usr/bin/env bash
# tessal-cli as a script would use it: files written by sox, read back,
# converted, and every exit code. Usage: cli_test.sh PATH-TO-tessal-cli
set -u
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
check() {  # check NAME EXPECTED-RC COMMAND...
  local name=$1 want=$2
  shift 2
  "$@" >"$work/out" 2>"$work/err"
  local rc=$?
  if [ "$rc" -ne "$want" ]; then
    echo "FAIL $name: exit $rc, wanted $want"; cat "$work/err"; fails=$((fails + 1))
  fi
}
expect() {  # expect NAME PATTERN (in the last stdout)
  if ! grep -qE -- "$2" "$work/out"; then
    echo "FAIL $1: no '$2' in:"; cat "$work/out"; fails=$((fails + 1))
  fi
}

# A stereo 16-bit file with known samples: sox writes text as samples.
printf '; Sample Rate 1000\n; Channels 2\n' >"$work/in.dat"
for i in 0 1 2 3 4 5 6 7 8 9; do
  printf '%s %s %s\n' "0.$i" "0.$i" "-0.$i" >>"$work/in.dat"
done
sox -D "$work/in.dat" -b 16 -e signed-integer "$work/a.wav"

check info 0 "$cli" info "$work/a.wav"
expect info-rate "rate: 1000 Hz"
expect info-channels "channels: 2"
expect info-frames "frames: 10"
expect info-bits "bits: 16"
expect info-name 'channel 1: name "a.wav Ch 1"'

check dump 0 "$cli" dump "$work/a.wav" --channel 1
[ "$(sed -n 4p "$work/out")" = "-0.299987793" ] || { echo "FAIL dump value: $(sed -n 4p "$work/out")"; fails=$((fails + 1)); }
[ "$(wc -l <"$work/out")" -eq 10 ] || { echo "FAIL dump count"; fails=$((fails + 1)); }
check dump-span 0 "$cli" dump "$work/a.wav" --from 0.002 --to 0.005
[ "$(wc -l <"$work/out")" -eq 3 ] || { echo "FAIL dump span count"; fails=$((fails + 1)); }

# Saving as wav asks a question: refused without --yes, nothing written.
check convert-refused 2 "$cli" convert "$work/a.wav" -o "$work/b.wav"
grep -q "Do you want to save as wav anyway?" "$work/err" || { echo "FAIL refusal text"; fails=$((fails + 1)); }
[ ! -e "$work/b.wav" ] || { echo "FAIL refused convert wrote a file"; fails=$((fails + 1)); }
check convert 0 "$cli" convert "$work/a.wav" -o "$work/b.wav" --format wav32f --channels 1 --yes
[ "$(soxi -c "$work/b.wav")" = 1 ] || { echo "FAIL converted channels"; fails=$((fails + 1)); }
[ "$(soxi -e "$work/b.wav")" = "Floating Point PCM" ] || { echo "FAIL converted coding"; fails=$((fails + 1)); }

# Without --format a WAVE output keeps the coding the input came with.
for enc in "-b 8 -e a-law:A-law" "-b 8 -e u-law:u-law" "-b 32 -e floating-point:Floating Point PCM" "-b 24 -e signed-integer:Signed Integer PCM"; do
  opts=${enc%%:*} want=${enc#*:}
  sox -D -R -n -r 8000 -c 1 $opts "$work/k.wav" synth 0.1 sine 440 vol 0.5
  check "convert-keeps $want" 0 "$cli" convert "$work/k.wav" -o "$work/k2.wav" --yes
  [ "$(soxi -e "$work/k2.wav")" = "$want" ] || { echo "FAIL convert lost the coding $want: $(soxi -e "$work/k2.wav")"; fails=$((fails + 1)); }
  [ "$(soxi -b "$work/k2.wav")" = "$(soxi -b "$work/k.wav")" ] || { echo "FAIL convert lost the bits of $want"; fails=$((fails + 1)); }
done

check missing-file 1 "$cli" info "$work/nothing.wav"
printf 'RIFF....WAVEjunk' >"$work/bad.wav"
check damaged-file 1 "$cli" info "$work/bad.wav"
check missing-channel 1 "$cli" dump "$work/a.wav" --channel 7
check bad-format 2 "$cli" convert "$work/a.wav" -o "$work/c.wav" --format wav12i
check no-output 2 "$cli" convert "$work/a.wav"
check bad-option 2 "$cli" dump "$work/a.wav" --frobnicate
check export-commas 2 "$cli" export "$work/a.wav" -o "$work/e.txt" --separator comma --decimal comma
grep -q "cannot be both the column separator and the decimal separator" "$work/err" || { echo "FAIL export-commas: message"; cat "$work/err"; fails=$((fails + 1)); }
[ ! -e "$work/e.txt" ] || { echo "FAIL export-commas: wrote a file"; fails=$((fails + 1)); }
check export-comma 0 "$cli" export "$work/a.wav" -o "$work/e.txt" --separator comma --decimal period
check unknown-command 2 "$cli" frobnicate

if [ "$fails" -ne 0 ]; then echo "$fails failed"; exit 1; fi
echo "cli: all passed"

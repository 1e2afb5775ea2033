#!/usr/bin/env bash
# tessal-cli run of "load, f0, save" with multiple peak picking on speech
# made by espeak-ng: the F0 channel holds values inside the voice's range
# where it is not 0, is 0 wherever the speech is silent, and finds voicing
# in most of the loud stretches. Skipped (exit 77) without espeak-ng.
# Usage: f0_espeak_test.sh PATH-TO-tessal-cli
set -u
cli=$1
command -v espeak-ng >/dev/null || { echo "espeak-ng is not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
fail() { echo "FAIL $*"; fails=$((fails + 1)); }

# A male voice at its default pitch, with a long pause between sentences.
espeak-ng -v en -s 140 -w "$work/s.wav" \
  "The quick brown fox jumps over the lazy dog. [[ ]] Where are you going now?" || exit 1
cat >"$work/f0.tessalproc" <<'P'
[Common]
nsteps=3
[Step_0]
procid=load
nChans=1
Channo0=0
[Step_1]
procid=f0
Algorithm=2
MinF0=50
MaxF0=400
[Step_2]
procid=save
nChans=1
Channo0=-1
P
"$cli" run "$work/f0.tessalproc" "$work/s.wav" -o "$work/s.tessal" >"$work/out" 2>&1 || { fail "run"; cat "$work/out"; }
"$cli" info "$work/s.tessal" >"$work/info"
grep -q 'channel 1: name "s.wav Ch 0 multi-F0", unit "Hz"' "$work/info" || { fail "no F0 channel"; cat "$work/info"; }
"$cli" dump "$work/s.tessal" --channel 0 >"$work/x"
"$cli" dump "$work/s.tessal" --channel 1 >"$work/f"
# Each F0 value q stands for the 100 speech samples from 100 q. A value is
# judged silent when the speech within 30 ms of it stays below 0.001, and
# loud when its RMS there is above 0.05.
awk -v rate=22050 '
  NR == FNR { x[FNR - 1] = $1; n = FNR; next }
  { f[FNR - 1] = $1; m = FNR }
  END {
    w = int(0.03 * rate)
    for (q = 0; q < m; q++) {
      c = 100 * q; peak = 0; s = 0; k = 0
      for (i = c - w; i <= c + w; i++) if (i >= 0 && i < n) { v = x[i] < 0 ? -x[i] : x[i]; if (v > peak) peak = v; s += x[i] * x[i]; k++ }
      rms = sqrt(s / k)
      if (f[q] != 0 && (f[q] < 70 || f[q] > 200)) { bad++; print "out of range at " q / (rate / 100) " s: " f[q] }
      if (peak < 0.001) { silent++; if (f[q] != 0) { bad++; print "voiced in silence at " q / (rate / 100) " s: " f[q] } }
      if (rms > 0.05) { loud++; if (f[q] > 0) found++ }
      if (f[q] > 0) voiced++
    }
    printf "values %d, voiced %d, silent %d, loud %d (voiced there %d)\n", m, voiced, silent, loud, found
    if (silent < 20) { bad++; print "too little silence to judge" }
    if (voiced < 100) { bad++; print "too few voiced values" }
    if (found < 0.6 * loud) { bad++; print "voicing found in too few loud stretches" }
    exit bad > 0
  }' "$work/x" "$work/f" || fail "F0 values"

[ "$fails" -eq 0 ] || exit 1
echo "ok"

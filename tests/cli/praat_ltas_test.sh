#!/usr/bin/env bash
# Our LTAS beside Praat's on speech: Praat's own speech synthesizer says two
# sentences, Praat's "To Ltas" (50 Hz bands) and tessal-cli spectrum --ltas
# (Blackman, 50 Hz) analyse the same file, our bins' power is averaged over
# each Praat band, and after the one constant offset between the two
# scalings (Praat gives dB/Hz re 2e-5 Pa, we give dB per bin re 1) the
# bands from 100 Hz to 8 kHz must agree within 1 dB on average and 3 dB at
# worst. Skipped (exit 77) without praat.
# Usage: praat_ltas_test.sh PATH-TO-tessal-cli
set -u
cli=$1
if ! command -v praat >/dev/null 2>&1; then
  echo "praat not installed: skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/ltas.praat" <<PRAAT
Create SpeechSynthesizer: "English (Great Britain)", "Male1"
To Sound: "The quick brown fox jumps over the lazy dog. She sells sea shells by the sea shore.", "no"
Save as WAV file: "$work/speech.wav"
To Ltas: 50
n = Get number of bins
for i to n
  f = Get frequency from bin number: i
  v = Get value in bin: i
  appendFileLine: "$work/praat.txt", f, tab\$, v
endfor
PRAAT
if ! praat --run "$work/ltas.praat" >"$work/praat.log" 2>&1; then
  echo "FAIL praat did not run:"; cat "$work/praat.log"; exit 1
fi
if ! "$cli" spectrum "$work/speech.wav" --ltas --bandwidth 50 --window Blackman >"$work/ours.txt"; then
  echo "FAIL tessal-cli spectrum"; exit 1
fi
awk -F'\t' '
  NR == FNR { if (FNR > 1) { f[++n] = $1; p[n] = 10 ^ ($2 / 10) } next }
  $1 >= 100 && $1 <= 8000 {
    s = 0; c = 0
    for (i = 1; i <= n; i++) if (f[i] >= $1 - 25 && f[i] < $1 + 25) { s += p[i]; c++ }
    if (c) { m++; fc[m] = $1; d[m] = 10 * log(s / c) / log(10) - $2; off += d[m] }
  }
  END {
    off /= m
    for (i = 1; i <= m; i++) { a = d[i] - off; if (a < 0) a = -a; mad += a; if (a > worst) { worst = a; wf = fc[i] } }
    mad /= m
    printf "bands %d, offset %.2f dB, mean |difference| %.2f dB, worst %.2f dB at %d Hz\n", m, off, mad, worst, wf
    exit !(m > 100 && mad < 1.0 && worst < 3.0)
  }' "$work/ours.txt" "$work/praat.txt"

#!/usr/bin/env bash
# Labels through Praat both ways: Praat makes a TextGrid (an interval with
# non-ASCII text and quotes, and a point), tessal-cli labels --import reads
# it into a .tessal file, tessal-cli labels --textgrid writes that file's
# labels back, and Praat reads our TextGrid and prints its labels: they
# must be the ones Praat wrote. Skipped (exit 77) without praat.
# Usage: praat_textgrid_test.sh PATH-TO-tessal-cli
set -u
cli=$1
if ! command -v praat >/dev/null 2>&1; then
  echo "praat not installed: skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
sox -n -r 16000 -c 1 a.wav synth 2 sine 200 || exit 1
cat >mk.praat <<'PRAAT'
Create TextGrid: 0, 2, "words bells", "bells"
Insert boundary: 1, 0.5
Insert boundary: 1, 1.25
Set interval text: 1, 2, "héllo ""w"""
Insert point: 2, 1.5, "ding"
Save as text file: "praat.TextGrid"
PRAAT
cat >rd.praat <<'PRAAT'
form Read
  sentence File ours.TextGrid
endform
Read from file: file$
n = Get number of tiers
for t to n
  isint = Is interval tier: t
  if isint
    m = Get number of intervals: t
    for i to m
      s$ = Get label of interval: t, i
      if s$ <> ""
        a = Get start time of interval: t, i
        b = Get end time of interval: t, i
        appendInfoLine: fixed$(a, 6), " ", fixed$(b, 6), " ", s$
      endif
    endfor
  else
    m = Get number of points: t
    for i to m
      a = Get time of point: t, i
      s$ = Get label of point: t, i
      appendInfoLine: fixed$(a, 6), " ", s$
    endfor
  endif
endfor
PRAAT
praat --run mk.praat || { echo "praat could not make the TextGrid"; exit 1; }
"$cli" labels a.wav --import praat.TextGrid -o b.tessal || { echo "import failed"; exit 1; }
"$cli" labels b.tessal --textgrid ours.TextGrid || { echo "export failed"; exit 1; }
want=$(praat --run rd.praat praat.TextGrid) || exit 1
got=$(praat --run rd.praat ours.TextGrid) || { echo "praat cannot read our TextGrid"; exit 1; }
if [ "$want" != "$got" ]; then
  echo "labels differ"; echo "praat: $want"; echo "ours:  $got"; exit 1
fi
[ -n "$got" ] || { echo "no labels"; exit 1; }
echo "$got"

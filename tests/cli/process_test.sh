#!/usr/bin/env bash
# tessal-cli steps and run: process files written as a user would, signals
# made by sox, results read back with dump and compared with the input.
# Usage: process_test.sh PATH-TO-tessal-cli
set -u
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
fail() { echo "FAIL $*"; fails=$((fails + 1)); }
check() {  # check NAME EXPECTED-RC COMMAND...
  local name=$1 want=$2
  shift 2
  "$@" >"$work/out" 2>"$work/err"
  local rc=$?
  [ "$rc" -eq "$want" ] || { fail "$name: exit $rc, wanted $want"; cat "$work/err"; }
}

check steps 0 "$cli" steps
[ "$(wc -l <"$work/out")" -eq 45 ] || fail "steps: not 45 lines"
[ "$(sed -n 23p "$work/out")" = "$(printf '22\tf0\tF0\tExtracts fundamental frequency')" ] || fail "steps: line 22"

sox -n -r 8000 -c 2 -b 16 "$work/a.wav" synth 0.5 sine 440 sine 1000 gain -3
# Copy channel 1 into a new channel named "copy".
cat >"$work/copy.tessalproc" <<'P'
[Common]
nsteps=2
[Step_0]
procid=load
nChans=1
Channo0=1
[Step_1]
PROCID=save
nchans=1
channo0=-1
ChannelName=copy
UseChannelName=1
FSDMode=0
P
check run 0 "$cli" run "$work/copy.tessalproc" "$work/a.wav" -o "$work/b.tessal" --profile
grep -q "^Total process execution time: " "$work/out" || fail "run: no profile"
grep -q "% 	Save to channel N (copy)$" "$work/out" || fail "run: no profile line of the save step"
check info 0 "$cli" info "$work/b.tessal"
grep -q 'channel 2: name "copy"' "$work/out" || fail "run: no channel named copy"
"$cli" dump "$work/a.wav" --channel 1 >"$work/want"
"$cli" dump "$work/b.tessal" --channel 2 >"$work/got"
cmp -s "$work/want" "$work/got" || fail "run: the copy differs from channel 1"

# A failing step: its message, exit 1, nothing written.
printf '[Common]\nnsteps=1\n[Step_0]\nprocid=load\nChanno=5\n' >"$work/bad.tessalproc"
check run-fails 1 "$cli" run "$work/bad.tessalproc" "$work/a.wav" -o "$work/c.tessal"
grep -q "Channel 5 does not exist" "$work/err" || fail "run-fails: message"
[ ! -e "$work/c.tessal" ] || fail "run-fails: wrote a file"
check run-noproc 1 "$cli" run "$work/none.tessalproc" "$work/a.wav" -o "$work/c.tessal"
check run-usage 2 "$cli" run "$work/copy.tessalproc" "$work/a.wav"
check run-format 2 "$cli" run "$work/copy.tessalproc" "$work/a.wav" -o "$work/c.x" --format nope

# A generator and a filter from a process file: an impulse train through the
# 2nd order low-pass, against sox's low-pass of the same impulses (the same
# bilinear design of 1 / (s^2 + s/Q + 1)).
cat >"$work/gen.tessalproc" <<'P'
[Common]
nsteps=4
[Step_0]
procid=impulses
Duration=0.25
Amplitude=0.5
Freq=40
SampFreq=8000
[Step_1]
procid=save
nChans=1
Channo0=-1
FSDMode=0
[Step_2]
procid=lp2
F0=500
Q=0.707
[Step_3]
procid=save
nChans=1
Channo0=-1
FSDMode=0
P
check gen-run 0 "$cli" run "$work/gen.tessalproc" "$work/a.wav" -o "$work/g.tessal"
check gen-info 0 "$cli" info "$work/g.tessal"
grep -q 'channel 3: name "Impulses LP 500 Hz"' "$work/out" || fail "gen: no filtered channel"
"$cli" dump "$work/g.tessal" --channel 2 >"$work/imp.txt"
"$cli" dump "$work/g.tessal" --channel 3 >"$work/lp.txt"
[ "$(wc -l <"$work/imp.txt")" -eq 2000 ] || fail "gen: not 2000 samples"
# Impulses every 200 samples from the first on, nothing between.
awk '{ want = ((NR - 1) % 200 == 0) ? 0.5 : 0; if ($1 != want) bad++ } END { exit bad > 0 }' "$work/imp.txt" || fail "gen: impulses off their samples"
{ printf '; Sample Rate 8000\n; Channels 1\n'; awk '{ printf "%.10g %s\n", (NR - 1) / 8000, $1 }' "$work/imp.txt"; } >"$work/imp.dat"
sox "$work/imp.dat" "$work/ref.dat" lowpass 500 0.707q 2>/dev/null
grep -v '^;' "$work/ref.dat" | awk '{ print $2 }' | paste - "$work/lp.txt" |
  awk '{ d = $1 - $2; if (d < 0) d = -d; if (d > m) m = d; n++ } END { exit !(n == 2000 && m < 1e-6) }' ||
  fail "gen: the low-pass differs from sox's"
# A corner at half the rate stops the run with the step's name; nothing is written.
sed 's/^F0=500$/F0=4000/' "$work/gen.tessalproc" >"$work/bad2.tessalproc"
check gen-bad 1 "$cli" run "$work/bad2.tessalproc" "$work/a.wav" -o "$work/h.tessal"
grep -q "LP filter 4000 Hz, Q 0.707: The corner frequency (4000 Hz) must be below half the sampling rate (4000 Hz)" "$work/err" || fail "gen-bad: message"
[ ! -e "$work/h.tessal" ] || fail "gen-bad: wrote a file"

# Division by a silent channel: the zero divisors give 0 and the run says so.
sox -D -n -r 8000 -c 2 -b 16 "$work/z.wav" synth 0.1 sine 300 sine 0
printf '[Common]\nnsteps=3\n[Step_0]\nprocid=load\nChanno=0\n[Step_1]\nprocid=divch\nChanno=1\n[Step_2]\nprocid=save\nChanno=-1\nFSDMode=0\n' >"$work/div.tessalproc"
check div-run 0 "$cli" run "$work/div.tessalproc" "$work/z.wav" -o "$work/d.tessal"
grep -q "^Done (Divide by channel 1: 800 samples divided by 0 set to 0)$" "$work/err" || { fail "div: status"; cat "$work/err"; }
"$cli" dump "$work/d.tessal" --channel 2 | sort -u >"$work/got"
[ "$(cat "$work/got")" = "0" ] || fail "div: not all 0"

# --each: every file on its own, one line each, a broken file does not stop the rest.
mkdir "$work/in" "$work/out.d"
for i in 1 2 3 4 5; do sox -n -r 8000 -c 2 -b 16 "$work/in/f$i.wav" synth 0.2 sine $((300 * i)) sine 100; done
printf 'not a signal' >"$work/in/broken.wav"
check each 1 "$cli" run "$work/copy.tessalproc" --each "$work"/in/*.wav --out-dir "$work/out.d" -j 2 --format tessal32f
[ "$(wc -l <"$work/out")" -eq 6 ] || fail "each: not one line per file"
[ "$(grep -c ': ok$' "$work/out")" -eq 5 ] || fail "each: five files ok"
grep -q "broken.wav: " "$work/out" || fail "each: no line for the broken file"
for i in 1 2 3 4 5; do [ -s "$work/out.d/f$i.tessal" ] || fail "each: no f$i.tessal"; done
[ ! -e "$work/out.d/broken.tessal" ] || fail "each: wrote the broken file"
"$cli" dump "$work/in/f3.wav" --channel 1 >"$work/want"
"$cli" dump "$work/out.d/f3.tessal" --channel 2 >"$work/got"
cmp -s "$work/want" "$work/got" || fail "each: f3's copy differs"

# Files on standard input; WAVE output keeps the input's extension.
rm -f "$work"/out.d/*
ls "$work"/in/f*.wav | check each-stdin 0 "$cli" run "$work/copy.tessalproc" --each - --out-dir "$work/out.d" -j 3 --yes
[ "$(ls "$work/out.d" | wc -l)" -eq 5 ] || fail "each-stdin: not five files"
[ -s "$work/out.d/f2.wav" ] || fail "each-stdin: no f2.wav"
check each-j 2 "$cli" run "$work/copy.tessalproc" --each "$work/in/f1.wav" --out-dir "$work/out.d" -j 0
# Two inputs with one output name: refused before anything runs, naming both.
mkdir "$work/a.d" "$work/b.d" "$work/same.d"
cp "$work/in/f1.wav" "$work/a.d/take.wav"; cp "$work/in/f2.wav" "$work/b.d/take.wav"
check each-same 2 "$cli" run "$work/copy.tessalproc" --each "$work/a.d/take.wav" "$work/b.d/take.wav" --out-dir "$work/same.d"
grep -q "a.d/take.wav and .*b.d/take.wav would both be saved as .*same.d/take.wav" "$work/err" || { fail "each-same: message"; cat "$work/err"; }
[ ! -s "$work/out" ] || fail "each-same: ran something"
[ -z "$(ls "$work/same.d")" ] || fail "each-same: wrote a file"
check each-same-format 2 "$cli" run "$work/copy.tessalproc" --each "$work/a.d/take.wav" "$work/a.d/take.wav" --out-dir "$work/same.d" --format tessal32f
check each-dir 1 "$cli" run "$work/copy.tessalproc" --each "$work/in/f1.wav" --out-dir "$work/nowhere"

[ "$fails" -eq 0 ] && echo "all process cli checks passed"
exit "$fails"

#!/usr/bin/env bash
# tessal-cli glottal --auto and invfilter --auto. glottal: a train of
# symmetric triangles (30 samples up, 30 down, 40 closed at 10 kHz) gives a
# row per cycle with T0 10 ms, NAQ 0.3, CQ 0.4 and SQ 1, the same from its
# derivative with --derivative, nothing from silence; invfilter: glottal
# pulses through two resonances (written by their own difference equations)
# gives a filter whose two strongest elements are those resonances, and the
# saved filter file gives the same channels through --filter; and the
# refusals with their exit codes.
# Usage: autoinvfilter_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/home/run" XDG_CONFIG_HOME="$work/home/config"
mkdir -p "$XDG_RUNTIME_DIR"

tri='0.8 * ((i % 100) / 30 if i % 100 < 30 else ((60 - i % 100) / 30 if i % 100 < 60 else 0))'
float_wav "$work/tri.wav" 10000 10000 "$tri"
run auto 0 "$cli" glottal "$work/tri.wav" --channel 0 --auto --from 0.5 --to 0.6
line auto-heading 1 "File name${tab}Channel name${tab}Time [s]${tab}T0 [ms]${tab}F0 [Hz]${tab}Note${tab}ptp []${tab}min []${tab}max []${tab}MDR [/s]${tab}AQ [ms]${tab}NAQ${tab}H1/H2 [dB]${tab}TC [ms]${tab}CQ${tab}OQ${tab}SQ${tab}"
# Cycles from each closure (sample 31 of the period, where the fall
# starts) to the next that lie in the span: 0.5031 ... 0.5831 s.
[ "$(wc -l <"$work/out")" -eq 10 ] || { echo "FAIL auto: not 9 rows"; cat "$work/out"; fails=$((fails + 1)); }
awk -F'\t' 'NR > 1 { t = sprintf("%.3f", 0.503 + (NR - 2) * 0.01)
  if ($3 != t || $4 != 10 || $7 != 0.8 || $12 != 0.3 || $14 != 4 || $15 != 0.4 || $16 != 0.6 || $17 != 1) bad = 1 }
  END { exit bad }' "$work/out" || { echo "FAIL auto: rows"; cat "$work/out"; fails=$((fails + 1)); }
grep -q "9 cycles found, 9 measured" "$work/err" || { echo "FAIL auto: count"; cat "$work/err"; fails=$((fails + 1)); }
# The derivative of the same flow, integrated again (after the high-pass):
# about the same periods and NAQ.
float_wav "$work/dtri.wav" 10000 10000 "8000 * ((1 if i % 100 <= 30 else -1) if 0 < i % 100 <= 60 else 0)"
run derivative 0 "$cli" glottal "$work/dtri.wav" --channel 0 --auto --derivative --from 0.5 --to 0.6
awk -F'\t' 'NR > 1 { n++; if ($4 < 9.8 || $4 > 10.2 || $12 < 0.29 || $12 > 0.315) bad = 1 } END { exit bad || n < 8 }' "$work/out" ||
  { echo "FAIL derivative: rows"; cat "$work/out"; fails=$((fails + 1)); }
float_wav "$work/silence.wav" 10000 5000 "0"
run silence 1 "$cli" glottal "$work/silence.wav" --channel 0 --auto
grep -q "no glottal cycle" "$work/err" || { echo "FAIL silence: message"; cat "$work/err"; fails=$((fails + 1)); }
run autospan 2 "$cli" glottal "$work/tri.wav" --channel 0 --auto --from 0.5
run autobackwards 2 "$cli" glottal "$work/tri.wav" --channel 0 --auto --from 0.6 --to 0.5
run autochannel 1 "$cli" glottal "$work/tri.wav" --channel 1 --auto

# Glottal pulses every 100 samples at 16 kHz (Rosenberg's: opening over
# 40 % of the period, closing over 16 %, then closed), their derivative
# through 800 Hz (80 Hz wide) and 2200 Hz (120 Hz wide).
python3 - "$work/res.wav" <<'PY'
import math, struct, sys
fs, n, T = 16000, 32000, 100
tp, tn = 0.40 * T, 0.16 * T
def flow(t):
    t = t % T
    if t < tp: return 0.5 * (1 - math.cos(math.pi * t / tp))
    if t < tp + tn: return math.cos(math.pi * (t - tp) / (2 * tn))
    return 0.0
x = [flow(i) - flow(i - 1) for i in range(n)]
for f, b in ((800, 80), (2200, 120)):
    C = -math.exp(-2 * math.pi * b / fs); B = 2 * math.exp(-math.pi * b / fs) * math.cos(2 * math.pi * f / fs)
    y1 = y2 = 0.0
    for i in range(n):
        y = (1 - B - C) * x[i] + B * y1 + C * y2
        y2, y1 = y1, y
        x[i] = y
peak = max(abs(v) for v in x)
data = b"".join(struct.pack("<f", 0.5 * v / peak) for v in x)
fmt = struct.pack("<HHIIHH", 3, 1, fs, fs * 4, 4, 32)
body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
open(sys.argv[1], "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY
run estimate 0 "$cli" invfilter "$work/res.wav" --channel 0 --auto --save-filter "$work/est.for" -o "$work/auto.tessal"
# The two narrowest elements are the two resonances.
python3 - "$work/est.for" <<'PY' || { echo "FAIL estimate: formants"; cat "$work/est.for"; fails=$((fails + 1)); }
import configparser, sys
c = configparser.ConfigParser()
c.read(sys.argv[1])
els = sorted((float(c[s]["Bandwidth"]), float(c[s]["F0"])) for s in c.sections() if s.startswith("Formant"))
got = sorted(f for b, f in els[:2])
sys.exit(not (abs(got[0] - 800) < 25 and abs(got[1] - 2200) < 40))
PY
grep -q "^F1: f=" "$work/err" || { echo "FAIL estimate: no list"; cat "$work/err"; fails=$((fails + 1)); }
run info 0 "$cli" info "$work/auto.tessal"
grep -q 'channel 2: name "res.wav Ch 0 inverse filtered flow derivative"' "$work/out" ||
  { echo "FAIL estimate: channels"; cat "$work/out"; fails=$((fails + 1)); }
# The saved filter through --filter makes the same channels.
run refilter 0 "$cli" invfilter "$work/res.wav" --channel 0 --filter "$work/est.for" -o "$work/again.tessal"
run dump1 0 "$cli" dump "$work/auto.tessal" --channel 2
mv "$work/out" "$work/auto.txt"
run dump2 0 "$cli" dump "$work/again.tessal" --channel 2
cmp -s "$work/out" "$work/auto.txt" || { echo "FAIL refilter: other samples"; fails=$((fails + 1)); }
run span 0 "$cli" invfilter "$work/res.wav" --channel 0 --auto --order 10 --from 0.5 --to 1.5 -o "$work/span.wav" --yes
float_wav "$work/quiet.wav" 16000 8000 "0"
run silent 1 "$cli" invfilter "$work/quiet.wav" --channel 0 --auto -o "$work/x.wav"
grep -q "silent" "$work/err" || { echo "FAIL silent: message"; cat "$work/err"; fails=$((fails + 1)); }
run short 1 "$cli" invfilter "$work/res.wav" --channel 0 --auto --from 0.1 --to 0.11 -o "$work/x.wav"
run both 2 "$cli" invfilter "$work/res.wav" --channel 0 --auto --filter "$work/est.for" -o "$work/x.wav"
run order 2 "$cli" invfilter "$work/res.wav" --channel 0 --auto --order 1 -o "$work/x.wav"
run flowtype 2 "$cli" invfilter "$work/res.wav" --channel 0 --auto --type flow -o "$work/x.wav"
run savenoauto 2 "$cli" invfilter "$work/res.wav" --channel 0 --filter "$work/est.for" --save-filter "$work/y.for" -o "$work/x.wav"
[ -e "$work/x.wav" ] && { echo "FAIL: a refused run wrote a file"; fails=$((fails + 1)); }
[ "$fails" -eq 0 ] && echo "glottal --auto and invfilter --auto: all passed"
exit $((fails > 0))

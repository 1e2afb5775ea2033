#!/usr/bin/env bash
# tessal-cli correlogram --auto-trace on a signal sox makes: 0.3 s of
# silence, a 150 Hz sawtooth for 0.5 s, 0.3 s of silence, a 200 Hz one
# for 0.5 s, 0.3 s of silence. Without any trace file the F0 channel holds
# 150 and 200 Hz (to 1 %) in the tones and -1 in the silences; a silent
# file and --trace with --auto-trace are refused.
# Usage: correlogram_autotrace_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
command -v sox >/dev/null || exit 77

fmt=(-r 16000 -c 1 -e floating-point -b 32)
sox -n "${fmt[@]}" "$work/sil.wav" trim 0 0.3
sox -n "${fmt[@]}" "$work/a.wav" synth 0.5 sawtooth 150 gain -6
sox -n "${fmt[@]}" "$work/b.wav" synth 0.5 sawtooth 200 gain -6
sox "$work/sil.wav" "$work/a.wav" "$work/sil.wav" "$work/b.wav" "$work/sil.wav" "$work/two.wav"

run auto 0 "$cli" correlogram "$work/two.wav" --auto-trace --skip 160 --no-keep-rate -o "$work/f0.tessal"
run info 0 "$cli" info "$work/f0.tessal"
grep -q 'channel 1: name "two.wav Ch 0 F0", unit "Hz"' "$work/out" || { echo "FAIL info: F0 channel"; cat "$work/out"; fails=$((fails + 1)); }
# One value per 10 ms (line k + 1 at k / 100 s): away from the edges (40 ms
# before them, the window reaching past the time), the tone's F0 or -1.
run dump 0 "$cli" dump "$work/f0.tessal" --channel 1
awk 'function truth(t) { return t >= 0.3 && t < 0.8 ? 150 : t >= 1.1 && t < 1.6 ? 200 : 0 }
     function edge(t) { return (t > 0.26 && t < 0.34) || (t > 0.76 && t < 0.84) ||
                               (t > 1.06 && t < 1.14) || (t > 1.56 && t < 1.64) }
     { t = (NR - 1) / 100; if (edge(t) || t > 1.85) next; f = truth(t)
       if (f > 0) { v++; d = ($1 - f) / f; if (d < 0) d = -d; if (d > 0.01) { bad++; print "at", t, $1 } }
       else { s++; if ($1 != -1) { bad++; print "at", t, $1, "in silence" } } }
     END { exit bad || v < 80 || s < 60 || NR != 190 }' "$work/out" >"$work/bad" ||
  { echo "FAIL auto: F0 not the tones' or not -1 in the silences"; head "$work/bad"; fails=$((fails + 1)); }

# On a time axis: T0 in s, the tracker's range 50..1000 Hz (20 ms).
run autot0 0 "$cli" correlogram "$work/two.wav" --auto-trace --vertical time --skip 160 --no-keep-rate -o "$work/t0.tessal"
run dumpt0 0 "$cli" dump "$work/t0.tessal" --channel 1
awk 'NR == 56 { d = $1 * 150 - 1 } NR == 136 { e = $1 * 200 - 1 }
     END { if (d < 0) d = -d; if (e < 0) e = -e; exit !(d < 0.01 && e < 0.01) }' "$work/out" ||
  { echo "FAIL autot0: not 1/150 and 1/200 s"; sed -n '56p;136p' "$work/out"; fails=$((fails + 1)); }

# Refusals.
sox -n "${fmt[@]}" "$work/silent.wav" trim 0 1
run silent 1 "$cli" correlogram "$work/silent.wav" --auto-trace -o "$work/x.tessal"
grep -q "no voiced part" "$work/err" || { echo "FAIL silent: no message"; cat "$work/err"; fails=$((fails + 1)); }
run twotraces 2 "$cli" correlogram "$work/two.wav" --auto-trace --trace "$work/none.ctr" -o "$work/x.tessal"
run lowrange 1 "$cli" correlogram "$work/two.wav" --auto-trace --fsd 40 -o "$work/x.tessal"
[ -e "$work/x.tessal" ] && { echo "FAIL: a refused run wrote a file"; fails=$((fails + 1)); }

[ "$fails" -eq 0 ] && echo "correlogram_autotrace: all passed"
exit $((fails > 0))

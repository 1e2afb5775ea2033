#!/usr/bin/env bash
# tessal-cli invfilter and glottal on files written by sox from sample
# lists made here. invfilter: a pulse train through one resonance (written
# by its own difference equation) comes back as the pulse train when the
# filter file names that resonance; glottal: a train of symmetric triangles
# (30 samples up, 30 down, 40 closed at 10 kHz) gives T0 10 ms, NAQ 0.3,
# SQ 1 and the H1/H2 of a direct sum; and the exit codes.
# Usage: invfilter_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"

# A pulse every 80 samples at 16 kHz through a resonance at 900 Hz, 70 Hz wide.
awk 'BEGIN{fs=16000; f=900; b=70; pi=atan2(0,-1);
  C=-exp(-2*pi*b/fs); B=2*exp(-pi*b/fs)*cos(2*pi*f/fs); A=1-B-C; y1=0; y2=0;
  print "; Sample Rate 16000"; print "; Channels 1";
  for(i=0;i<16000;i++){x=(i%80==0)?0.05:0; y=A*x+B*y1+C*y2; y2=y1; y1=y; printf "%.8f %.12f\n", i/fs, y}}' >"$work/res.dat"
sox -D "$work/res.dat" -e floating-point -b 32 "$work/res.wav"
printf '[Common]\nVersion=1\nnFormants=2\n[Formant0]\nIsZero=0\nF0=900\nBandwidth=70\n[Formant1]\nIsZero=0\nF0=9000\nBandwidth=100\n' >"$work/one.for"
run flow 0 "$cli" invfilter "$work/res.wav" --channel 0 --filter "$work/one.for" --type flow -o "$work/out.tessal"
run info 0 "$cli" info "$work/out.tessal"
grep -q 'channel 1: name "res.wav Ch 0 inverse filtered flow", unit ""' "$work/out" ||
  { echo "FAIL info: flow channel"; cat "$work/out"; fails=$((fails + 1)); }
grep -q 'channel 2: name "res.wav Ch 0 inverse filtered flow derivative", unit "1/s".*labels 1' "$work/out" ||
  { echo "FAIL info: derivative channel"; cat "$work/out"; fails=$((fails + 1)); }
# The flow channel is the pulse train again: 0.05 at the pulses, 0 between.
run dump 0 "$cli" dump "$work/out.tessal" --channel 1
awk 'NR>1 && NR<16000 { want=((NR-1)%80==0)?0.05:0; d=$1-want; if (d<0) d=-d; if (d>m) m=d }
     END { exit !(m < 1e-5) }' "$work/out" || { echo "FAIL pulses: the resonance is left"; fails=$((fails + 1)); }
# The microphone path with a calibrated unit is litres per second.
run mic 0 "$cli" invfilter "$work/res.wav" --channel 0 --filter "$work/one.for" --hp 30 --distance 20 --flip -o "$work/mic.wav" --yes
run nochannel 1 "$cli" invfilter "$work/res.wav" --channel 3 --filter "$work/one.for" -o "$work/x.wav"
run nofilter 1 "$cli" invfilter "$work/res.wav" --channel 0 --filter "$work/none.for" -o "$work/x.wav"
run badtype 2 "$cli" invfilter "$work/res.wav" --channel 0 --filter "$work/one.for" --type air -o "$work/x.wav"
run noout 2 "$cli" invfilter "$work/res.wav" --channel 0 --filter "$work/one.for"
[ -e "$work/x.wav" ] && { echo "FAIL: a refused run wrote a file"; fails=$((fails + 1)); }

# Triangles of height 0.8: period 10 ms, ptp 0.8, MDR 0.8/3 ms, AQ 3 ms,
# NAQ 0.3; closed 16..20 ms after the segment start: TC 4 ms, CQ 0.4, SQ 1.
awk 'BEGIN{print "; Sample Rate 10000"; print "; Channels 1";
  for(i=0;i<10000;i++){p=i%100; v=(p<30)?p/30:((p<60)?(60-p)/30:0); printf "%.8f %.10f\n", i/10000, 0.8*v}}' >"$work/tri.dat"
sox -D "$work/tri.dat" -e floating-point -b 32 "$work/tri.wav"
# H1/H2 by a direct sum over the 101 samples of the marked period.
h1h2=$(awk 'BEGIN{pi=atan2(0,-1); n=101; for(k=0;k<n;k++){i=131+k; p=i%100; v=(p<30)?p/30:((p<60)?(60-p)/30:0); v*=0.8;
  r1+=v*cos(2*pi*k/n); i1+=v*sin(2*pi*k/n); r2+=v*cos(4*pi*k/n); i2+=v*sin(4*pi*k/n)}
  printf "%.2f", 20*log(sqrt((r1*r1+i1*i1)/(r2*r2+i2*i2)))/log(10)}')
run glottal 0 "$cli" glottal "$work/tri.wav" --channel 0 --at 0.5 --period 0.5131 0.5231 --closed 0.516 0.52
line glottal-heading 1 "File name${tab}Channel name${tab}Time [s]${tab}T0 [ms]${tab}F0 [Hz]${tab}Note${tab}ptp []${tab}min []${tab}max []${tab}MDR [/s]${tab}AQ [ms]${tab}NAQ${tab}H1/H2 [dB]${tab}TC [ms]${tab}CQ${tab}OQ${tab}SQ${tab}"
line glottal-row 2 "tri.wav${tab}tri.wav Ch 0${tab}0.513${tab}10${tab}100${tab}G2 +35 cent${tab}0.8${tab}0${tab}0.8${tab}266.67${tab}3${tab}0.3${tab}${h1h2}${tab}4${tab}0.4${tab}0.6${tab}1${tab}"
# Either order of the ends marks the same period.
run snapped 0 "$cli" glottal "$work/tri.wav" --channel 0 --at 0.5 --period 0.5231 0.5131 --closed 0.52 0.516
line snapped-row 2 "tri.wav${tab}tri.wav Ch 0${tab}0.513${tab}10${tab}100${tab}G2 +35 cent${tab}0.8${tab}0${tab}0.8${tab}266.67${tab}3${tab}0.3${tab}${h1h2}${tab}4${tab}0.4${tab}0.6${tab}1${tab}"
run early 0 "$cli" glottal "$work/tri.wav" --channel 0 --at 0.5 --period 0.5031 0.5131
grep -q "Select a MDR peak further to the right to allow a full period before it!" "$work/err" ||
  { echo "FAIL early: no selection error"; fails=$((fails + 1)); }
run outside 1 "$cli" glottal "$work/tri.wav" --channel 0 --at 0.5 --period 0.2 0.21
run noperiod 2 "$cli" glottal "$work/tri.wav" --channel 0 --at 0.5
run badchannel 1 "$cli" glottal "$work/tri.wav" --channel 2 --at 0.5 --period 0.51 0.52

[ "$fails" -eq 0 ] && echo "invfilter and glottal: all passed"
exit $((fails > 0))

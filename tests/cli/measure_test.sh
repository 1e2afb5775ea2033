#!/usr/bin/env bash
# tessal-cli measure on WAVE files written by sox: the two log lines for a
# 1 kHz tone of amplitude 0.5 (Lpeak -6.02, Leq -9.03, Crest 3.01 dB re the
# float file's full scale), a selection, chosen items, a stereo file, and the
# exit codes. Usage: measure_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"

sox -n -r 48000 -e floating-point -b 32 "$work/tone.wav" synth 2 sine 1000 gain -6.0206
run defaults 0 "$cli" measure "$work/tone.wav"
line defaults-heading 1 "Channel${tab}File name${tab}Channel name${tab}Sampling rate [Hz]${tab}Lpeak [dB re FSD]${tab}Leq [dB re FSD]${tab}Crest [dB]${tab}"
line defaults-values 2 "0${tab}tone.wav${tab}tone.wav Ch 0${tab}48000${tab}-6.02${tab}-9.03${tab}3.01${tab}"
[ "$(wc -l <"$work/out")" -eq 2 ] || { echo "FAIL defaults: not two lines"; fails=$((fails + 1)); }

run items 0 "$cli" measure "$work/tone.wav" --items "Channo, RMS,crestfactor,10" --from 0.5 --to 1.5
line items-heading 1 "Channel${tab}Dur [s]${tab}RMS${tab}Crest${tab}"
line items-values 2 "0${tab}1.000${tab}0.35355${tab}1.4142${tab}"

# Stereo: a tone left and silence right (whose crest level cannot be formed); --all gives both channels with a
# tab between them, --channel 1 only the silent one.
sox -D -n -r 8000 -b 32 -e floating-point "$work/st.wav" synth 1 sine 500 sine 500 remix 1 2v0 gain -6.0206
run stereo-all 0 "$cli" measure "$work/st.wav" --all --items 0,25,31
line stereo-all-heading 1 "Channel${tab}RMS${tab}Crest [dB]${tab}${tab}Channel${tab}RMS${tab}Crest [dB]${tab}"
line stereo-all-values-right 2 "$(sed -n 2p "$work/out" | cut -f1-3)${tab}${tab}1${tab}0${tab}-${tab}"
[ "$(sed -n 2p "$work/out" | cut -f1-2)" = "0${tab}0.35355" ] || { echo "FAIL stereo left RMS"; fails=$((fails + 1)); }
run stereo-one 0 "$cli" measure "$work/st.wav" --channel 1 --items 0,25
line stereo-one-values 2 "1${tab}0${tab}"

run missing-file 1 "$cli" measure "$work/nothing.wav"
run missing-channel 1 "$cli" measure "$work/tone.wav" --channel 2
run bad-item 2 "$cli" measure "$work/tone.wav" --items 32
run bad-time 2 "$cli" measure "$work/tone.wav" --from x
run both-channel-choices 2 "$cli" measure "$work/tone.wav" --all --channel 0
run no-file 2 "$cli" measure

if [ "$fails" -ne 0 ]; then echo "$fails failure(s)"; exit 1; fi
echo "all measure checks passed"

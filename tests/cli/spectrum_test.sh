#!/usr/bin/env bash
# tessal-cli spectrum on WAVE files written by sox: the Log spectrum lines of
# one frame (a 1 kHz tone of amplitude 0.5 on a bin reads its RMS level,
# -9.03 dB, with the rectangle, and 20 log10 of the Hanning window's mean
# 0.5 (1 - 1/256) = -6.05 dB less with Hanning), relative to
# FSD, the LTAS with Log meas. after it, and the exit codes of bad options.
# Usage: spectrum_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"
count() {  # count NAME N (lines of the last stdout)
  local n
  n=$(wc -l <"$work/out")
  [ "$n" -eq "$2" ] || { echo "FAIL $1: $n lines, wanted $2"; fails=$((fails + 1)); }
}

sox -n -r 16000 -e floating-point -b 32 "$work/tone.wav" synth 2 sine 1000 gain -6.0206
# 62.5 Hz with the rectangle: 256 samples, bins of 62.5 Hz, 1000 Hz is bin 16.
run rect 0 "$cli" spectrum "$work/tone.wav" --at 1 --window rectangular --bandwidth 62.5
line rect-heading 1 "f [Hz]${tab}Level [dB]${tab}"
line rect-first 2 "62.5${tab}$(sed -n 2p "$work/out" | cut -f2)${tab}"
line rect-bin16 17 "1000${tab}-9.03${tab}"
count rect 128   # heading and bins 1..127
run hanning 0 "$cli" spectrum "$work/tone.wav" --at 1 --window Hanning --bandwidth 125
line hanning-bin16 17 "1000${tab}-15.09${tab}"

# A 16-bit file has full scale 1 too; --relative reference with no
# reference set is refused by nobody, so check fsd on a float file with a
# channel of full scale 1: the same numbers.
run fsd 0 "$cli" spectrum "$work/tone.wav" --at 1 --window rectangular --bandwidth 62.5 --relative fsd
line fsd-bin16 17 "1000${tab}-9.03${tab}"

# LTAS of the tone with bands: Log spectrum, then Log meas. The band
# 500-1500 Hz holds bins 8..24, one of them the tone: -9.03 - 10 log10(17)
# = -21.34 dB. 0-9000 Hz lies beyond 8 kHz and is left out. The tone's
# other bins are zero, so its FCP cannot be formed and is left out too.
run ltas 0 "$cli" spectrum "$work/tone.wav" --ltas --from 0.5 --to 1.5 --window rectangular \
  --bandwidth 62.5 --fcp 2000 4000 1000 5000 --bands 500-1500,0-9000
line ltas-bin16 17 "1000${tab}-9.03${tab}"
count ltas 130
line ltas-meas-heading 129 "500-1500 Hz [dB]${tab}Channel${tab}From [s]${tab}To [s]${tab}File name"
line ltas-meas-line 130 "-21.34${tab}0${tab}0.500${tab}1.500${tab}tone.wav"

# Pink noise: the FCP is formed, its frequency inside the FCP range.
sox -R -n -r 16000 -e floating-point -b 32 "$work/pink.wav" synth 5 pinknoise gain -20
run fcp 0 "$cli" spectrum "$work/pink.wav" --ltas --fcp 2000 4000 1000 5000
line fcp-heading 1 "f [Hz]${tab}Level [dB]${tab}"
n=$(wc -l <"$work/out")
line fcp-meas-heading $((n - 1)) "FCP [dB]${tab}FCP f [Hz]${tab}Slope [dB/oct]${tab}Channel${tab}From [s]${tab}To [s]${tab}File name"
fcpf=$(tail -1 "$work/out" | cut -f2)
slope=$(tail -1 "$work/out" | cut -f3)
awk -v f="$fcpf" -v s="$slope" 'BEGIN { exit !(f >= 2000 && f <= 4000 && s < -1.5 && s > -4.5) }' ||
  { echo "FAIL fcp: f $fcpf slope $slope"; fails=$((fails + 1)); }

run missing-file 1 "$cli" spectrum "$work/nothing.wav"
run missing-channel 1 "$cli" spectrum "$work/tone.wav" --channel 3
run bad-window 2 "$cli" spectrum "$work/tone.wav" --window Kaiser
run bad-bandwidth 2 "$cli" spectrum "$work/tone.wav" --bandwidth 0
run bad-relative 2 "$cli" spectrum "$work/tone.wav" --relative dB
run fcp-without-ltas 2 "$cli" spectrum "$work/tone.wav" --fcp 2000 4000 1000 5000
run fcp-short 2 "$cli" spectrum "$work/tone.wav" --ltas --fcp 2000 4000
run bad-bands 2 "$cli" spectrum "$work/tone.wav" --ltas --bands 100
run at-and-ltas 2 "$cli" spectrum "$work/tone.wav" --ltas --at 1

[ "$fails" -eq 0 ] && echo "spectrum tests passed"
exit "$fails"

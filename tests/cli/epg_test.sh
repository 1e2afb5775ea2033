#!/usr/bin/env bash
# tessal-cli epg on a WAVE file from sox with an ".epg" file beside it made
# here byte by byte: frame 0 holds only the two sync marks, frame 1 rows 0
# to 2 in full, frame 2 nothing. The indices are the ones counted by hand
# (sync alone: "Sync" 1, every COG 0, "Frontmost contact" 0; rows 0..2:
# "Back 3 rows" 1, "Front 3 rows" 0, COG 1.5, "Frontmost contact" 3), the
# average palate over frames 0..2 is a third in rows 0..2 and at the sync
# marks with its COG at row 1.5 (the marks are no electrodes), and bad
# requests give the documented exit codes.
# Usage: epg_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"

sox -n -r 8000 -b 16 "$work/p.wav" synth 0.05 sine 200
printf '\0\0\0\0\0\0\0\201\377\377\377\0\0\0\0\0\0\0\0\0\0\0\0\0' >"$work/p.epg"
sox -n -r 8000 -b 16 "$work/plain.wav" synth 0.05 sine 200

run indices 0 "$cli" epg "$work/p.wav" --methods "Sync,0,front 3 rows,8,9,1"
line title 1 "0: p.wav Ch 0 - EPG frame 0 - 2 of 2"
line palate-heading 2 "Row${tab}Col 0${tab}Col 1${tab}Col 2${tab}Col 3${tab}Col 4${tab}Col 5${tab}Col 6${tab}Col 7"
line row7 3 "7${tab}0.333333${tab}0${tab}0${tab}0${tab}0${tab}0${tab}0${tab}0.333333"
line row3 7 "3${tab}0${tab}0${tab}0${tab}0${tab}0${tab}0${tab}0${tab}0"
line row0 10 "0${tab}0.333333${tab}0.333333${tab}0.333333${tab}0.333333${tab}0.333333${tab}0.333333${tab}0.333333${tab}0.333333"
line cog 11 "COG row 1.5, column 4"
line index-heading 13 "Frame${tab}Time [s]${tab}Sync${tab}Center of gravity (COG)${tab}Front 3 rows${tab}Back 3 rows${tab}Frontmost contact${tab}Anterior COG"
line sync-only 14 "0${tab}0${tab}1${tab}0${tab}0${tab}0${tab}0${tab}0"
line back-rows 15 "1${tab}0.01${tab}0${tab}1.5${tab}0${tab}1${tab}3${tab}0"
line empty 16 "2${tab}0.02${tab}0${tab}0${tab}0${tab}0${tab}0${tab}0"

# One frame; a selection past the last frame reads the last one.
run span 0 "$cli" epg "$work/p.wav" --from 0.01 --to 0.01 --methods 8
line span-title 1 "0: p.wav Ch 0 - EPG frame 1 - 1 of 2"
line span-row 14 "1${tab}0.01${tab}1"
line span-cog 11 "COG row 1.5, column 4"
run past 0 "$cli" epg "$work/p.wav" --from 5 --to 6 --methods 8
line past-title 1 "0: p.wav Ch 0 - EPG frame 2 - 2 of 2"

line past-cog 11 "No contact"

# Rows 5 to 7 in full, sync marks too: the COG is that of the 22 electrodes,
# (8 * 5.5 + 8 * 6.5 + 6 * 7.5) / 22, as the frame's COG index.
sox -n -r 8000 -b 16 "$work/front.wav" synth 0.01 sine 200
printf '\0\0\0\0\0\377\377\377' >"$work/front.epg"
run front 0 "$cli" epg "$work/front.wav" --methods 0
line front-cog 11 "COG row 6.40909, column 4"
line front-index 14 "0${tab}0${tab}6.40909"

run no-epg 1 "$cli" epg "$work/plain.wav"
grep -q "channel 0 has no EPG data" "$work/err" || { echo "FAIL no-epg message"; fails=$((fails + 1)); }
run no-channel 1 "$cli" epg "$work/p.wav" --channel 3
run bad-method 2 "$cli" epg "$work/p.wav" --methods "0,Tongue tip"
grep -q 'no contact index "Tongue tip"' "$work/err" || { echo "FAIL bad-method message"; fails=$((fails + 1)); }
run bad-time 2 "$cli" epg "$work/p.wav" --from x
run missing 1 "$cli" epg "$work/none.wav"

[ "$fails" -eq 0 ] && echo "epg: all passed"
exit $((fails > 0))

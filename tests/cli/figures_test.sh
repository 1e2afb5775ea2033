#!/usr/bin/env bash
# tessal-cli spectrum, histogram, correlation and correlogram with --figure on a
# speech-like WAVE file made by sox (a gliding 120 Hz sawtooth, low-passed,
# with a slow tremolo): each command writes its figure in PNG, SVG and PDF;
# the PNG is a PNG of the size --size and --dpi give (read from its header
# by Python), the SVG keeps the title (file, channel, span) and the tick
# labels as text, the PDF renders with pdftoppm (when installed) at the PNG's
# size; the text output is the same with and without --figure; a bad
# --size or --dpi, or either without --figure, is refused with exit 2 and
# nothing written. The spectrum draws its LPC envelope on request and the
# histogram lists the window's statistics box.
# Usage: figures_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run"
mkdir -p -m 700 "$work/run"
command -v sox >/dev/null || exit 77
command -v python3 >/dev/null || exit 77
check() {  # check NAME RESULT (ok or the reason)
  if [ "$2" != ok ]; then echo "FAIL $1: $2"; fails=$((fails + 1)); fi
}
png_size() {  # png_size FILE: "W H" from the IHDR chunk, or the reason
  python3 - "$1" <<'PY'
import struct, sys
d = open(sys.argv[1], "rb").read()
if d[:8] != b"\x89PNG\r\n\x1a\n" or d[12:16] != b"IHDR":
    print("no PNG header")
else:
    print(*struct.unpack(">II", d[16:24]))
PY
}

sox -n -r 16000 -b 16 "$work/speech.wav" synth 1.5 sawtooth 110-150 lowpass 3000 tremolo 4 60 gain -6

figures() {  # figures NAME TITLE-PART COMMAND-ARGS...: the three formats and their checks
  local name=$1 title=$2; shift 2
  run "$name-text" 0 "$cli" "$@"
  cp "$work/out" "$work/$name.plain"
  for ext in png svg pdf; do
    run "$name-$ext" 0 "$cli" "$@" --figure "$work/$name.$ext" --size 640x400 --dpi 144
    check "$name-$ext-text" "$(cmp -s "$work/out" "$work/$name.plain" && echo ok || echo "the text output changed")"
  done
  check "$name-png-size" "$( [ "$(png_size "$work/$name.png")" = "960 600" ] && echo ok || png_size "$work/$name.png")"
  check "$name-svg-title" "$(tr '\n' ' ' < "$work/$name.svg" | grep -q "<text[^>]*>[^<]*$title" && echo ok || echo "no title text with '$title'")"
  check "$name-svg-ticks" "$( [ "$(grep -c '<text' "$work/$name.svg")" -ge 8 ] && echo ok || echo "too few texts")"
  check "$name-pdf" "$(head -c 5 "$work/$name.pdf" | grep -q '%PDF-' && echo ok || echo "no PDF header")"
  if command -v pdftoppm >/dev/null; then
    if pdftoppm -png -r 144 -singlefile "$work/$name.pdf" "$work/$name-pdf" 2>"$work/err"; then
      local got
      got=$(png_size "$work/$name-pdf.png")
      check "$name-pdf-render" "$(python3 -c 'import sys; w, h = map(int, sys.argv[1:3]); print("ok" if abs(w - 960) <= 1 and abs(h - 600) <= 1 else f"{w} x {h}")' $got)"
    else
      check "$name-pdf-render" "pdftoppm failed: $(cat "$work/err")"
    fi
  fi
}
figures spectrum 'speech.wav - channel 0 - 0.490-0.510 s' spectrum "$work/speech.wav" --at 0.5 --bandwidth 100 --window Hanning
figures ltas 'speech.wav - channel 0 - 0.200-1.200 s' spectrum "$work/speech.wav" --ltas --from 0.2 --to 1.2
figures histogram 'speech.wav - channel 0 - 0.000-1.500 s' histogram "$work/speech.wav" --bins 200
figures correlation 'speech.wav - channel 0 - 0.500-0.550 s' correlation "$work/speech.wav" --at 0.5 --lags 20
# The correlogram with a trace of 90..200 Hz over the file (the trace file
# as the window saves it).
{ printf '[Common]\nVersion=1\nnPoints=2\nSMPFile=speech.wav\nChanno=0\n'
  printf '[Point0]\nTime=0.1\nCenter=145\nMax=200\nMin=90\nPointkind=1\nCut=0\n'
  printf '[Point1]\nTime=1.4\nCenter=145\nMax=200\nMin=90\nPointkind=1\nCut=0\n'; } >"$work/glide.ctr"
figures correlogram 'speech.wav - channel 0 - 0.000-1.500 s' correlogram "$work/speech.wav" --trace "$work/glide.ctr" \
  -o "$work/f0.tessal" --yes

# --lpc-envelope draws the LPC envelope over the spectrum: one polyline more
# than the same figure without it; without --figure it is refused.
run envelope 0 "$cli" spectrum "$work/speech.wav" --at 0.5 --bandwidth 100 --window Hanning \
  --figure "$work/envelope.svg" --size 640x400 --dpi 144 --lpc-envelope
polylines() { tr '\n' ' ' < "$1" | grep -o '<polyline[^>]*>' | grep -c . ; }
check envelope-curve "$( [ "$(polylines "$work/envelope.svg")" -eq $(( $(polylines "$work/spectrum.svg") + 1 )) ] \
  && echo ok || echo "$(polylines "$work/envelope.svg") polylines against $(polylines "$work/spectrum.svg")")"
run envelope-alone 2 "$cli" spectrum "$work/speech.wav" --at 0.5 --lpc-envelope
check envelope-alone-message "$(grep -q -- "--lpc-envelope goes with --figure" "$work/err" && echo ok || echo "stderr: $(head -1 "$work/err")")"

# The histogram's figure lists the window's statistics (percentiles as
# --percentiles asks) with the values --stats prints.
run histogram-stats 0 "$cli" histogram "$work/speech.wav" --bins 200 --percentiles 10,90 --stats
run histogram-box 0 "$cli" histogram "$work/speech.wav" --bins 200 --percentiles 10,90 --figure "$work/hbox.svg"
svg_texts() { tr '\n' ' ' < "$1" | grep -o '<text[^>]*>[^<]*</text>' | sed 's/<[^>]*>//g; s/^ *//; s/ *$//'; }
for want in "Bin width=" "Kernel width= -" "Avg=" "Mode=" "Median=" "p10=" "p90=" ; do
  check "histogram-box-$want" "$(svg_texts "$work/hbox.svg" | grep -q -- "^$want" && echo ok || echo "no text $want")"
done
check histogram-box-no-p25 "$(svg_texts "$work/hbox.svg" | grep -q '^p25=' && echo "p25 listed" || echo ok)"

# The default size: 800 x 500 figure pixels at 96 dpi.
run default-size 0 "$cli" histogram "$work/speech.wav" --bins 50 --figure "$work/default.png"
check default-size "$( [ "$(png_size "$work/default.png")" = "800 500" ] && echo ok || png_size "$work/default.png")"

# Refused before anything is written: exit 2 with a clear message.
refused() {  # refused NAME MESSAGE-PART OPTIONS...
  local name=$1 msg=$2; shift 2
  rm -f "$work/bad.png"
  run "$name" 2 "$cli" correlation "$work/speech.wav" --at 0.5 "$@"
  check "$name-message" "$(grep -q -- "$msg" "$work/err" && echo ok || echo "stderr: $(head -1 "$work/err")")"
  check "$name-nothing" "$( [ ! -e "$work/bad.png" ] && [ ! -s "$work/out" ] && echo ok || echo "something was written")"
}
refused size-small "--size takes WIDTHxHEIGHT" --figure "$work/bad.png" --size 10x10
refused size-word "--size takes WIDTHxHEIGHT" --figure "$work/bad.png" --size big
refused size-half "--size takes WIDTHxHEIGHT" --figure "$work/bad.png" --size 800x
refused size-fraction "--size takes WIDTHxHEIGHT" --figure "$work/bad.png" --size 800.5x400
refused dpi-low "--dpi takes 36 to 1200" --figure "$work/bad.png" --dpi 5
refused dpi-word "--dpi takes 36 to 1200" --figure "$work/bad.png" --dpi high
refused too-many-pixels "400 million pixels" --figure "$work/bad.png" --size 20000x20000 --dpi 1200
refused size-alone "--size and --dpi go with --figure" --size 800x500
refused bad-extension "--figure takes a .png, .svg or .pdf file" --figure "$work/bad.bmp"

if [ "$fails" -ne 0 ]; then echo "$fails failed"; exit 1; fi
echo "figures: all passed"

#!/usr/bin/env bash
# tessal-cli spectrogram and correlation on WAVE files written by sox: a
# 1 kHz tone of RMS level -20 dB reads -20 dB in the level matrix (rectangle,
# tone on a bin); the matrix holds the levels the picture's pixels show (a
# 2 kHz tone one octave up reads -20 + tilt, the 0 Hz row and the rows from
# fs/2 up the bottom of the level range, as the picture leaves them); the
# picture is a PNG that Python's zlib decodes, with the tone's row at the
# grey its level gives and silence white; the correlation
# of a 100 Hz sine peaks at 10 ms with r = 1; the figure in PNG, SVG and
# PDF (texts kept as text, the strip its one image, the PDF rendered by
# pdftoppm when installed, a failed write leaving the old file, --bare the
# strip writer's bytes); and the exit codes of bad options, missing
# channels and unwritable outputs.
# Usage: spectrogram_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"
check() {  # check NAME CONDITION-TEXT (evaluated by awk/python, prints ok)
  if [ "$2" != ok ]; then echo "FAIL $1: $2"; fails=$((fails + 1)); fi
}

# RMS -20 dB: amplitude 0.1 sqrt(2), i.e. a gain of -16.9897 dB.
sox -n -r 16000 -e floating-point -b 32 "$work/tone.wav" synth 2 sine 1000 gain -16.9897
# Rows 0, 1000, ... 8000 Hz (9 rows); 62.5 Hz rectangle: 256 samples, 1 kHz on bin 16.
run matrix 0 "$cli" spectrogram "$work/tone.wav" --from 0.5 --to 1.5 --width 11 --height 9 \
  --fmax 8000 --window rectangular --bandwidth 62.5 --matrix "$work/m.tsv"
check matrix-heading "$(head -1 "$work/m.tsv" | grep -qx "t \[s\]${tab}f \[Hz\]${tab}Level \[dB\]" && echo ok || head -1 "$work/m.tsv")"
check matrix-lines "$( [ "$(wc -l <"$work/m.tsv")" -eq 100 ] && echo ok || wc -l <"$work/m.tsv")"
check tone-level "$(awk -F'\t' 'NR > 1 && $2 == 1000 { n++; if ($3 < -20.2 || $3 > -19.8) bad = bad " " $1 ":" $3 }
  END { print (n == 11 && bad == "") ? "ok" : n " rows, off:" bad }' "$work/m.tsv")"
check nyquist "$(awk -F'\t' 'NR > 1 && $2 == 8000 && $3 != -100 { bad = bad " " $3 } END { print bad == "" ? "ok" : bad }' "$work/m.tsv")"
check dc-row "$(awk -F'\t' 'NR > 1 && $2 == 0 { n++; if ($3 != -100) bad = bad " " $3 } END { print (n == 11 && bad == "") ? "ok" : n " rows:" bad }' "$work/m.tsv")"

# The tilt and the range act on the matrix as on the picture: a 2 kHz tone
# of RMS -20 dB reads -20 + 6 dB at 6 dB/oct, -20 dB at 0 dB/oct, and is cut
# at the top of a range -60..-30 (the 0 Hz row at its bottom).
sox -n -r 16000 -e floating-point -b 32 "$work/tone2k.wav" synth 2 sine 2000 gain -16.9897
tilted() {  # tilted NAME EXPECTED OPTIONS...: the 2 kHz row of every column
  local name=$1 want=$2; shift 2
  run "$name" 0 "$cli" spectrogram "$work/tone2k.wav" --from 0.5 --to 1.5 --width 11 --height 9 \
    --fmax 8000 --window rectangular --bandwidth 62.5 "$@" --matrix "$work/$name.tsv"
  check "$name" "$(awk -F'\t' -v want="$want" 'NR > 1 && $2 == 2000 { n++; d = $3 - want; if (d < -0.2 || d > 0.2) bad = bad " " $3 }
    NR > 1 && $2 == 0 && $3 != lo0 { zero = zero " " $3 }
    END { print (n == 11 && bad == "" && zero == "") ? "ok" : n " rows, off:" bad " dc:" zero }' lo0="${LO0:--100}" "$work/$name.tsv")"
}
tilted tilt6 -14 --tilt 6
tilted tilt0 -20 --tilt 0
LO0=-60 tilted range -30 --tilt 6 --range -60,-30
run bad-range 2 "$cli" spectrogram "$work/tone2k.wav" --range 1,-100 --matrix "$work/x.tsv"

# The picture: grey scale, -100..1 dB, tilt 0 at 1 kHz: v = 80/101, grey
# round((1 - v) 255) = 53 on the tone's row (row 7 from the top), silence
# white on row 1 (7000 Hz, tilted up by 6 x log2(7) dB but still far down).
run png 0 "$cli" spectrogram "$work/tone.wav" --from 0.5 --to 1.5 --width 11 --height 9 \
  --fmax 8000 --window rectangular --bandwidth 62.5 --colour grey --bare -o "$work/s.png"
if command -v python3 >/dev/null; then
  check png-pixels "$(python3 - "$work/s.png" <<'PY'
import struct, sys, zlib
d = open(sys.argv[1], 'rb').read()
assert d[:8] == b'\x89PNG\r\n\x1a\n'
pos, idat, w, h = 8, b'', 0, 0
while pos < len(d):
    n, = struct.unpack('>I', d[pos:pos + 4]); t = d[pos + 4:pos + 8]; body = d[pos + 8:pos + 8 + n]
    if zlib.crc32(t + body) != struct.unpack('>I', d[pos + 8 + n:pos + 12 + n])[0]: print('bad crc'); sys.exit()
    if t == b'IHDR': w, h = struct.unpack('>II', body[:8])
    if t == b'IDAT': idat += body
    pos += 12 + n
raw = zlib.decompress(idat)
row = lambda y: raw[y * (1 + 3 * w) + 1:(y + 1) * (1 + 3 * w)]
tone, top = row(7), row(1)
if (w, h) != (11, 9): print('size', w, h)
elif any(abs(v - 53) > 1 for v in tone): print('tone row', list(tone[:6]))
elif any(v != 255 for v in top): print('silent row', list(top[:6]))
else: print('ok')
PY
)"
  # Every pixel of the tilted 2 kHz picture is the grey of its matrix level.
  run png-tilted 0 "$cli" spectrogram "$work/tone2k.wav" --from 0.5 --to 1.5 --width 11 --height 9 \
    --fmax 8000 --window rectangular --bandwidth 62.5 --tilt 6 --colour grey --bare -o "$work/t.png"
  check png-matrix "$(python3 - "$work/t.png" "$work/tilt6.tsv" <<'PY'
import struct, sys, zlib
d = open(sys.argv[1], 'rb').read()
pos, idat, w, h = 8, b'', 0, 0
while pos < len(d):
    n, = struct.unpack('>I', d[pos:pos + 4]); t = d[pos + 4:pos + 8]; body = d[pos + 8:pos + 8 + n]
    if t == b'IHDR': w, h = struct.unpack('>II', body[:8])
    if t == b'IDAT': idat += body
    pos += 12 + n
raw = zlib.decompress(idat)
bad = []
for i, line in enumerate(open(sys.argv[2]).read().splitlines()[1:]):
    x, y = i // h, i % h
    level = float(line.split('\t')[2])
    want = round((1 - (level + 100) / 101) * 255)
    got = raw[(h - 1 - y) * (1 + 3 * w) + 1 + 3 * x]
    if abs(got - want) > 1: bad.append((x, y, level, got, want))
print('ok' if not bad else bad[:4])
PY
)"
fi
run bad-colour 2 "$cli" spectrogram "$work/tone.wav" --colour purple -o "$work/x.png"
run no-output 2 "$cli" spectrogram "$work/tone.wav"
run no-channel 1 "$cli" spectrogram "$work/tone.wav" --channel 3 -o "$work/x.png"
run unwritable 1 "$cli" spectrogram "$work/tone.wav" -o "$work/nodir/x.png"
[ -e "$work/x.png" ] && { echo "FAIL: a refused command wrote its output"; fails=$((fails + 1)); }

# The figure: drawing starts Qt (offscreen), which must not see the user's
# own settings or caches.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache" \
  XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
for ext in png svg pdf; do
  run "figure-$ext" 0 "$cli" spectrogram "$work/tone.wav" --fmax 8000 --width 300 --height 120 \
    --colour grey -o "$work/fig.$ext"
done
# The SVG keeps its texts as text: every tick label of both axes and the
# colour scale, the axis texts with their units; the strip is its one image.
if command -v python3 >/dev/null; then
  check svg-texts "$(python3 - "$work/fig.svg" <<'PY'
import re, sys
s = open(sys.argv[1]).read()
texts = [t.strip() for t in re.findall(r'<text[^>]*>(.*?)</text>', s, re.S)]
want = ['Time [s]', 'Frequency [Hz]', 'Level [dB]', '0', '2000', '8000', '-100']
missing = [w for w in want if w not in texts]
images = s.count('<image')
if missing: print('missing', missing, 'in', texts)
elif images != 1: print(images, 'images')
elif 'tone.wav - channel 0 - ' not in s: print('no title')
else: print('ok')
PY
)"
fi
check pdf-header "$(head -c 5 "$work/fig.pdf" | grep -q '^%PDF-' && echo ok || head -c 8 "$work/fig.pdf")"
if command -v pdftoppm >/dev/null; then
  # 96 dpi: one page pixel per figure pixel, the PNG figure's size.
  pdftoppm -png -r 96 "$work/fig.pdf" "$work/figpdf" 2>"$work/err" || { echo "FAIL pdftoppm"; cat "$work/err"; fails=$((fails + 1)); }
  if command -v python3 >/dev/null; then
    check pdf-page "$(python3 - "$work/figpdf-1.png" "$work/fig.png" <<'PY'
import struct, sys
size = lambda f: struct.unpack('>II', open(f, 'rb').read()[16:24])
a, b = size(sys.argv[1]), size(sys.argv[2])
print('ok' if abs(a[0] - b[0]) <= 1 and abs(a[1] - b[1]) <= 1 else f'pdf page {a}, png {b}')
PY
)"
  fi
else
  echo "pdftoppm not installed: the PDF is not rendered"
fi
# --dpi 192: a PNG of twice as many pixels each way.
run figure-dpi 0 "$cli" spectrogram "$work/tone.wav" --fmax 8000 --width 300 --height 120 --dpi 192 \
  -o "$work/fig2.png"
if command -v python3 >/dev/null; then
  check figure-dpi-size "$(python3 - "$work/fig2.png" "$work/fig.png" <<'PY'
import struct, sys
size = lambda f: struct.unpack('>II', open(f, 'rb').read()[16:24])
a, b = size(sys.argv[1]), size(sys.argv[2])
print('ok' if abs(a[0] - 2 * b[0]) <= 1 and abs(a[1] - 2 * b[1]) <= 1 else f'{a} vs {b}')
PY
)"
fi
run figure-bad-ext 2 "$cli" spectrogram "$work/tone.wav" -o "$work/fig.bmp"
run figure-bare-svg 2 "$cli" spectrogram "$work/tone.wav" --bare -o "$work/fig3.svg"
run figure-bad-dpi 2 "$cli" spectrogram "$work/tone.wav" --dpi 5 -o "$work/fig3.png"
[ -e "$work/fig.bmp" ] || [ -e "$work/fig3.svg" ] || [ -e "$work/fig3.png" ] &&
  { echo "FAIL: a refused figure was written"; fails=$((fails + 1)); }
# A write that fails half way (a 4 KB file-size limit) leaves the old file.
trap '' XFSZ
for ext in png svg pdf; do
  echo "old $ext" >"$work/old.$ext"
  (ulimit -f 4; "$cli" spectrogram "$work/tone.wav" --fmax 8000 -o "$work/old.$ext" >"$work/out" 2>"$work/err")
  rc=$?
  check "full-$ext" "$( [ $rc -eq 1 ] && [ "$(cat "$work/old.$ext")" = "old $ext" ] && echo ok || echo "exit $rc, file: $(head -c 20 "$work/old.$ext")")"
done
check full-leftovers "$(ls "$work" | grep -q 'partial\|_old_' && ls "$work" || echo ok)"
# --bare is the strip writer's PNG, byte for byte: stored deflate blocks of
# at most 65535 bytes over unfiltered RGB rows, rebuilt here from its pixels.
if command -v python3 >/dev/null; then
  check bare-bytes "$(python3 - "$work/s.png" <<'PY'
import struct, sys, zlib
d = open(sys.argv[1], 'rb').read()
w, h = struct.unpack('>II', d[16:24])
pos, idat = 8, b''
while pos < len(d):
    n, = struct.unpack('>I', d[pos:pos + 4]); t = d[pos + 4:pos + 8]
    if t == b'IDAT': idat += d[pos + 8:pos + 8 + n]
    pos += 12 + n
raw = zlib.decompress(idat)
z = b'\x78\x01'
for i in range(0, len(raw), 65535):
    blk = raw[i:i + 65535]
    z += bytes([1 if i + 65535 >= len(raw) else 0]) + struct.pack('<HH', len(blk), 0xFFFF ^ len(blk)) + blk
z += struct.pack('>I', zlib.adler32(raw))
chunk = lambda t, b: struct.pack('>I', len(b)) + t + b + struct.pack('>I', zlib.crc32(t + b))
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)) + chunk(b'IDAT', z) + chunk(b'IEND', b'')
print('ok' if png == d else f'differs: {len(png)} vs {len(d)} bytes')
PY
)"
fi

# Correlation of a 100 Hz sine at 8 kHz: lag 80 samples = 10 ms, r = 1.
sox -n -r 8000 -e floating-point -b 32 "$work/s100.wav" synth 1 sine 100
run corr 0 "$cli" correlation "$work/s100.wav" --at 0.5
check corr-heading "$(head -1 "$work/out" | grep -qx "Lag \[ms\]${tab}r" && echo ok || head -1 "$work/out")"
check corr-lines "$( [ "$(wc -l <"$work/out")" -eq 321 ] && echo ok || wc -l <"$work/out")"
check corr-peak "$(awk -F'\t' 'NR > 1 && $1 >= 2 && $2 > best { best = $2; at = $1 }
  END { print (at == 10 && best > 1 - 1e-6) ? "ok" : "peak " best " at " at }' "$work/out")"
run corr-no-at 2 "$cli" correlation "$work/s100.wav"
run corr-bad-window 2 "$cli" correlation "$work/s100.wav" --at 0.5 --window -3

[ "$fails" -eq 0 ] && echo "all spectrogram and correlation checks passed"
exit $((fails > 0))

#!/usr/bin/env bash
# tessal-cli refuses what it cannot do right instead of exiting 0: output
# that never reached standard output, a native file whose rate no WAVE
# header holds, a process term that is no number, a delete of a channel
# that is not there, an inverse filter whose zero would make the flow grow
# without bound, and journals whose replay gives a channel no file can
# carry or no channel at all, and FIFOs or devices given as files to
# read. Each refusal writes no output file.
# Usage: badinput_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"
command -v sox >/dev/null || exit 77
command -v python3 >/dev/null || exit 77
nofile() {  # nofile NAME PATH
  [ ! -e "$2" ] || { echo "FAIL $1: $2 was written"; fails=$((fails + 1)); }
}
said() {  # said NAME PATTERN (in the last stderr)
  grep -qE -- "$2" "$work/err" || { echo "FAIL $1: no '$2' in:"; cat "$work/err"; fails=$((fails + 1)); }
}

sox -n -r 8000 -c 1 -b 16 "$work/a.wav" synth 0.2 sine 440 gain -6

# Standard output that cannot be written (a full disk) is a failure.
if [ -w /dev/full ]; then
  for c in "info $work/a.wav" "dump $work/a.wav" "spectrum $work/a.wav --at 0.1" "help" "help info"; do
    # shellcheck disable=SC2086
    $cli $c >/dev/full 2>"$work/err"
    rc=$?
    [ "$rc" -eq 1 ] || { echo "FAIL stdout $c: exit $rc, wanted 1"; fails=$((fails + 1)); }
    said "stdout $c" "cannot write to standard output"
  done
fi

# A native file at 2^32 + 8000 Hz: a WAVE header cannot hold that rate, and
# 8000 Hz would be a different signal.
run native 0 "$cli" convert "$work/a.wav" -o "$work/a.tessal"
python3 - "$work/a.tessal" "$work/huge.tessal" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
key = struct.pack('<i', 8) + b'SampFreq' + struct.pack('<ii', 12, 10)
at = data.index(key) + len(key)
v = 2**32 + 8000
e = v.bit_length() - 1
ext = (v << (63 - e)).to_bytes(8, 'little') + (e + 16383).to_bytes(2, 'little')
open(sys.argv[2], 'wb').write(data[:at] + ext + data[at + 10:])
PY
"$cli" info "$work/huge.tessal" >"$work/out" 2>"$work/err"
if grep -q "rate: 4294975296 Hz" "$work/out"; then
  run hugerate 1 "$cli" convert "$work/huge.tessal" -o "$work/huge.wav" --yes
  said hugerate "sampling rate"
fi
nofile hugerate "$work/huge.wav"

# Processes: a term that is no number, a delete of a missing channel.
printf '[Common]\nnsteps=3\n[Step_0]\nprocid=load\nnChans=1\nChanno0=0\n[Step_1]\nprocid=add\nnChans=1\nTerm0=NAN\n[Step_2]\nprocid=save\nnChans=1\nChanno0=-1\n' >"$work/nan.tessalproc"
run addnan 1 "$cli" run "$work/nan.tessalproc" "$work/a.wav" -o "$work/nan.tessal"
said addnan "Term0"
nofile addnan "$work/nan.tessal"
printf '[Common]\nnsteps=1\n[Step_0]\nprocid=delete\nnChans=1\nChanno0=7\n' >"$work/del.tessalproc"
run delmissing 1 "$cli" run "$work/del.tessalproc" "$work/a.wav" -o "$work/del.tessal"
said delmissing "Channel 7 does not exist"
nofile delmissing "$work/del.tessal"

# An inverse zero with a negative bandwidth is an unstable pole.
printf '[Common]\nVersion=1\nnFormants=2\n[Formant0]\nIsZero=0\nF0=900\nBandwidth=70\n[Formant1]\nIsZero=1\nF0=1500\nBandwidth=-700\n' >"$work/bad.for"
run badfor 1 "$cli" invfilter "$work/a.wav" --channel 0 --filter "$work/bad.for" --type flow -o "$work/inv.tessal"
said badfor "Bandwidth"
nofile badfor "$work/inv.tessal"

# Journals of a new document: one whose only channel has a coding no file
# knows (33), one whose only step deletes a channel that is not there.
journal() {  # journal OUT FORMAT OP
  python3 - "$@" <<'PY'
import struct, sys
out, fmt, op = sys.argv[1], int(sys.argv[2]), sys.argv[3]
def s(t): b = t.encode(); return struct.pack('<Q', len(b)) + b
def fnv(b):
    h = 1469598103934665603
    for c in b: h = ((h ^ c) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return h
def state():
    b = s('x') + s('') + s('x.wav') + bytes([1, 0])
    b += struct.pack('<5d', 1.0, 8000.0, 8000.0, 1.0, 0.0)
    b += struct.pack('<4q', -1, 16, 0, fmt) + struct.pack('<2Q', 0, 0xFFFFFF)
    b += struct.pack('<3Q', 0, 0, 0) + struct.pack('<d', 0.0) + s('') + s('') + s('')
    b += struct.pack('<8d', -1, 1, -2, 0, 0, 2, 0, 4) + bytes(4)
    return b
head = s('') + struct.pack('<QqQB', 0, 0, 0, 0)
step = b'S' + s('New channel')
if op == 'insert':
    step += b'I' + struct.pack('<q', 0) + state() + struct.pack('<Q', 4) + struct.pack('<4f', 0, .5, 0, -.5)
else:
    step += b'D' + struct.pack('<q', 3)
step += b'E' + bytes([1]) + struct.pack('<qqdd', 0, 1, 0, 0)
f = b'TESSALJ1'
for p in (head, step):
    f += struct.pack('<IQQ', 0x4A524543, len(p), fnv(p)) + p
open(out, 'wb').write(f)
PY
}
mkdir -p "$work/j"
journal "$work/j/good.tjournal" 0 insert
run goodjournal 0 "$cli" recover "$work/j/good.tjournal" -o "$work/good.tessal"
run goodreads 0 "$cli" info "$work/good.tessal"
journal "$work/j/f33.tjournal" 33 insert
run format33 1 "$cli" recover "$work/j/f33.tjournal" -o "$work/f33.tessal"
said format33 "format is 33"
nofile format33 "$work/f33.tessal"
journal "$work/j/none.tjournal" 0 delete
run nochannels 1 "$cli" recover "$work/j/none.tjournal" -o "$work/none.tessal"
said nochannels "nothing could be recovered"
nofile nochannels "$work/none.tessal"

# A FIFO or a device is no file to read: each reader says so instead of
# waiting for a writer or reading /dev/zero for ever. (A FIFO would block
# these commands; timeout turns that into a failure.)
mkfifo "$work/fifo.wav" "$work/fifo.TextGrid" "$work/fifo.tjournal"
run fifoinfo 1 timeout 20 "$cli" info "$work/fifo.wav"
said fifoinfo "is not a regular file"
run fifolabels 1 timeout 20 "$cli" labels "$work/a.wav" --import "$work/fifo.TextGrid" -o "$work/fl.tessal"
said fifolabels "is not a regular file"
nofile fifolabels "$work/fl.tessal"
run zerolabels 1 timeout 20 "$cli" labels "$work/a.wav" --import /dev/zero -o "$work/zl.tessal"
said zerolabels "/dev/zero is not a regular file"
nofile zerolabels "$work/zl.tessal"
run fiforecover 1 timeout 20 "$cli" recover "$work/fifo.tjournal" -o "$work/fr.tessal"
nofile fiforecover "$work/fr.tessal"

# A file that is not there, or no WAVE file: the message once, its caption
# being its first line, not printed again in front of it.
printf 'not a wave' >"$work/text.wav"
for name in missing notwave; do
  [ "$name" = missing ] && f="$work/none.wav" || f="$work/text.wav"
  run "$name" 1 "$cli" info "$f"
  said "$name" "^Could not open file$"
  ! grep -q "Could not open file: " "$work/err" || { echo "FAIL $name: caption twice"; cat "$work/err"; fails=$((fails + 1)); }
done
said notwave "text.wav is not a RIFF WAVE file"

[ "$fails" -eq 0 ] && echo "badinput: all passed"
exit $((fails > 0))

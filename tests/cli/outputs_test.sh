#!/usr/bin/env bash
# Where tessal-cli's outputs go and what a failed one leaves behind: a link
# keeps being a link and the file it points to gets the output; a FIFO is
# written into and stays a FIFO; "-" is standard output; a folder or a
# socket is refused untouched; an output that is one of the inputs is refused
# and the input stays byte for byte; on a full disk (a file-size limit here)
# an existing output stays as it was and a new one never appears, also from
# "run --each". As root, a private copy of /dev/full stays the device.
# Usage: outputs_test.sh PATH-TO-tessal-cli
set -u
. "$(dirname "$0")/harness.sh"
fail() { echo "FAIL $*"; fails=$((fails + 1)); }
command -v sox >/dev/null || exit 77
cd "$work" || exit 1

sox -n -r 8000 -c 1 -b 16 in.wav synth 1 sine 440 gain -6
cp in.wav keep.wav
printf '[Common]\nnsteps=1\n[Step_0]\nprocid=load\nnChans=1\nChanno0=0\n' >same.tessalproc

# Links: the target is replaced, the link stays.
echo old >real.tsv
ln -s real.tsv link.tsv
run link-matrix 0 "$cli" spectrogram in.wav --width 4 --height 3 --matrix link.tsv
[ -L link.tsv ] || fail "link-matrix: the link was replaced"
head -1 real.tsv | grep -q '^t \[s\]' || fail "link-matrix: the linked file holds no matrix"
ln -s sub/pic.png piclink.png
mkdir sub
run link-png 0 "$cli" spectrogram in.wav --width 4 --height 3 --bare -o piclink.png
[ -L piclink.png ] && [ -f sub/pic.png ] || fail "link-png: the link's target was not made"
ln -s real.txt textlink.txt
run link-export 0 "$cli" export in.wav -o textlink.txt
[ -L textlink.txt ] && [ "$(wc -l <real.txt)" -eq 8001 ] || fail "link-export"

# A FIFO is written into, with a link to it as well.
mkfifo pipe
ln -s pipe pipelink
timeout 20 cat pipe >fromfifo &
reader=$!
run fifo 0 "$cli" labels in.wav --textgrid pipelink
wait "$reader"
[ -p pipe ] && [ -L pipelink ] || fail "fifo: the FIFO or its link was replaced"
head -1 fromfifo | grep -q 'File type = "ooTextFile"' || fail "fifo: nothing came through"

# "-" is standard output, for each text output.
run stdout-export 0 "$cli" export in.wav -o - --from 0 --to 0.001
line stdout-export 1 "Time [s]${tab}in.wav Ch 0"$'\r'
[ "$(wc -l <"$work/out")" -eq 10 ] || fail "stdout-export: $(wc -l <"$work/out") lines"
run stdout-textgrid 0 "$cli" labels in.wav --textgrid -
line stdout-textgrid 1 'File type = "ooTextFile"'
run stdout-matrix 0 "$cli" spectrogram in.wav --width 4 --height 3 --matrix -
[ "$(wc -l <"$work/out")" -eq 13 ] || fail "stdout-matrix: $(wc -l <"$work/out") lines"
# What /dev/stdout is, as a private link (a fault must not replace the system's).
ln -s /proc/self/fd/1 mystdout
"$cli" export in.wav -o mystdout --from 0 --to 0.001 | grep -q "^0.001000" || fail "stdout link in a pipe"
[ -L mystdout ] || fail "the link to standard output was replaced"
"$cli" export in.wav -o mystdout --from 0 --to 0.001 >tofile.txt
[ "$(wc -l <tofile.txt)" -eq 10 ] || fail "stdout link to a file: $(wc -l <tofile.txt) lines"
[ "$(ls | grep -c _partial_)" -eq 0 ] || fail "partial files left: $(ls)"

# Refused, untouched: a folder and a socket.
mkdir folder
run folder 1 "$cli" export in.wav -o folder
[ -d folder ] && [ -z "$(ls folder)" ] || fail "folder: changed"
if command -v python3 >/dev/null; then
  python3 -c 'import socket,sys; s=socket.socket(socket.AF_UNIX); s.bind(sys.argv[1])' sock
  run socket 1 "$cli" labels in.wav --textgrid sock
  grep -q "is a socket, not a file to write" "$work/err" || fail "socket: message $(cat "$work/err")"
  [ -S sock ] || fail "socket: replaced"
fi

# An output that is an input is refused, under its own name or another.
ln -s in.wav alias.wav
ln in.wav hard.wav
run same-png 2 "$cli" spectrogram in.wav -o in.wav
run same-matrix 2 "$cli" spectrogram in.wav --matrix alias.wav
run same-textgrid 2 "$cli" labels in.wav --textgrid in.wav
grep -q "in.wav is an input; write the result to another file" "$work/err" || fail "same-textgrid: message $(cat "$work/err")"
run same-export 2 "$cli" export in.wav -o hard.wav
grep -q "hard.wav is the same file as in.wav, an input" "$work/err" || fail "same-export: message $(cat "$work/err")"
run same-convert 2 "$cli" convert in.wav -o alias.wav --format wav8i
run same-run 2 "$cli" run same.tessalproc in.wav -o in.wav
run same-each 1 "$cli" run same.tessalproc --each "$work/in.wav" --out-dir "$work"
grep -q "an input" "$work/out" || fail "same-each: $(cat "$work/out")"
cmp -s in.wav keep.wav || fail "an input was changed"
[ -L alias.wav ] || fail "the input's link was replaced"

# A full disk: RLIMIT_FSIZE makes writes beyond 4 KB fail (SIGXFSZ ignored,
# as the children inherit it).
trap '' XFSZ
echo old-picture >old.png
echo old-matrix >old.tsv
full() { (ulimit -f 4; "$@"); }
run full-png 1 full "$cli" spectrogram in.wav --width 200 --height 100 --bare -o old.png
[ "$(cat old.png)" = old-picture ] || fail "full-png: the old picture was harmed"
run full-matrix 1 full "$cli" spectrogram in.wav --width 200 --height 100 --matrix old.tsv
[ "$(cat old.tsv)" = old-matrix ] || fail "full-matrix: the old matrix was harmed"
run full-new 1 full "$cli" convert in.wav -o new.wav --yes
[ -e new.wav ] && fail "full-new: a truncated new.wav was left"
mkdir outdir
run full-each 1 full "$cli" run same.tessalproc --each "$work/in.wav" --out-dir "$work/outdir" -j 1 --yes
[ -z "$(ls outdir)" ] || fail "full-each: left $(ls outdir)"
[ "$(ls | grep -c -e _partial_ -e _old_)" -eq 0 ] || fail "partial files left: $(ls)"

# A character device, as root only: a private node of /dev/full.
if mknod fulldev c 1 7 2>/dev/null; then
  ln -s fulldev fulllink
  run device 1 "$cli" labels in.wav --textgrid fulllink
  grep -q "No space left on device" "$work/err" || fail "device: message $(cat "$work/err")"
  [ -c fulldev ] && [ -L fulllink ] || fail "device: replaced"
fi

[ "$fails" -eq 0 ] && echo "all output checks passed"
exit $((fails > 0))

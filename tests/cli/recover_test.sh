#!/usr/bin/env bash
# tessal-cli recover after a real crash: the GUI test program's child run
# opens a sox-made file in the main window, deletes 0.1..0.2 s, adds a
# label, reverses 0.5..0.6 s, records two new channels from the fake input
# device, zeroes and un-zeroes a stretch, and starts recording over channel
# 1; it is killed with SIGKILL while that recording runs, once its journal
# and the recording's spool are on disk. "recover --list" names the journal
# and the recording; "recover JOURNAL -o OUT" replays it onto the file and
# puts the recording back: channel 0 of OUT holds exactly the samples sox
# makes by cutting and reversing the same stretches, the others exactly the
# device's samples (sines the child computes the same way as awk here).
# A cut journal recovers what comes before the cut and says so; the spool
# alone gives the recording.
# Usage: recover_test.sh PATH-TO-tessal-cli PATH-TO-tessal_gui_tests
set -u
cli=$1
gui=$2
command -v sox >/dev/null || exit 77
work=$(mktemp -d)
child=
trap '[ -n "$child" ] && kill -9 "$child" 2>/dev/null; rm -rf "$work"' EXIT
fails=0
fail() { echo "FAIL $*"; fails=$((fails + 1)); }

sox -n -r 8000 -c 2 -b 16 "$work/take.wav" synth 1 sine 220 sine 330 gain -3
mkdir -p "$work/data"
TESSAL_CRASH_DATA="$work/data" TESSAL_CRASH_WAV="$work/take.wav" QT_QPA_PLATFORM=offscreen \
  "$gui" --gtest_also_run_disabled_tests \
  --gtest_filter=UndoCrashChild.DISABLED_EditThenWaitToBeKilled >"$work/child.out" 2>&1 &
child=$!
for _ in $(seq 600); do
  grep -q "journal ready" "$work/child.out" && break
  kill -0 "$child" 2>/dev/null || break
  sleep 0.1
done
grep -q "journal ready" "$work/child.out" || { cat "$work/child.out"; fail "child never got ready"; exit 1; }
kill -9 "$child"
wait "$child" 2>/dev/null
child=

export XDG_DATA_HOME="$work/data"
"$cli" recover --list >"$work/list" 2>&1 || fail "recover --list exit $?"
[ "$(wc -l <"$work/list")" -eq 1 ] || { cat "$work/list"; fail "one journal listed"; }
grep -q "take.wav.*6 changes.*recoverable.*a recording of 0.3 s on channel 1" "$work/list" ||
  { cat "$work/list"; fail "list line"; }
journal=$(cut -f1 "$work/list")

"$cli" recover "$journal" -o "$work/out.wav" --yes 2>"$work/err" || { cat "$work/err"; fail "recover exit"; }
grep -q "6 changes recovered" "$work/err" || { cat "$work/err"; fail "recover message"; }
grep -q "recovered a recording of 0.3 s on channel 1" "$work/err" || { cat "$work/err"; fail "recording message"; }

# The same edits by sox: samples 800..1599 go, then 4000..4800 (the
# selection's both ends) are reversed.
sox "$work/take.wav" "$work/a.wav" trim 0 800s
sox "$work/take.wav" "$work/b.wav" trim 1600s
sox "$work/a.wav" "$work/b.wav" "$work/cut.wav"
sox "$work/cut.wav" "$work/p1.wav" trim 0 4000s
sox "$work/cut.wav" "$work/p2.wav" trim 4000s 801s reverse
sox "$work/cut.wav" "$work/p3.wav" trim 4801s
sox "$work/p1.wav" "$work/p2.wav" "$work/p3.wav" "$work/expected.wav"
sox "$work/expected.wav" -t raw -e signed-integer -b 16 "$work/expected.raw" remix 1
sox "$work/out.wav" -t raw -e signed-integer -b 16 "$work/out.raw" remix 1
# Sample for sample the same: the file's 16-bit samples were never off
# their grid (cutting, reversing, zeroing and undoing only move them), so
# the save rounds them back exactly and dithers nothing.
[ "$(stat -c %s "$work/expected.raw")" -eq "$(stat -c %s "$work/out.raw")" ] || fail "length"
cmp -s "$work/expected.raw" "$work/out.raw" || {
  paste <(od -An -v -t d2 -w2 "$work/expected.raw") <(od -An -v -t d2 -w2 "$work/out.raw") |
    awk '$1 != $2 {n++; if (!f) f = NR} END {print n + 0 " samples differ, the first is value " f}'
  fail "recovered samples differ from sox's"
}
# The recordings: round(12000 sin(0.01 (seed + 1) (c + 1) i + seed)) for
# `frames` frames, then the zeros that fill the file's length.
device() { # seed nchans c frames
  awk -v seed="$1" -v n="$2" -v c="$3" -v frames="$4" 'BEGIN {
    for (i = 0; i < 7200; i++) {
      v = 0
      if (i < frames) { x = 12000 * sin(0.01 * (seed + 1) * (c + 1) * i + seed); v = x < 0 ? -int(-x + 0.5) : int(x + 0.5) }
      print v } }'
}
check_channel() { # file-channel seed nchans c frames what
  sox "$work/out.wav" -t raw -e signed-integer -b 16 "$work/ch.raw" remix "$1"
  diff -q <(od -An -v -t d2 -w2 "$work/ch.raw" | tr -d ' ') <(device "$2" "$3" "$4" "$5") >/dev/null ||
    fail "$6 differs from the device's samples"
}
check_channel 2 5 1 0 2048 "the running recording (channel 1)"
check_channel 3 4 2 0 1536 "the finished recording's left channel"
check_channel 4 4 2 1 1536 "the finished recording's right channel"

# A journal cut short: what came before the cut, and a word on the loss.
size=$(stat -c %s "$journal")
head -c $((size - 7)) "$journal" >"$work/cut.tjournal"
"$cli" recover "$work/cut.tjournal" -o "$work/part.wav" --yes 2>"$work/err" || fail "cut journal exit"
grep -q "5 changes recovered" "$work/err" || { cat "$work/err"; fail "cut journal count"; }
grep -q "damaged" "$work/err" || { cat "$work/err"; fail "cut journal says what was lost"; }

# The spool alone: the running recording as the one channel of a new file.
spool=$(ls "$work"/data/Tessal/journals/*.spool)
"$cli" recover "$spool" -o "$work/alone.wav" --yes 2>"$work/err" || { cat "$work/err"; fail "spool exit"; }
[ "$(soxi -c "$work/alone.wav")" = 1 ] || fail "the spool alone gives one channel"
sox "$work/alone.wav" -t raw -e signed-integer -b 16 "$work/alone.raw"
diff -q <(od -An -v -t d2 -w2 "$work/alone.raw" | tr -d ' ') <(device 5 1 0 2048 | head -n 2048) >/dev/null ||
  fail "the spool alone differs from the device's samples"

# The file changed since: not replayed, and this journal's labels cannot
# be told apart from its other changes (it has an undo).
cp -p "$work/take.wav" "$work/take.orig"
echo more >>"$work/take.wav"
"$cli" recover --list | grep -q "file changed" || fail "a changed file is listed as such"
"$cli" recover "$journal" -o "$work/y.wav" --yes >/dev/null 2>&1; [ $? -eq 1 ] || fail "changed file refused"
"$cli" recover "$journal" -o "$work/y.wav" --labels --yes 2>"$work/err"; [ $? -eq 1 ] ||
  fail "labels of a journal with an undo refused"
grep -q "cannot be told apart" "$work/err" || { cat "$work/err"; fail "labels refusal says why"; }
mv "$work/take.orig" "$work/take.wav"
"$cli" recover "$journal" -o "$work/y.wav" --labels --yes >/dev/null 2>&1; [ $? -eq 2 ] ||
  fail "--labels on an unchanged file is a usage error"

# Usage and unreadable journals.
"$cli" recover >/dev/null 2>&1; [ $? -eq 2 ] || fail "no arguments is a usage error"
echo junk >"$work/junk.tjournal"
"$cli" recover "$work/junk.tjournal" -o "$work/x.wav" >/dev/null 2>&1; [ $? -eq 1 ] || fail "junk journal exit 1"

[ "$fails" -eq 0 ] && echo "recover: all passed"
exit $((fails > 0))

#!/usr/bin/env bash
# tessal-cli run --each --shard K/N: the N shares of a list, each given the
# files in another order, together run every file exactly once; a bad
# --shard is a usage error that runs nothing.
# Usage: shard_test.sh PATH-TO-tessal-cli
set -u
source "$(dirname "$0")/harness.sh"
command -v sox >/dev/null || { echo "sox is not installed: skipped"; exit 77; }

mkdir "$work/in"
for i in 1 2 3 4 5 6 7; do sox -n -r 8000 -c 1 -b 16 "$work/in/f$i.wav" synth 0.05 sine $((200 * i)); done
printf '[Common]\nnsteps=2\n[Step_0]\nprocid=load\nnChans=1\nChanno0=0\n[Step_1]\nprocid=save\nnChans=1\nChanno0=-1\n' >"$work/copy.tessalproc"

# Three tasks of an array job, each handed the list in its own order.
orders=("ls $work/in/*.wav" "ls -r $work/in/*.wav" "ls -t $work/in/*.wav")
for k in 1 2 3; do
  mkdir "$work/out$k"
  # shellcheck disable=SC2086
  run shard$k 0 "$cli" run "$work/copy.tessalproc" --each $(${orders[$((k - 1))]}) --out-dir "$work/out$k" --shard $k/3 -j 2 --yes
done
all=$(cd "$work" && ls out1 out2 out3 | grep '\.wav$' | sort)
want=$(cd "$work/in" && ls | sort)
if [ "$all" != "$want" ]; then echo "FAIL shards: the shares hold"; echo "$all"; fails=$((fails + 1)); fi
# Shares of sizes 3, 2, 2: file i of the sorted list is in share i mod 3 + 1.
[ "$(ls "$work/out1")" = "$(printf 'f1.wav\nf4.wav\nf7.wav')" ] || { echo "FAIL shard1: $(ls "$work/out1")"; fails=$((fails + 1)); }

# More shares than files: the empty ones run nothing and succeed.
mkdir "$work/few"
run few 0 "$cli" run "$work/copy.tessalproc" --each "$work/in/f1.wav" --out-dir "$work/few" --shard 2/3
[ -z "$(ls "$work/few")" ] || { echo "FAIL few: wrote files"; fails=$((fails + 1)); }

for bad in 0/3 4/3 3 a/b 1/0 1/3x; do
  run "bad $bad" 2 "$cli" run "$work/copy.tessalproc" --each "$work/in/f1.wav" --out-dir "$work/few" --shard "$bad"
  grep -q -- "--shard takes K/N" "$work/err" || { echo "FAIL bad $bad: message"; cat "$work/err"; fails=$((fails + 1)); }
done
run "shard without each" 2 "$cli" run "$work/copy.tessalproc" "$work/in/f1.wav" -o "$work/x.wav" --shard 1/2
[ "$fails" -eq 0 ]

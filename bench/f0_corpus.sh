#!/usr/bin/env bash
# Times F0 extraction over a corpus against Praat: twenty 30 s files of
# espeak-ng speech at 48 kHz (sentences in several voices, joined by sox),
# analysed by `tessal-cli f0` (autocorrelation with path tracking, 50 to
# 400 Hz, 10 ms steps; one process per file) and by Praat's To Pitch (ac)
# with the same settings (one praat process per share of the files), each
# with the same number of processes running at once. Prints both times and
# Praat's time over ours (above 1: we are faster).
# Usage: bench/f0_corpus.sh PATH-TO-tessal-cli [PROCESSES (default 2)] [FOLDER]
# The corpus is made in FOLDER (a temporary folder by default) when it is
# not there yet.
set -eu
cli=$1
procs=${2:-2}
dir=${3:-}
for tool in espeak-ng sox praat; do
  command -v $tool >/dev/null || { echo "$tool is not installed"; exit 77; }
done
if [ -z "$dir" ]; then
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' EXIT
fi
home=$(mktemp -d)
export HOME=$home XDG_CONFIG_HOME=$home XDG_RUNTIME_DIR=$home
mkdir -p "$dir"
voices=(en en+f3 en-us+m3 de fr+f2 en+f4 es it+m2 nl en+f2)
lines=("The quick brown fox jumps over the lazy dog while seven wise owls watch from the old oak tree."
  "Would you really like another cup of tea before we leave for the station this evening?"
  "Measuring the fundamental frequency of a voice is harder than it seems at first."
  "Many voices, rising and falling, made the evening sound like music.")
for i in $(seq -w 1 20); do
  f=$dir/c$i.wav
  [ -s "$f" ] && continue
  v=${voices[$((10#$i % ${#voices[@]}))]}
  parts=()
  for k in 0 1 2 3 4 5 6 7 8 9 10 11; do
    espeak-ng -v "$v" -s $((120 + 5 * k)) -p $((30 + 3 * k + 10#$i)) -w "$dir/p$k.wav" "${lines[$((k % 4))]}"
    parts+=("$dir/p$k.wav")
  done
  sox "${parts[@]}" -r 48000 "$dir/long.wav"
  sox "$dir/long.wav" "$f" trim 0 30
  rm -f "$dir"/p*.wav "$dir/long.wav"
done
ls "$dir"/c*.wav >"$dir/list"

# Praat: one script per process, each over its share of the files.
for k in $(seq 0 $((procs - 1))); do
  {
    awk -v k="$k" -v p="$procs" '(NR - 1) % p == k' "$dir/list" | while read -r f; do
      printf 's = Read from file: "%s"\np = To Pitch (ac): 0.01, 50, 15, "no", 0.03, 0.45, 0.01, 0.35, 0.14, 400\nremoveObject: s, p\n' "$f"
    done
  } >"$dir/share$k.praat"
done
now() { date +%s.%N; }
t0=$(now)
for k in $(seq 0 $((procs - 1))); do praat --run "$dir/share$k.praat" & done
wait
t1=$(now)
xargs -P "$procs" -I{} sh -c '"$0" f0 "$1" >/dev/null' "$cli" {} <"$dir/list"
t2=$(now)
awk -v a="$t0" -v b="$t1" -v c="$t2" -v p="$procs" 'BEGIN {
  printf "20 files of 30 s at 48 kHz, %d processes\n", p
  printf "Praat To Pitch (ac):        %.2f s\n", b - a
  printf "tessal-cli f0 (algorithm 4): %.2f s\n", c - b
  printf "Praat / tessal-cli:         %.2f\n", (b - a) / (c - b) }'

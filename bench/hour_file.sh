#!/usr/bin/env bash
# Times `tessal-cli info` on a 1-hour, 8-channel, 48 kHz, 16-bit WAVE file
# (2.7 GB) beside `sox FILE -t f32 /dev/null` reading and converting the same
# file in the same run, page cache warm, and prints each time, the ratio and
# the peak memory of tessal-cli against the file's float samples.
#
#   bench/hour_file.sh [TESSAL_CLI] [RUNS]
#
# The file is made with sox under $TMPDIR (default /tmp) and deleted at the
# end. Timings on a shared machine are noisy: read the ratios, which compare
# runs made side by side.
set -euo pipefail
cli=${1:-build-bench/app/tessal-cli}
runs=${2:-3}
tmp=${TMPDIR:-/tmp}
file=$(mktemp "$tmp/tessal_hour_XXXXXX.wav")
trap 'rm -f "$file" "$file.time"' EXIT

echo "making $file (1 h, 8 channels, 48 kHz, 16 bits)..." >&2
sox -n -r 48000 -c 8 -b 16 -e signed-integer "$file" synth 3600 \
    sine 100 sine 200 sine 300 sine 400 sine 500 sine 600 whitenoise pinknoise vol 0.5
bytes=$(stat -c %s "$file")
frames=$(( (bytes - 44) / 16 ))
floatbytes=$(( frames * 8 * 4 ))

# Warm the page cache once.
cat "$file" >/dev/null

seconds() { # command... -> elapsed seconds (wall), peak RSS kB in $file.time
    /usr/bin/time -f "%e %M" -o "$file.time" "$@" >/dev/null 2>/dev/null
    cut -d' ' -f1 "$file.time"
}

printf "%-4s %10s %10s %8s %14s\n" run sox_s tessal_s ratio peak_mem_GB
for r in $(seq 1 "$runs"); do
    s=$(seconds sox "$file" -t f32 /dev/null)
    t=$(seconds "$cli" info "$file")
    kb=$(cut -d' ' -f2 "$file.time")
    awk -v r="$r" -v s="$s" -v t="$t" -v kb="$kb" -v fb="$floatbytes" 'BEGIN {
        printf "%-4s %10.2f %10.2f %8.2f %8.2f (%.2fx floats)\n", r, s, t, t / s, kb * 1024 / 1e9, kb * 1024 / fb }'
done
echo "float samples: $(awk -v fb="$floatbytes" 'BEGIN { printf "%.2f GB", fb / 1e9 }')"

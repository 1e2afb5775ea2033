#!/usr/bin/env bash
# Times `tessal-cli info` on a 1-hour, 8-channel, 48 kHz, 16-bit WAVE file
# (2.7 GB) beside `sox FILE -t f32 /dev/null` reading and converting the same
# file in the same run, page cache warm, and prints each time, the ratio and
# the peak memory of tessal-cli against the file's float samples.
#
#   RUNS=3 bench/hour_file.sh [TESSAL_CLI...]
#
# Several programs (say a build of main beside this one) are timed in turn
# within each run, after the same sox reading.
#
# The file is made with sox under $TMPDIR (default /tmp) and deleted at the
# end. Timings on a shared machine are noisy: read the ratios, which compare
# runs made side by side. touch_s is a first write to as much fresh memory
# as the samples need, the floor for any program that holds them all.
set -euo pipefail
clis=("$@")
[ ${#clis[@]} -gt 0 ] || clis=(build-bench/app/tessal-cli/tessal-cli)
runs=${RUNS:-3}
tmp=${TMPDIR:-/tmp}
file=$(mktemp "$tmp/tessal_hour_XXXXXX.wav")
trap 'rm -f "$file" "$file".time "$file".out*' EXIT
for cli in "${clis[@]}"; do
    [ -x "$cli" ] && [ ! -d "$cli" ] || { echo "not a program: $cli" >&2; exit 2; }
done

. "$(dirname "$0")/hour_file_make.sh"
make_hour_file "$file"
bytes=$(stat -c %s "$file")
frames=$(( (bytes - 44) / 16 ))
floatbytes=$(( frames * 8 * 4 ))

# What the memory alone costs: a first touch of as many bytes as the float
# samples, 2 MB aligned pages advised for huge pages (on a virtual machine
# whose host backs memory lazily this is most of what opening costs).
touch_memory() {
    python3 - "$floatbytes" <<'PY'
import mmap, sys, time
n = int(sys.argv[1])
t = time.time()
m = mmap.mmap(-1, n)
if hasattr(m, "madvise") and hasattr(mmap, "MADV_HUGEPAGE"):
    m.madvise(mmap.MADV_HUGEPAGE)
for i in range(0, n, 4096):
    m[i] = 1
print("%.2f" % (time.time() - t))
PY
}

# Warm the page cache once.
cat "$file" >/dev/null

seconds() { # command... -> elapsed seconds (wall); peak RSS kB in $file.time; output in $out
    /usr/bin/time -f "%e %M %x" -o "$file.time" "$@" >"$out" 2>/dev/null || true
    local rc
    rc=$(tail -n 1 "$file.time" | cut -d' ' -f3)
    [ "$rc" = 0 ] || { echo "failed ($rc): $*" >&2; exit 1; }
    tail -n 1 "$file.time" | cut -d' ' -f1
}

printf "%-4s %-40s %8s %8s %10s %8s %22s\n" run program sox_s touch_s tessal_s ratio peak_memory
for r in $(seq 1 "$runs"); do
    out=/dev/null
    s=$(seconds sox "$file" -t f32 /dev/null)
    m=$(touch_memory)
    i=0
    for cli in "${clis[@]}"; do
        out="$file.out$i"
        t=$(seconds "$cli" info "$file")
        kb=$(tail -n 1 "$file.time" | cut -d' ' -f2)
        i=$((i + 1))
        awk -v r="$r" -v c="$cli" -v s="$s" -v m="$m" -v t="$t" -v kb="$kb" -v fb="$floatbytes" 'BEGIN {
            printf "%-4s %-40s %8.2f %8.2f %10.2f %8.2f %8.2f GB (%.2fx floats)\n", r, c, s, m, t, t / s, kb * 1024 / 1e9, kb * 1024 / fb }'
    done
done
for ((i = 1; i < ${#clis[@]}; i++)); do
    if cmp -s "$file.out0" "$file.out$i"; then same="the same"; else same="DIFFERENT"; fi
    echo "output of ${clis[$i]}: $same as ${clis[0]}"
done
echo "float samples: $(awk -v fb="$floatbytes" 'BEGIN { printf "%.2f GB", fb / 1e9 }')"

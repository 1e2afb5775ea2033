#!/usr/bin/env bash
# Times the main window's first drawing of a 1-hour, 8-channel, 48 kHz,
# 16-bit WAVE file (2.7 GB) beside `sox FILE -t f32 /dev/null` reading and
# converting the same file in the same run, page cache warm, and prints each
# time and the ratios.
#
#   RUNS=3 [HOUR_FILE=FILE.wav] bench/hour_file_gui.sh [TESSAL...]
#
# Each program runs as `tessal --screenshot OUT.png FILE` on the offscreen
# platform, which opens the file, lays the main window out at 1280x800,
# draws it and writes the picture. Several programs (say a build of main
# beside this one) are timed in turn within each run, after the same sox
# reading, and their pictures compared at the end. Their order turns from
# run to run: on a virtual machine a program started right after another
# that held as much memory opens up to twice as fast (the host still backs
# the pages just freed), so compare programs over as many runs as there are
# programs, or a multiple.
#
# Columns:
#   sox_s      sox reading and converting the file
#   tessal_s   the whole program, start to end (wall clock)
#   opened_s   the file read and the document set up
#   drawn_s    the first drawing of the main window done (before the PNG
#              is written)
#   ratio      drawn_s / sox_s (wall ratio tessal_s / sox_s beside it)
# opened_s and drawn_s are what the program measures itself from the start
# of main() when TESSAL_TIMING=1 is set: it then prints
#   tessal: opened at X s, first drawing at Y s
# on stderr. Program start-up before main() and writing the PNG are in
# tessal_s only.
#
# The file is made with sox under $TMPDIR (default /tmp) and deleted at the
# end, unless HOUR_FILE names one made before (by bench/hour_file_make.sh's
# command), which is used and kept. Timings on a shared machine are noisy:
# read the ratios, which compare runs made side by side.
set -euo pipefail
progs=("$@")
[ ${#progs[@]} -gt 0 ] || progs=(build-bench/app/tessal/tessal)
runs=${RUNS:-3}
tmp=${TMPDIR:-/tmp}
for p in "${progs[@]}"; do
    [ -x "$p" ] && [ ! -d "$p" ] || { echo "not a program: $p" >&2; exit 2; }
done

work=$(mktemp -d "$tmp/tessal_hour_gui_XXXXXX")
trap 'rm -rf "$work"' EXIT
if [ -n "${HOUR_FILE:-}" ]; then
    file=$HOUR_FILE
    [ -f "$file" ] || { echo "no file: $file" >&2; exit 2; }
else
    file=$work/hour.wav
    . "$(dirname "$0")/hour_file_make.sh"
    make_hour_file "$file"
fi

# Warm the page cache once.
cat "$file" >/dev/null

seconds() { # command... -> elapsed seconds (wall); stderr in $work/err
    /usr/bin/time -f "%e %x" -o "$work/time" "$@" >/dev/null 2>"$work/err" || true
    local rc
    rc=$(tail -n 1 "$work/time" | cut -d' ' -f2)
    [ "$rc" = 0 ] || { echo "failed ($rc): $*" >&2; cat "$work/err" >&2; exit 1; }
    tail -n 1 "$work/time" | cut -d' ' -f1
}

printf "%-4s %-36s %8s %9s %9s %9s %7s %7s\n" run program sox_s tessal_s opened_s drawn_s ratio wall
for r in $(seq 1 "$runs"); do
    s=$(seconds sox "$file" -t f32 /dev/null)
    np=${#progs[@]}
    for ((j = 0; j < np; j++)); do
        i=$(( (j + r - 1) % np ))
        p=${progs[$i]}
        t=$(seconds env TESSAL_TIMING=1 QT_QPA_PLATFORM=offscreen "$p" --screenshot "$work/shot$i.png" "$file")
        line=$(grep -m1 "first drawing at" "$work/err" || true)
        o=$(sed -n 's/.*opened at \([0-9.]*\) s.*/\1/p' <<<"$line")
        d=$(sed -n 's/.*first drawing at \([0-9.]*\) s.*/\1/p' <<<"$line")
        awk -v r="$r" -v p="$p" -v s="$s" -v t="$t" -v o="${o:--1}" -v d="${d:--1}" 'BEGIN {
            if (d < 0) printf "%-4s %-36s %8.2f %9.2f %9s %9s %7s %7.2f\n", r, p, s, t, "-", "-", "-", t / s
            else printf "%-4s %-36s %8.2f %9.2f %9.2f %9.2f %7.2f %7.2f\n", r, p, s, t, o, d, d / s, t / s }'
    done
done
for ((i = 1; i < ${#progs[@]}; i++)); do
    if cmp -s "$work/shot0.png" "$work/shot$i.png"; then same="the same"; else same="DIFFERENT"; fi
    echo "picture of ${progs[$i]}: $same as ${progs[0]}'s"
done

#!/usr/bin/env bash
# A long session: an N-hour, 8-channel, 48 kHz, 16-bit WAVE file made with
# sox (2.76 GB per hour; 5.5 GB per hour as float samples), then, each
# under a memory cap:
#   sox        `sox --ignore-length FILE -t f32 /dev/null`, the reference
#   info       `tessal-cli info FILE`
#   window     the main window's first drawing (`tessal --screenshot` on the
#              offscreen platform, as bench/hour_file_gui.sh runs it)
#   f0         `tessal-cli run` of a load/F0/save/delete process (multiple
#              peak picking, 50-400 Hz) on one channel over the whole file:
#              the contour is saved to a new channel, the file's channels
#              are deleted and what is kept, the contour, is written as a
#              WAVE file
# and prints each one's wall time, its ratio to sox's and its peak resident
# memory (/usr/bin/time %M).
#
#   bench/long_session.sh [--hours N] [--cap SIZE] [--runs R] [--channel C]
#                         [--timeout S] [--cli PATH] [--tessal PATH]
#
#   --hours N     length of the file in hours, fractions allowed (default 6)
#   --cap SIZE    address space each program may take (prlimit --as), in
#                 bytes or with a K, M or G suffix (powers of 1024); by
#                 default half the physical memory
#   --runs R      times each program is run (default 1); the file is made
#                 once
#   --channel C   the channel the F0 process reads (default 0)
#   --timeout S   seconds after which a program is stopped (default 7200)
#   --cli, --tessal  the programs (default build/app/tessal-cli/tessal-cli
#                 and build/app/tessal/tessal)
#
# A program that does not fit under the cap is stopped there, by a failed
# allocation or a signal, and its line says "refused at the cap" (it ended
# with a message, exit code beside it) or "killed at the cap" (a signal)
# instead of figures; the machine itself never runs out of memory. Today's
# program holds every sample as a float, so a file whose floats come near
# the cap cannot be opened.
#
# The file goes under $TMPDIR (default /tmp) and is deleted at the end, as is
# the F0 run's output as soon as it has been measured. Free disk space is
# checked before the file is made and before the F0 run (whose output is
# the contour, 4 bytes per 100 frames), and the script refuses, or skips the
# run, when it is short. The programs run with HOME, XDG_CONFIG_HOME and
# XDG_RUNTIME_DIR in the work folder, never the user's own. Timings on a
# shared machine are noisy: read the ratios, which compare runs made side by
# side.
set -euo pipefail
hours=6
cap=
runs=1
channel=0
limit=7200
cli=build/app/tessal-cli/tessal-cli
gui=build/app/tessal/tessal
usage() { sed -n '17,18p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
while [ $# -gt 0 ]; do
    case $1 in
        --hours) hours=$2; shift 2 ;;
        --cap) cap=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --channel) channel=$2; shift 2 ;;
        --timeout) limit=$2; shift 2 ;;
        --cli) cli=$2; shift 2 ;;
        --tessal) gui=$2; shift 2 ;;
        *) usage ;;
    esac
done
for p in "$cli" "$gui"; do
    [ -x "$p" ] && [ ! -d "$p" ] || { echo "not a program: $p" >&2; exit 2; }
done
for t in sox prlimit timeout /usr/bin/time python3; do
    command -v "$t" >/dev/null || { echo "needs $t" >&2; exit 2; }
done
cli=$(realpath "$cli")
gui=$(realpath "$gui")

to_bytes() { # 12G, 512M, 300000000 -> bytes
    python3 - "$1" <<'PY'
import re, sys
m = re.fullmatch(r"\s*([0-9.]+)\s*([KMGT]?)i?B?\s*", sys.argv[1], re.I)
if not m: sys.exit("not a size: " + sys.argv[1])
print(int(float(m.group(1)) * 1024 ** " KMGT".index((m.group(2) or " ").upper())))
PY
}
memtotal=$(( $(awk '/^MemTotal:/ { print $2 }' /proc/meminfo) * 1024 ))
if [ -n "$cap" ]; then cap=$(to_bytes "$cap"); else cap=$(( memtotal / 2 )); fi
seconds=$(awk -v h="$hours" 'BEGIN { s = h * 3600; if (s <= 0) exit 1; printf "%.3f", s }') ||
    { echo "not a length: $hours" >&2; exit 2; }
frames=$(awk -v s="$seconds" 'BEGIN { printf "%.0f", s * 48000 }')
wavbytes=$(( 44 + frames * 16 ))
floatbytes=$(( frames * 8 * 4 ))
gb() { awk -v b="$1" 'BEGIN { printf "%.2f GB", b / 1e9 }'; }

tmp=${TMPDIR:-/tmp}
free_bytes() { echo $(( $(df --output=avail -k "$1" | tail -n 1) * 1024 )); }
# The file, and 1 GB to spare for everything else on the disk.
need=$(( wavbytes + (1 << 30) ))
if [ "$(free_bytes "$tmp")" -lt "$need" ]; then
    echo "not enough free disk under $tmp: the file needs $(gb $wavbytes) and 1 GB to spare," \
        "$(gb "$(free_bytes "$tmp")") free" >&2
    exit 1
fi

work=$(mktemp -d "$tmp/tessal_long_XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home/.config" "$work/home/run"
chmod 700 "$work/home/run"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/home/run

file=$work/long.wav
. "$(dirname "$0")/hour_file_make.sh"
make_long_file "$file" "$seconds"
# A RIFF file states its sizes in 32 bits: past 4 GB (1.55 hours of these
# files) sox writes them wrapped round, and a reader would take a fraction
# of the samples. Such a file gets sizes of 0 instead, which says "up to
# the end of the file" as a recorder still writing leaves it (tessal reads
# it so; sox is told --ignore-length).
if [ "$(stat -c %s "$file")" -gt 4294967295 ]; then
    python3 - "$file" <<'PY'
import struct, sys
with open(sys.argv[1], "r+b") as f:
    head = f.read(4096)
    at = head.find(b"data", 12)
    if head[:4] != b"RIFF" or at < 0: sys.exit("no data chunk in " + sys.argv[1])
    f.seek(4); f.write(struct.pack("<I", 0))
    f.seek(at + 4); f.write(struct.pack("<I", 0))
PY
    echo "over 4 GB: the file's RIFF and data sizes set to 0 (to the end of the file)" >&2
fi
echo "file: $(gb "$(stat -c %s "$file")") ($hours h), $(gb $floatbytes) as floats;" \
    "memory cap $(gb $cap) of $(gb $memtotal)" >&2

cat >"$work/f0.tessalproc" <<P
[Common]
nsteps=4
[Step_0]
procid=load
nChans=1
Channo0=$channel
[Step_1]
procid=f0
Algorithm=2
MinF0=50
MaxF0=400
[Step_2]
procid=save
nChans=1
Channo0=-1
[Step_3]
procid=delete
nChans=8
Channo0=0
Channo1=1
Channo2=2
Channo3=3
Channo4=4
Channo5=5
Channo6=6
Channo7=7
P

# Warm the page cache once.
cat "$file" >/dev/null

# measure NAME COMMAND...: runs the command under the cap and the timeout;
# sets $wall and $kb, or $wall empty and $why saying how it ended. Its
# stdout is in $work/out, its stderr in $work/err.
measure() {
    local name=$1
    shift
    wall= kb= why=
    /usr/bin/time -f "%e %M %x" -o "$work/time" \
        timeout -k 10 "$limit" prlimit --as="$cap" -- "$@" >"$work/out" 2>"$work/err" || true
    local last rc sig
    last=$(tail -n 1 "$work/time")
    rc=$(cut -d' ' -f3 <<<"$last")
    kb=$(cut -d' ' -f2 <<<"$last")
    sig=$(sed -n 's/^Command terminated by signal \([0-9]*\).*/\1/p' "$work/time")
    # The main window tells of a file it could not open and goes on with
    # an empty document: that is no drawing of the file.
    local refusal="memory|bad_alloc|allocat|too (long|large)|does not fit|could not open"
    if [ "$rc" = 0 ] && [ -z "$sig" ] && ! grep -qiE "$refusal" "$work/err"; then
        wall=$(cut -d' ' -f1 <<<"$last")
        return
    fi
    local msg
    msg=$(grep -iE "$refusal" "$work/err" | tail -n 1 | cut -c1-100)
    [ -n "$msg" ] || msg=$(grep -v '^\s*$' "$work/err" | tail -n 1 | cut -c1-100)
    if [ "$rc" = 124 ] || [ "$rc" = 137 -a -z "$sig" ]; then
        why="stopped after the timeout of $limit s"
    elif [ -n "$sig" ] || [ "$rc" -gt 128 ]; then
        why="killed at the cap (signal ${sig:-$((rc - 128))})${msg:+: $msg}"
    elif grep -qiE "$refusal" "$work/err"; then
        why="refused at the cap (exit $rc): $msg"
    else
        why="failed (exit $rc): $msg"
    fi
}

row() { # NAME SOX-SECONDS [NOTE]
    if [ -n "$wall" ]; then
        awk -v r="$r" -v n="$1" -v s="$2" -v t="$wall" -v kb="$kb" -v note="${3:-}" 'BEGIN {
            printf "%-4s %-8s %9.2f %7.2f %8.2f  %s\n", r, n, t, (s > 0 ? t / s : 0), kb * 1024 / 1e9, note }'
    else
        awk -v r="$r" -v n="$1" -v kb="${kb:-0}" -v why="$why" 'BEGIN {
            printf "%-4s %-8s %9s %7s %8.2f  %s\n", r, n, "-", "-", kb * 1024 / 1e9, why }'
    fi
}

printf "%-4s %-8s %9s %7s %8s  %s\n" run program wall_s x_sox peak_GB note
for r in $(seq 1 "$runs"); do
    measure sox sox --ignore-length "$file" -t f32 /dev/null
    s=${wall:-0}
    row sox "$s"
    [ -n "$wall" ] || echo "sox itself did not finish: the ratios below are not given" >&2

    measure info "$cli" info "$file"
    note=
    if [ -n "$wall" ]; then
        got=$(sed -n 's/^ *frames: \([0-9]*\).*/\1/p' "$work/out" | head -n 1)
        [ "$got" = "$frames" ] && note="$got frames" || note="READ $got FRAMES OF $frames"
    fi
    row info "$s" "$note"

    measure window env TESSAL_TIMING=1 QT_QPA_PLATFORM=offscreen "$gui" --screenshot "$work/shot.png" "$file"
    t=$(grep -m1 "first drawing at" "$work/err" || true)
    note=
    [ -z "$t" ] || note=$(sed -n 's/.*opened at \([0-9.]*\) s, first drawing at \([0-9.]*\) s.*/opened at \1 s, drawn at \2 s/p' <<<"$t")
    [ -z "$wall" ] || [ -s "$work/shot.png" ] || { wall=; why="no picture written"; }
    row window "$s" "$note"
    rm -f "$work/shot.png"

    # The output holds the F0 contour: one float per 100 frames.
    outneed=$(( frames / 100 * 4 + (1 << 30) ))
    if [ "$(free_bytes "$tmp")" -lt "$outneed" ]; then
        wall= kb=0
        why="skipped: its output needs $(gb $outneed) of disk with 1 GB to spare, $(gb "$(free_bytes "$tmp")") free"
        row f0 "$s"
        continue
    fi
    measure f0 "$cli" run "$work/f0.tessalproc" "$file" -o "$work/out.wav" --yes --profile
    note=
    if [ -n "$wall" ]; then
        f0s=$(sed -n 's/^\([0-9.]*\) s .*F0 .*/\1/p' "$work/out" | head -n 1)
        note="F0 step $(printf '%.1f' "${f0s:-0}") s, output $(gb "$(stat -c %s "$work/out.wav")")"
    fi
    row f0 "$s" "$note"
    rm -f "$work/out.wav"
done

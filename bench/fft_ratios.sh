#!/usr/bin/env bash
# The program's FFT beside FFTW, size by size, from one tessal-bench run:
# the bare transform (tfft_execute_only against fftw_execute) and the whole
# job with window and outputs (tfft against fftw), as medians of
# repetitions, and their ratios. Optionally the long-term spectrum beside
# the same frames through FFTW (--ltas).
#
#   bench/fft_ratios.sh [--ltas] [BUILD]        (BUILD defaults to build)
#
# Build first: cmake --build BUILD --target tessal-bench
set -euo pipefail
cd "$(dirname "$0")/.."
ltas=0
[ "${1:-}" = "--ltas" ] && { ltas=1; shift; }
build=${1:-build}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME=$tmp XDG_CONFIG_HOME=$tmp/.config XDG_RUNTIME_DIR=$tmp/run
mkdir -p "$XDG_RUNTIME_DIR"
filter='^(tfft|fftw)(_execute_only)?/'
[ $ltas -eq 1 ] && filter='^(tfft|fftw)(_execute_only)?/|ltas'
echo "load at start: $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/bench/tessal-bench" --benchmark_filter="$filter" --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true --benchmark_min_time=0.1 2>/dev/null | grep median > "$tmp/out"
echo "load at end:   $(cut -d' ' -f1-3 /proc/loadavg)"
python3 - "$tmp/out" <<'PY'
import re, sys
t = {}
for line in open(sys.argv[1]):
    m = re.match(r'(\S+?)(?:/(\d+))?_median\s+([\d.]+) (\w+)', line)
    if m:
        v = float(m.group(3)) * {'ns': 1, 'us': 1e3, 'ms': 1e6, 's': 1e9}[m.group(4)]
        t[(m.group(1), int(m.group(2) or 0))] = v
sizes = sorted({n for (name, n) in t if name in ('tfft', 'tfft_execute_only')})
print("%8s %12s %12s %6s %12s %12s %6s" % ("N", "bare ns", "fftw_exec", "ratio", "job ns", "fftw job", "ratio"))
for n in sizes:
    a, b = t.get(('tfft_execute_only', n)), t.get(('fftw_execute_only', n))
    c, d = t.get(('tfft', n)), t.get(('fftw', n))
    r1 = "%6.2f" % (a / b) if a and b else "     -"
    r2 = "%6.2f" % (c / d) if c and d else "     -"
    print("%8d %12.0f %12.0f %s %12.0f %12.0f %s" % (n, a or 0, b or 0, r1, c or 0, d or 0, r2))
for (name, n), v in sorted(t.items()):
    if 'ltas' in name:
        print("%-40s %12.0f ns" % (name + ("/%d" % n if n else ""), v))
PY

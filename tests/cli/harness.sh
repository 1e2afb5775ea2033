# What the tessal-cli shell tests share, sourced after their own comment
# and "set -u": cli (the program, the test's first argument), a scratch
# folder removed at exit, a failure count, and two checks:
#   run NAME EXPECTED-RC COMMAND...   runs COMMAND, stdout and stderr kept
#   line NAME N EXPECTED              line N of the last stdout, exactly
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
tab=$'\t'
run() {  # run NAME EXPECTED-RC COMMAND...
  local name=$1 want=$2
  shift 2
  "$@" >"$work/out" 2>"$work/err"
  local rc=$?
  if [ "$rc" -ne "$want" ]; then
    echo "FAIL $name: exit $rc, wanted $want"; cat "$work/err"; fails=$((fails + 1))
  fi
}
line() {  # line NAME N EXPECTED (line N of the last stdout, exactly)
  local got
  got=$(sed -n "$2p" "$work/out")
  if [ "$got" != "$3" ]; then
    echo "FAIL $1: line $2 is"; printf '%s\n' "$got" | cat -A; echo "wanted"; printf '%s\n' "$3" | cat -A
    fails=$((fails + 1))
  fi
}
# float_wav OUT RATE FRAMES EXPR [EXPR...]: a 32-bit float WAVE file of one
# channel per Python expression in i (the frame index) and fs, written by
# Python's struct so the samples are known exactly (needs python3).
float_wav() {
  python3 - "$@" <<'PY'
import math, struct, sys
out, fs, n = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
exprs = [compile(e, "expr", "eval") for e in sys.argv[4:]]
c = len(exprs)
data = bytearray()
for i in range(n):
    for e in exprs:
        data += struct.pack("<f", eval(e, {"math": math, "i": i, "fs": fs}))
fmt = struct.pack("<HHIIHH", 3, c, fs, fs * c * 4, c * 4, 32)
body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + bytes(data)
with open(out, "wb") as f:
    f.write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY
}

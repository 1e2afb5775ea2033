#!/usr/bin/env bash
# The window program ends when it is told to, even when a file is bad:
# a screenshot run given a damaged file prints the message (nobody is there
# to close a message box) and still writes its picture; a header claiming
# 40000 channels of no samples is refused by its channel count; and
# --trigger exitaction closes the program instead of showing the window.
# Each run is under `timeout`: one that waits for ever fails.
# Usage: app_endings_test.sh PATH-TO-tessal
set -u
tessal=$1
command -v python3 >/dev/null || exit 77
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/data"
fails=0
app() {  # app NAME EXPECTED-RC ARGS...
  local name=$1 want=$2
  shift 2
  HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/home/.config" \
    XDG_CACHE_HOME="$work/cache" QT_QPA_PLATFORM=offscreen timeout 60 "$tessal" "$@" >"$work/out" 2>"$work/err"
  local rc=$?
  if [ "$rc" -ne "$want" ]; then echo "FAIL $name: exit $rc, wanted $want"; cat "$work/err"; fails=$((fails + 1)); fi
}
said() {  # said NAME PATTERN
  grep -qE -- "$2" "$work/err" || { echo "FAIL $1: no '$2' in:"; cat "$work/err"; fails=$((fails + 1)); }
}
python3 - "$work" <<'PY'
import struct, sys
w = sys.argv[1]
def wave(name, nch, bits, data, junk=0):
    ba = nch * bits // 8
    body = b'WAVEfmt ' + struct.pack('<IHHIIHH', 16, 1, nch, 8000, (8000 * ba) & 0xffffffff, ba & 0xffff, bits)
    if junk: body += b'JUNK' + struct.pack('<I', junk) + b'\0' * junk
    body += b'data' + struct.pack('<I', len(data)) + data
    open(f'{w}/{name}', 'wb').write(b'RIFF' + struct.pack('<I', len(body)) + body)
wave('damaged.wav', 40000, 16, b'\0' * 8148)   # more channels than the data holds
wave('empty40000.wav', 40000, 8, b'', 8000)    # 40000 channels of no samples, 8 KB
PY

app damaged 0 --screenshot "$work/d.png" "$work/damaged.wav"
said damaged "damaged"
test -s "$work/d.png" || { echo "FAIL damaged: no picture"; fails=$((fails + 1)); }

app channels 0 --screenshot "$work/c.png" "$work/empty40000.wav"
said channels "40000 channels; at most 16384"

app exit 0 --trigger exitaction

[ "$fails" -eq 0 ] && echo "app endings: all passed"
exit $((fails > 0))

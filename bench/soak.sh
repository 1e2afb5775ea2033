#!/usr/bin/env bash
# A soak run of recording, playback and editing at once, and the recovery
# of the recording after a kill:
#
#   bench/soak.sh [MINUTES] [PROGRAM]
#
# MINUTES defaults to 30; PROGRAM is the tessal-soak program (default
# build/bench/tessal-soak); SOAK_ARGS passes more arguments to it
# (SOAK_ARGS="--play-seconds 60": a play of 60 s at a time instead of one
# play every 2 s). Builds nothing: build tessal-soak and tessal-cli
# first (cmake --build build --target tessal-soak tessal-cli). Not run by
# CTest.
#
# Starts a private PulseAudio server (its own runtime and home folders under
# a temp folder) with a 48 kHz mono null sink as the default sink and its
# monitor, through a remap source, as the default input, as the audio
# loopback test does, and runs tessal-soak against it for MINUTES: it plays
# numbered blocks of seeded noise and a tone, records them into a document
# whose history is journaled and whose recording is spooled, edits another
# channel of that document every few hundred milliseconds, prints a line
# every 10 s and checks the recording (every block bit for bit, in order;
# its length against the clock) and its memory. When it prints
# "READY <journal> <copy>" the script kills it with SIGKILL, runs
# `tessal-cli recover` on the journal and compares the recovered document
# with the copy the program saved before the kill, channel by channel, as
# sox reads both. Prints PASS or FAIL for each check and exits 1 when one
# failed (77: no sound server or device).
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
minutes=${1:-30}
prog=${2:-$root/build/bench/tessal-soak}
cli=${TESSAL_CLI:-$(dirname "$(dirname "$prog")")/app/tessal-cli/tessal-cli}
[ -x "$prog" ] || { echo "no program at $prog: build the tessal-soak target"; exit 2; }
[ -x "$cli" ] || { echo "no tessal-cli at $cli (set TESSAL_CLI)"; exit 2; }
command -v pulseaudio >/dev/null || { echo "SKIP: pulseaudio is not installed"; exit 77; }
command -v sox >/dev/null || { echo "SKIP: sox is not installed"; exit 77; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tessal-soak.XXXXXX")
pid=
soakpid=
cleanup() {
  if [ -n "$soakpid" ]; then kill -9 "$soakpid" 2>/dev/null; wait "$soakpid" 2>/dev/null; fi
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
mkdir -p "$tmp/run" "$tmp/home" "$tmp/out" "$tmp/config" "$tmp/data"
. "$root/tests/integration/private_pulse.sh"
started=0
start_private_pulse "$tmp" && started=1
pid=${pulse_pid:-}
[ "$started" = 1 ] || exit 77

# The program and tessal-cli see only the temp folder's settings and data.
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" XDG_RUNTIME_DIR="$tmp/run"
log=$tmp/soak.log
echo "soak: $minutes minutes, program $prog"
# SOAK_ARGS: more arguments for the program (--play-seconds S).
# shellcheck disable=SC2086
PULSE_SERVER="unix:$tmp/native" QT_QPA_PLATFORM=offscreen \
  "$prog" --minutes "$minutes" --out "$tmp/out" ${SOAK_ARGS:-} > "$log" 2>&1 &
soakpid=$!
tail -n +1 -f "$log" --pid="$soakpid" &
tailpid=$!

# Wait for READY (or the program's end).
ready=
while kill -0 "$soakpid" 2>/dev/null; do
  ready=$(grep -m1 '^READY ' "$log" || true)
  [ -n "$ready" ] && break
  sleep 1
done
journal=
copy=
if [ -n "$ready" ]; then
  read -r _ journal copy <<<"$ready"
  # A crash while the recording runs: the journal and the spool stay.
  kill -9 "$soakpid"
  wait "$soakpid" 2>/dev/null
  soakrc=killed
else
  wait "$soakpid"
  soakrc=$?
fi
soakpid=
sleep 1
kill "$tailpid" 2>/dev/null
wait "$tailpid" 2>/dev/null
if [ "$soakrc" = 77 ]; then echo "SKIP: no usable sound device"; exit 77; fi

results=()
failed=0
result() {  # NAME PASS|FAIL TEXT
  results+=("$1: $2 ($3)")
  [ "$2" = PASS ] || failed=1
}
figure() { grep -m1 "^CHECK $1 " "$log" | sed -e "s/^CHECK $1 [A-Z]*: //"; }
for c in blocks length memory; do
  line=$(grep -m1 "^CHECK $c " "$log")
  if [ -z "$line" ]; then
    result "$c" FAIL "not checked: the program ended with status $soakrc"
  else
    state=$(sed -e "s/^CHECK $c \([A-Z]*\):.*/\1/" <<<"$line")
    result "$c" "$state" "$(figure "$c")"
  fi
done

# The recovery: the journal replayed and the spool put back, compared with
# the copy channel by channel (sox's reading of both 32-bit float files).
if [ -n "$journal" ]; then
  ls -l "$(dirname "$journal")"
  recovered=$tmp/out/recovered.wav
  "$cli" recover "$journal" -o "$recovered" --format wav32f --yes
  rrc=$?
  if [ $rrc -ne 0 ] || [ ! -s "$recovered" ]; then
    result recovery FAIL "tessal-cli recover exited $rrc"
  else
    channels=$(soxi -c "$recovered")
    rsamples=$(soxi -s "$recovered")
    csamples=$(soxi -s "$copy")
    sum() { sox "$1" -t raw -e floating-point -b 32 - remix "$2" 2>/dev/null | md5sum | cut -d' ' -f1; }
    rec_r=$(sum "$recovered" 2)
    rec_c=$(sum "$copy" 2)
    ed_r=$(sum "$recovered" 1)
    ed_c=$(sum "$copy" 1)
    ed_b=$(sum "$tmp/out/before.wav" 1)
    if [ "$channels" = 2 ] && [ "$rsamples" = "$csamples" ] && [ "$rec_r" = "$rec_c" ]; then
      result "recovered recording" PASS "2 channels, $rsamples samples a channel, the recorded channel equals the copy"
    else
      result "recovered recording" FAIL "$channels channels, $rsamples samples (copy $csamples), recorded channel $rec_r, copy $rec_c"
    fi
    if [ "$ed_r" = "$ed_c" ]; then
      result "recovered edited channel" PASS "equals the copy, as it was at the kill"
    elif [ "$ed_r" = "$ed_b" ]; then
      result "recovered edited channel" FAIL "differs from the copy: it is the channel as it was before the recording; the edits made while recording were not recovered"
    else
      result "recovered edited channel" FAIL "differs from the copy and from the channel before the recording"
    fi
  fi
else
  result recovery FAIL "the program never said READY"
fi

echo
echo "soak summary ($minutes minutes):"
for r in "${results[@]}"; do echo "  $r"; done
if [ $failed -eq 0 ]; then echo "PASS"; else echo "FAIL"; fi
exit $failed

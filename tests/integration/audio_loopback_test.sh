#!/usr/bin/env bash
# Starts a private PulseAudio server (its own runtime and home folders under
# a temp folder) with a 48 kHz mono null sink as the default sink and its
# monitor as the default source (through a remap source of the same format:
# Qt Multimedia does not list monitor sources as inputs), runs the loopback program against it and
# stops the server by its pid, also when something fails. Skips (77) when
# pulseaudio is not installed or the server does not come up. Arguments
# after the program go to it.
set -u
prog=$1
shift
command -v pulseaudio >/dev/null || { echo "SKIP: pulseaudio is not installed"; exit 77; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tessal-pulse.XXXXXX")
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
. "$(dirname "$0")/private_pulse.sh"
started=0
start_private_pulse "$tmp" && started=1
pid=${pulse_pid:-}
[ "$started" = 1 ] || exit 77
PULSE_SERVER="unix:$tmp/native" XDG_RUNTIME_DIR="$tmp/run" HOME="$tmp/home" QT_QPA_PLATFORM=offscreen "$prog" "$@"

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
mkdir -p "$tmp/run" "$tmp/home"
chmod 700 "$tmp/run"
cat > "$tmp/server.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$tmp/native
load-module module-null-sink sink_name=tessal_null rate=48000 channels=1 format=s16le sink_properties=device.description=Tessal_null_sink
set-default-sink tessal_null
load-module module-remap-source source_name=tessal_loop master=tessal_null.monitor channels=1 master_channel_map=mono channel_map=mono remix=no source_properties=device.description=Tessal_null_sink_loop
set-default-source tessal_loop
PA
HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" pulseaudio -n -F "$tmp/server.pa" --daemonize=no \
  --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes --log-target=file:"$tmp/server.log" &
pid=$!
for _ in $(seq 100); do
  [ -S "$tmp/native" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
if [ ! -S "$tmp/native" ]; then
  echo "SKIP: the PulseAudio server did not start"
  cat "$tmp/server.log" 2>/dev/null
  exit 77
fi
PULSE_SERVER="unix:$tmp/native" XDG_RUNTIME_DIR="$tmp/run" HOME="$tmp/home" QT_QPA_PLATFORM=offscreen "$prog" "$@"

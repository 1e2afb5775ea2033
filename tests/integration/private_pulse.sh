# Sourced by the scripts that play and record through a private PulseAudio
# server. start_private_pulse DIR starts one whose runtime and home folders
# are under DIR, with a 48 kHz mono null sink as the default sink and its
# monitor as the default source (through a remap source of the same format:
# Qt Multimedia does not list monitor sources as inputs). It sets pulse_pid
# (stop the server by it) and pulse_socket, and returns 1 after printing
# "SKIP: ..." when the server does not come up.
start_private_pulse() {
  local dir=$1
  mkdir -p "$dir/run" "$dir/home"
  chmod 700 "$dir/run"
  pulse_socket=$dir/native
  cat > "$dir/server.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$pulse_socket
load-module module-null-sink sink_name=tessal_null rate=48000 channels=1 format=s16le sink_properties=device.description=Tessal_null_sink
set-default-sink tessal_null
load-module module-remap-source source_name=tessal_loop master=tessal_null.monitor channels=1 master_channel_map=mono channel_map=mono remix=no source_properties=device.description=Tessal_null_sink_loop
set-default-source tessal_loop
PA
  HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" pulseaudio -n -F "$dir/server.pa" --daemonize=no \
    --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes --log-target=file:"$dir/server.log" &
  pulse_pid=$!
  for _ in $(seq 100); do
    [ -S "$pulse_socket" ] && break
    kill -0 "$pulse_pid" 2>/dev/null || break
    sleep 0.05
  done
  if [ ! -S "$pulse_socket" ]; then
    echo "SKIP: the PulseAudio server did not start"
    cat "$dir/server.log" 2>/dev/null
    return 1
  fi
}

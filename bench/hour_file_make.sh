# Sourced by the hour-file benchmarks: makes the 1-hour, 8-channel, 48 kHz,
# 16-bit WAVE file (2.7 GB) with sox.
#
#   make_hour_file FILE
make_hour_file() {
    echo "making $1 (1 h, 8 channels, 48 kHz, 16 bits)..." >&2
    sox -n -r 48000 -c 8 -b 16 -e signed-integer "$1" synth 3600 \
        sine 100 sine 200 sine 300 sine 400 sine 500 sine 600 whitenoise pinknoise vol 0.5
}

# Sourced by the hour-file benchmarks: makes the 8-channel, 48 kHz, 16-bit
# WAVE files they read with sox (the same six sines, white and pink noise on
# every run; 2.76 GB per hour of sound).
#
#   make_hour_file FILE           1 hour (2.7 GB)
#   make_long_file FILE SECONDS   any length
make_long_file() {
    echo "making $1 ($2 s, 8 channels, 48 kHz, 16 bits)..." >&2
    sox -n -r 48000 -c 8 -b 16 -e signed-integer "$1" synth "$2" \
        sine 100 sine 200 sine 300 sine 400 sine 500 sine 600 whitenoise pinknoise vol 0.5
}
make_hour_file() {
    make_long_file "$1" 3600
}

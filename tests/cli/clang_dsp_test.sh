#!/usr/bin/env bash
# The signal-processing library built with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, as the fuzz build compiles it, with the FFT
# tests run against it: every file must compile (the vector kernels
# included) and the transforms must still agree with their references.
# Usage: clang_dsp_test.sh SOURCE-DIR
set -u
src=$1
if ! command -v clang++ >/dev/null; then echo "clang++ is not installed: skipped"; exit 0; fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
flags="-std=c++20 -O1 -g -fsanitize=address,undefined -fno-sanitize-recover=undefined"
fails=0
objs=()
for f in "$src"/engine/dsp/*.cpp; do
  o="$work/$(basename "$f" .cpp).o"
  if ! clang++ $flags -I"$src" -c "$f" -o "$o" 2>"$o.log"; then
    echo "FAIL clang cannot compile $f:"; head -n 20 "$o.log"; fails=$((fails + 1))
  fi
  objs+=("$o")
done
[ "$fails" -eq 0 ] || exit 1
clang++ $flags -I"$src" -I"$src/tests" "$src/tests/engine/dsp/tfft_test.cpp" "${objs[@]}" \
  -lgtest -lgtest_main -pthread -o "$work/tfft_test" || { echo "FAIL link"; exit 1; }
ASAN_OPTIONS=detect_leaks=1 "$work/tfft_test" --gtest_brief=1 || { echo "FAIL FFT tests under clang"; exit 1; }
echo "clang dsp: all passed"

#!/usr/bin/env bash
# Prints the formant accuracy table: per synthetic vowel, F0, rate and noise
# the mean absolute F1 and F2 errors of Tessal and of Praat's "To Formant
# (burg)" on the same files (the test FormantsPraat of tessal_tools_tests,
# which also holds Tessal's errors to no more than Praat's).
#   bench/formants_table.sh [BUILD-DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
command -v praat >/dev/null || { echo "praat is not installed" >&2; exit 77; }
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/run"
HOME=$home XDG_RUNTIME_DIR=$home/run "$build/tests/tessal_tools_tests" --gtest_filter='FormantsPraat.*' \
  | sed -n '/^vowel/,/^all/p'

#!/usr/bin/env bash
# The table of the automatic inverse filter's validation: for each synthetic
# vowel (an LF source through known formants), F0, sampling rate and noise,
# the correlation r of the inverse-filtered flow derivative with the model's
# and the median NAQ of the cycles found without marking beside the model's,
# for IAIF alone and for the estimate the window and tessal-cli use (QCP,
# its formants refined by the closed-phase ripple, chosen among candidates),
# with the number of GCIs found; for the noisy rows the limit column is the
# NAQ error (%) that the model's own formants give, band-limited where their
# derivative matches the model's best (what the noise costs any filter).
#
#   bench/iaif_table.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
HOME="$tmp" XDG_RUNTIME_DIR="$tmp" IAIF_TABLE=1 "$build/tests/tessal_tools_tests" \
    --gtest_filter='IaifTruth.*' --gtest_brief=1 | grep -v '^\[\|^$\|^Running'

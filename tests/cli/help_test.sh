#!/usr/bin/env bash
# tessal-cli's help: every command has its page, the list and the pages
# agree with the commands the program runs, unknown names are refused, and
# the bash completion is valid bash that completes commands and options.
#   help_test.sh TESSAL_CLI
set -euo pipefail
cli=$1
fail() { echo "help: $*" >&2; exit 1; }

commands=$("$cli" help --commands)
[ -n "$commands" ] || fail "no commands"
list=$("$cli" help)
for c in $commands; do
  page=$("$cli" help "$c") || fail "help $c failed"
  grep -q "^  tessal-cli $c" <<<"$page" || fail "the page of $c has no usage line"
  grep -q "^exit status:" <<<"$page" || fail "the page of $c has no exit codes"
  grep -q "^  tessal-cli $c" <<<"$list" || fail "help does not list $c"
done
set +e
"$cli" help nosuchcommand 2>/dev/null; rc=$?
set -e
[ "$rc" -eq 2 ] || fail "help of an unknown command exited $rc, not 2"

completion=$(mktemp)
trap 'rm -f "$completion"' EXIT
"$cli" help --bash-completion >"$completion"
bash -n "$completion" || fail "the completion is not valid bash"
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _tessal_cli; printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@"
}
complete_words tessal-cli spectru | grep -x spectrum >/dev/null || fail "the completion misses spectrum"
complete_words tessal-cli spectrogram --ba | grep -x -- --bandwidth >/dev/null || fail "the completion misses --bandwidth"
complete_words tessal-cli run --ea | grep -x -- --each >/dev/null || fail "the completion misses --each"
echo "help: ok"

# What the tessal-cli shell tests share, sourced after their own comment
# and "set -u": cli (the program, the test's first argument), a scratch
# folder removed at exit, a failure count, and two checks:
#   run NAME EXPECTED-RC COMMAND...   runs COMMAND, stdout and stderr kept
#   line NAME N EXPECTED              line N of the last stdout, exactly
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
tab=$'\t'
run() {  # run NAME EXPECTED-RC COMMAND...
  local name=$1 want=$2
  shift 2
  "$@" >"$work/out" 2>"$work/err"
  local rc=$?
  if [ "$rc" -ne "$want" ]; then
    echo "FAIL $name: exit $rc, wanted $want"; cat "$work/err"; fails=$((fails + 1))
  fi
}
line() {  # line NAME N EXPECTED (line N of the last stdout, exactly)
  local got
  got=$(sed -n "$2p" "$work/out")
  if [ "$got" != "$3" ]; then
    echo "FAIL $1: line $2 is"; printf '%s\n' "$got" | cat -A; echo "wanted"; printf '%s\n' "$3" | cat -A
    fails=$((fails + 1))
  fi
}

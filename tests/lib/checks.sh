# The checks of the shell-driven tests (tests/e2e, tests/x11), sourced by
# them: each check logs "ok: ..." or "FAIL: ..." with the time, and the
# counts decide the test's result at the end.

failures=0
checks=0

log() { printf '[%s] %s\n' "$(date +%T.%3N)" "$*"; }

ok() { checks=$((checks + 1)); log "ok: $*"; }
fail() { checks=$((checks + 1)); failures=$((failures + 1)); log "FAIL: $*"; }

# check DESCRIPTION COMMAND...: passes when the command succeeds.
check() {
  local what=$1
  shift
  if "$@"; then ok "$what"; else fail "$what"; fi
}

# expect_eq DESCRIPTION EXPECTED ACTUAL
expect_eq() {
  if [[ "$3" == "$2" ]]; then ok "$1 ($3)"; else fail "$1: expected '$2', got '$3'"; fi
}

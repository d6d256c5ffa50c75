# Shared by the demo parts: a temporary router root, background programs stopped at exit, and
# a readable transcript.
BIN=$(pwd)/build/bin
export PATH="$BIN:$PATH"
ROUTER_ROOT=$(mktemp -d)
export ROUTER_ROOT
mkdir -p "$ROUTER_ROOT/dev" "$ROUTER_ROOT/tmp" "$ROUTER_ROOT/var/run"
# A private queue key, so the demo never meets a real modemd.
MODEMD_QUEUE_KEY=$((0x44000000 + $$ % 65536))
export MODEMD_QUEUE_KEY
DEMO_PIDS=""

demo_cleanup() {
  for pid in $DEMO_PIDS; do kill "$pid" 2>/dev/null || true; done
  for pid in $DEMO_PIDS; do wait "$pid" 2>/dev/null || true; done
  ipcrm -Q "$MODEMD_QUEUE_KEY" 2>/dev/null || true
  rm -rf "$ROUTER_ROOT"
}
trap demo_cleanup EXIT INT TERM

# say TEXT: a heading in the transcript.
say() { printf '\n== %s\n' "$*"; }

# run CMD...: shows the command, then its output indented.
run() {
  printf '$ %s\n' "$*"
  "$@" 2>&1 | sed 's/^/    /'
}

# start NAME CMD...: runs CMD in the background, output in $ROUTER_ROOT/NAME.out.
start() {
  name=$1
  shift
  "$@" >"$ROUTER_ROOT/$name.out" 2>&1 &
  DEMO_PIDS="$DEMO_PIDS $!"
}

# wait_for SECONDS CMD...: retries CMD every 0.1 s until it succeeds, at most SECONDS.
wait_for() {
  tries=$(($1 * 10))
  shift
  while ! "$@" >/dev/null 2>&1; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || { echo "demo: gave up waiting for: $*" >&2; return 1; }
    sleep 0.1
  done
}

# show FILE: prints a file of the router root, indented.
show() {
  printf -- '--- %s\n' "$1"
  sed 's/^/    /' "$ROUTER_ROOT$1"
}

# modemd_serving: modemd answers on its queue (a command no family has gives result 2).
modemd_serving() {
  rc=0
  modemctl -t 1 65535 >/dev/null 2>&1 || rc=$?
  [ "$rc" -eq 2 ]
}

# Shared by the demo parts: a temporary router root, background programs stopped at exit, and
# a readable transcript.
#
# DEMO_PROGRAMS=mips (make demo-mips): the board's programs are taken from the staging root
# (build-rootfs/stage/usr/sbin and usr/bin, as `make rootfs` installs them) and started
# through qemu-user, by small wrappers put first on PATH; the simulated peers stay native. The
# platform commands the board has of its own (mtd, nvram, nvram_mtd_read, nvram_mtd_write) are
# the MIPS build's stand-ins when it has them, the native ones otherwise.
BIN=$(pwd)/build/bin
export PATH="$BIN:$PATH"
ROUTER_ROOT=$(mktemp -d)
export ROUTER_ROOT
mkdir -p "$ROUTER_ROOT/dev" "$ROUTER_ROOT/tmp" "$ROUTER_ROOT/var/run"
# How long the demo waits for a program to come up or answer: qemu is slower to start one.
DEMO_SLOW=1

# mips_wrapper NAME PROGRAM: a command NAME in $MIPS_BIN that runs the MIPS PROGRAM under qemu.
mips_wrapper() {
  printf '#!/bin/sh\nexec qemu-mipsel -L /usr/mipsel-linux-gnu -E LD_LIBRARY_PATH=%s -0 %s %s "$@"\n' \
    "$MIPS_LIBS" "$1" "$2" >"$MIPS_BIN/$1"
  chmod +x "$MIPS_BIN/$1"
}

if [ "${DEMO_PROGRAMS:-native}" = mips ]; then
  stage=$(pwd)/build-rootfs/stage
  if [ ! -d "$stage/usr/sbin" ]; then
    echo "demo: no staging root in $stage (make rootfs makes it)" >&2
    exit 1
  fi
  command -v qemu-mipsel >/dev/null || { echo "demo: qemu-mipsel is missing (qemu-user)" >&2; exit 1; }
  sysroot=$(pwd)/build-deps/mipsel-sysroot
  MIPS_LIBS="$sysroot/usr/lib/mipsel-linux-gnu:$sysroot/lib/mipsel-linux-gnu"
  MIPS_BIN=$ROUTER_ROOT/mips-bin
  mkdir -p "$MIPS_BIN"
  for program in "$stage"/usr/sbin/* "$stage"/usr/bin/*; do
    if [ ! -f "$program" ] || [ ! -x "$program" ]; then continue; fi
    mips_wrapper "$(basename "$program")" "$program"
  done
  for command in mtd nvram nvram_mtd_read nvram_mtd_write; do
    if [ -x "$(pwd)/build-mips/bin/$command" ]; then
      mips_wrapper "$command" "$(pwd)/build-mips/bin/$command"
    fi
  done
  export PATH="$MIPS_BIN:$PATH"
  DEMO_SLOW=4
  echo "programs: MIPS, from $stage, under qemu-mipsel; simulated peers native"
fi
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

# wait_for SECONDS CMD...: retries CMD every 0.1 s until it succeeds, at most SECONDS (times
# DEMO_SLOW, for programs under qemu).
wait_for() {
  tries=$(($1 * 10 * DEMO_SLOW))
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

#!/bin/sh
# The start-up scripts of etc/init.d, run under SHELL (the host's sh, or BusyBox's) against
# the native programs of BIN_DIR (modemd, resetbtn, nvram) and small stand-in daemons that
# record their arguments and can be slow to end or deaf to SIGTERM. Everything lives under a
# fresh directory that is both the staging root and ROUTER_ROOT; only processes started from
# it are ever signalled.
#   initd_test.sh BIN_DIR [SHELL]
set -u
bin_dir=$(cd "$1" && pwd)
shell=${2:-sh}
src=$(cd "$(dirname "$0")/etc/init.d" && pwd)

T=$(mktemp -d "${TMPDIR:-/tmp}/initd_test.XXXXXX")
export ROUTER_ROOT="$T/root"
mkdir -p "$T/stage/etc/init.d" "$T/stage/usr/sbin" "$T/path" "$ROUTER_ROOT/dev"
: >"$ROUTER_ROOT/dev/console"
cp "$src"/* "$T/stage/etc/init.d/"
initd=$T/stage/etc/init.d
sbin=$T/stage/usr/sbin

# The shell under test answers to "sh" (rcS runs each script with sh); the board's nvram
# command is this build's.
if [ "$shell" = sh ]; then
    ln -s "$(command -v sh)" "$T/path/sh"
else
    ln -s "$shell" "$T/path/sh"
    # and the commands the scripts use, as BusyBox's applets, as on the board
    for applet in cat tr sleep mv mkdir rm; do ln -s "$shell" "$T/path/$applet"; done
fi
ln -s "$bin_dir/nvram" "$T/path/nvram"
export PATH="$T/path:$PATH"
export RC_STOP_SECONDS=10

# A queue key of this test's own.
key=$(( 0x49000000 | ($(od -An -N3 -tu4 /dev/urandom | tr -d ' ') & 0xFFFFFF) ))
export MODEMD_QUEUE_KEY=$key

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
check() {  # check WHAT COMMAND...: COMMAND must succeed
    what=$1
    shift
    "$@" || fail "$what"
}

# Processes started from this test's staging root (argument 0 or 1 under it).
our_pids() {
    for d in /proc/[0-9]*; do
        args=$( { tr "\0" " " <"$d/cmdline"; } 2>/dev/null) || continue
        case $args in "$sbin"/*) ;; "/bin/sh $sbin"/* | "sh $sbin"/*) ;; *) continue ;; esac
        [ "$(state "${d#/proc/}")" = Z ] && continue
        printf '%s\n' "${d#/proc/}"
    done
}
state() {
    s=$(cat "/proc/$1/stat" 2>/dev/null) || { echo gone; return; }
    s=${s##*) }
    echo "${s%% *}"
}
alive() {
    case $(state "$1") in gone | Z | X) return 1 ;; esac
    return 0
}
count_of() {  # processes of program $1 from the staging root
    n=0
    for p in $(our_pids); do
        case $( { tr "\0" " " <"/proc/$p/cmdline"; } 2>/dev/null) in
            "$sbin/$1 "* | "$sbin/$1" | "/bin/sh $sbin/$1 "* | "/bin/sh $sbin/$1") n=$((n + 1)) ;;
        esac
    done
    echo "$n"
}
pid_of() { cat "$ROUTER_ROOT/var/run/$1.pid" 2>/dev/null; }

cleanup() {
    for p in $(our_pids); do kill -KILL "$p" 2>/dev/null; done
    ipcrm -Q "$key" 2>/dev/null
    rm -rf "$T"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

run() {  # run SCRIPT ARG: the script under the shell under test, its output kept
    "$T/path/sh" "$initd/$1" "$2" >>"$T/out" 2>&1
}
nv() { nvram set "$1" >/dev/null || fail "nvram set $1"; }
nv_unset() { nvram unset "$1" >/dev/null 2>&1; }

# A stand-in daemon: writes its arguments, one a line, to ROOT/args.NAME and runs until
# SIGTERM, after which it takes ROOT/term-delay.NAME seconds to end, or never ends when that
# file says "deaf".
fake() {
    cat >"$sbin/$1" <<EOF
#!/bin/sh
for a in "\$@"; do printf '%s\n' "\$a"; done >"$ROUTER_ROOT/args.$1.new"
mv "$ROUTER_ROOT/args.$1.new" "$ROUTER_ROOT/args.$1"
delay=\$(cat "$ROUTER_ROOT/term-delay.$1" 2>/dev/null || echo 0)
if [ "\$delay" = deaf ]; then
    trap '' TERM
else
    trap 'sleep \$delay; exit 0' TERM
fi
while :; do sleep 1; done
EOF
    chmod +x "$sbin/$1"
}
# wait_file FILE: until it exists, at most 60 s (a loaded host is slow to start a program).
wait_file() {
    i=0
    while [ ! -e "$1" ] && [ "$i" -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
    [ -e "$1" ]
}
args_of() { tr '\n' '|' <"$ROUTER_ROOT/args.$1"; }

ln -s "$bin_dir/modemd" "$sbin/modemd"
ln -s "$bin_dir/resetbtn" "$sbin/resetbtn"
fake rmagent
fake serbridge
fake statpipe
: >"$T/card"  # kpc650: modemd opens the port without waiting for a card

echo "shell: $shell"

# --- start twice: one process; options from nvram on its command line ----------------------
nv modemd_family=kpc650
nv "modemd_port=$T/card"
nv modemd_debug=1
check "first start" run modemd start
check "second start" run modemd start
first=$(pid_of modemd)
check "pid file written" test -n "$first"
check "one modemd after two starts (saw $(count_of modemd))" test "$(count_of modemd)" = 1
check "the pid file names the running modemd" alive "$first"
cmdline=$(tr '\0' ' ' <"/proc/$first/cmdline" 2>/dev/null)
check "modemd's command line from nvram (saw '$cmdline')" \
    test "$cmdline" = "$sbin/modemd -d -t kpc650 -f $T/card "
check "status says running" run modemd status

# --- restart: stop waits, then exactly one again ------------------------------------------
check "restart" run modemd restart
second=$(pid_of modemd)
check "restart starts a new process" test -n "$second" -a "$second" != "$first"
check "the old modemd is gone once restart returned" test "$(alive "$first" && echo y)" != y
check "one modemd after restart (saw $(count_of modemd))" test "$(count_of modemd)" = 1

# --- a pid file naming a live process of another program does not stop a start -------------
check "stop" run modemd stop
check "no modemd after stop" test "$(count_of modemd)" = 0
echo $$ >"$ROUTER_ROOT/var/run/modemd.pid"
run modemd status
check "status of a pid file naming another program is 1 (saw $?)" test $? = 1
check "start over a foreign pid" run modemd start
check "modemd runs though the pid file named another process" test "$(count_of modemd)" = 1
check "stop" run modemd stop
check "the test's own shell is left alone by stop" alive $$
run modemd status
check "status after stop is 3 (saw $?)" test $? = 3

# --- stop waits for a slow daemon; SIGKILL for one deaf to SIGTERM ---------------------------
echo 2 >"$ROUTER_ROOT/term-delay.statpipe"
check "start slow statpipe" run statpipe start
pid=$(pid_of statpipe)
check "statpipe started" wait_file "$ROUTER_ROOT/args.statpipe"
check "stop slow statpipe" run statpipe stop
check "slow statpipe gone when stop returned (state $(state "$pid"))" test "$(alive "$pid" && echo y)" != y
check "pid file removed" test ! -e "$ROUTER_ROOT/var/run/statpipe.pid"

# restart of a daemon slow to end: the new one starts only after the old one is gone
rm -f "$ROUTER_ROOT/args.statpipe"
check "start slow statpipe again" run statpipe start
old=$(pid_of statpipe)
check "statpipe started again" wait_file "$ROUTER_ROOT/args.statpipe"
check "restart slow statpipe" run statpipe restart
new=$(pid_of statpipe)
check "restart gave a new statpipe ($old, then $new)" test -n "$new" -a "$new" != "$old"
check "the slow statpipe was gone when restart returned" test "$(alive "$old" && echo y)" != y
check "one statpipe after restart (saw $(count_of statpipe))" test "$(count_of statpipe)" = 1
check "stop statpipe" run statpipe stop

echo deaf >"$ROUTER_ROOT/term-delay.statpipe"
rm -f "$ROUTER_ROOT/args.statpipe"
check "start deaf statpipe" run statpipe start
pid=$(pid_of statpipe)
check "deaf statpipe started" wait_file "$ROUTER_ROOT/args.statpipe"
RC_STOP_SECONDS=1 run statpipe stop
check "stop of a deaf daemon still succeeds (status $?)" test $? = 0
check "deaf statpipe killed when stop returned" test "$(alive "$pid" && echo y)" != y
check "stop said it sent SIGKILL" grep -q "sending SIGKILL" "$T/out"

# --- options: defaults, and a shell command with spaces and quotes kept whole ------------------
nv serbridge_enable=1
nv "serbridge_connect=chat -t 10 '' AT OK ATD#777 CONNECT"
nv serbridge_idle=30
nv serbridge_always_ppp=1
check "start serbridge" run serbridge start
check "serbridge started" wait_file "$ROUTER_ROOT/args.serbridge"
check "serbridge's arguments (saw $(args_of serbridge))" test "$(args_of serbridge)" = \
    "-s|/dev/ttyS1|-m|/dev/usb/tts/0|-c|chat -t 10 '' AT OK ATD#777 CONNECT|-q|chat -t 5 '' ATH OK|-p|115200|-i|30|-a|"
check "stop serbridge" run serbridge stop

run rmagent start
check "rmagent refused without a server (status $?)" test $? != 0
check "no rmagent without a server" test ! -e "$ROUTER_ROOT/args.rmagent"
nv rcm_server=192.0.2.1
nv rmagent_domain=fleet.example
nv rmagent_debug=1

# --- rcS: in order, the disabled ones skipped, the defaults honoured -------------------------
nv rmagent_enable=0
nv_unset serbridge_enable   # off by default
nv_unset statpipe_enable    # off by default
rm -f "$ROUTER_ROOT"/args.*
echo 0 >"$ROUTER_ROOT/term-delay.statpipe"
"$T/path/sh" "$initd/rcS" >>"$T/out" 2>&1
check "rcS status (saw $?)" test $? = 0
check "rcS started modemd" test "$(count_of modemd)" = 1
check "rcS started resetbtn" test "$(count_of resetbtn)" = 1
check "rcS did not start rmagent (rmagent_enable=0)" test "$(count_of rmagent)" = 0 -a \
    ! -e "$ROUTER_ROOT/var/run/rmagent.pid"
check "rcS did not start serbridge (off by default)" test "$(count_of serbridge)" = 0
check "rcS did not start statpipe (off by default)" test "$(count_of statpipe)" = 0
check "rcS said rmagent was disabled" grep -q "rmagent: disabled" "$T/out"

nv rmagent_enable=1
nv statpipe_enable=1
"$T/path/sh" "$initd/rcS" >>"$T/out" 2>&1
check "second rcS status (saw $?)" test $? = 0
check "rmagent started once enabled" wait_file "$ROUTER_ROOT/args.rmagent"
check "rmagent's arguments (saw $(args_of rmagent))" test "$(args_of rmagent)" = \
    "-d|-s|192.0.2.1|-m|fleet.example|"
check "statpipe started once enabled" wait_file "$ROUTER_ROOT/args.statpipe"
check "a second rcS leaves one modemd" test "$(count_of modemd)" = 1
check "a second rcS leaves one resetbtn" test "$(count_of resetbtn)" = 1

"$T/path/sh" "$initd/rcS" stop >>"$T/out" 2>&1
check "rcS stop status (saw $?)" test $? = 0
check "nothing left after rcS stop (saw: $(our_pids | tr '\n' ' '))" test -z "$(our_pids)"

if [ "$failures" -ne 0 ]; then
    echo "--- scripts' output"
    cat "$T/out"
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"

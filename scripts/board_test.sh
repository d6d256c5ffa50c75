#!/bin/sh
# make board-test: boots the staging root on the emulated board (scripts/board_lib.sh) with the
# simulated card, the serial host and the modem's PPP peer on the host side, runs the system
# there, reads the results from the board's console and prints one table, ending with
# "board: N passed, M failed" (status 0 only when M is 0).
#
# Boot 1: modemd from its script answers modemctl; serbridge bridges the host's dial, LCP,
#         data and a Terminate from each side over the kernel's PPP channels; resetbtn and
#         statpipe idle; rmagent registers with the management server on the board, takes a
#         configuration push into nvram, and its commit and reboot reach process 1, which
#         ends the emulator.
# Boot 2: on the same flash disk: the pushed value survived; the card vanishes and modemd
#         stays alive and idle.
# Every boot and step is bounded; the emulator and the peers are always stopped on exit.
# Logs: build-board/test/ (console.log of each boot, the peers' logs).
set -u

top=$(cd "$(dirname "$0")/.." && pwd)
run="$top/build-board/test"
BOOT_LIMIT=${BOARD_BOOT_LIMIT:-120}   # seconds from start to "board: ready"
STEP_LIMIT=${BOARD_STEP_LIMIT:-60}    # seconds for any one step
. "$top/scripts/board_lib.sh"

now() { date +%s.%N | cut -c1-14; }
secs() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }
t_start=$(now)

passed=0
failed=0
table="$run/table"
result() {  # NAME pass|fail DETAIL
  if [ "$2" = pass ]; then passed=$((passed + 1)); mark=PASS; else failed=$((failed + 1)); mark=FAIL; fi
  printf '%-4s  %-52s %s\n' "$mark" "$1" "$3" >>"$table"
  printf '%-4s  %-52s %s\n' "$mark" "$1" "$3"
}
check() {  # NAME DETAIL COMMAND...: pass when the command succeeds
  name=$1
  detail=$2
  shift 2
  if "$@"; then result "$name" pass "$detail"; else result "$name" fail "$detail"; fi
}

finish() {
  board_stop_all
  trap - EXIT
  echo "board: $passed passed, $failed failed (whole run $(secs "$t_start" "$(now)") s; logs in $run)"
  [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ] && exit 0
  exit 1
}
trap finish EXIT
trap 'exit 1' INT TERM HUP
# A console write after the emulator died fails (and the step with it) instead of killing us.
trap '' PIPE

# --- the console --------------------------------------------------------------------------
boot_no=0
cmd_no=0
console=""

# Boots the board; true when "board: ready" shows within BOOT_LIMIT.
boot() {  # HOSTPTY
  boot_no=$((boot_no + 1))
  console="$run/console$boot_no.log"
  rm -f "$run/con.in" "$run/con.out"
  mkfifo "$run/con.in" "$run/con.out"
  t_boot=$(now)
  board_qemu "$run/flash.img" "pipe:$run/con" "$(cat "$run/card.path")" "$1" \
    "$(cat "$run/modem.path")" -display none -monitor none </dev/null 2>>"$run/qemu.err"
  cat "$run/con.out" >"$console" &
  board_pids="$board_pids $!"
  exec 3>"$run/con.in"
  wait_text "$BOOT_LIMIT" "board: ready" || return 1
  boot_secs=$(secs "$t_boot" "$(now)")
  # The console's shell starts after the start-up: knock until it answers (a plain prompt
  # keeps the console readable).
  i=0
  while [ $i -lt 30 ]; do
    printf 'PS1="# "; echo "@@""shell $PPID"\n' >&3
    wait_text 1 "@@shell" && return 0
    i=$((i + 1))
  done
  return 1
}

wait_text() {  # SECS TEXT: waits for TEXT in the console log
  i=0
  while [ $i -lt $(($1 * 5)) ]; do
    grep -a -q -F -e "$2" "$console" 2>/dev/null && return 0
    kill -0 "$qemu_pid" 2>/dev/null || return 1
    sleep 0.2
    i=$((i + 1))
  done
  return 1
}

# Runs a command on the board's shell; its output (in $out) and status come back through
# the console, each output line tagged with the command's number.
on_board() {  # SECS COMMAND
  cmd_no=$((cmd_no + 1))
  n=$cmd_no
  printf '%s >/tmp/o 2>&1; r=$?; sed "s/^/:%s: /" /tmp/o; echo "@@%s rc=$r"\n' "$2" "$n" "$n" >&3
  i=0
  rc=""
  while [ $i -lt $(($1 * 5)) ]; do
    rc=$(tr -d '\r' <"$console" | sed -n "s/^.*@@$n rc=\([0-9][0-9]*\)\$/\1/p" | head -n 1)
    [ -n "$rc" ] && break
    kill -0 "$qemu_pid" 2>/dev/null || break
    sleep 0.2
    i=$((i + 1))
  done
  out=$(tr -d '\r' <"$console" | sed -n "s/^:$n: //p")
  [ -n "$rc" ] || { out="(no answer within $1 s)"; return 124; }
  return "$rc"
}

# The board's command succeeds and prints TEXT.
board_prints() {  # SECS COMMAND TEXT
  on_board "$1" "$2" || { echo "  $2: status $? ${out}" >&2; return 1; }
  case "$out" in *"$3"*) return 0 ;; esac
  echo "  $2: ${out}" >&2
  return 1
}

# Waits for a host-side file to hold TEXT.
host_wait() {  # SECS FILE TEXT
  i=0
  while [ $i -lt $(($1 * 5)) ]; do
    grep -a -q -F -e "$3" "$2" 2>/dev/null && return 0
    sleep 0.2
    i=$((i + 1))
  done
  return 1
}

# The nth line of the serial host's report that starts with STEP says "ok".
host_step() {  # NTH STEP
  i=0
  while [ $i -lt $((STEP_LIMIT * 5)) ]; do
    line=$(grep -a "^ppphost: $2 " "$run/host.out" 2>/dev/null | sed -n "${1}p")
    case "$line" in
      *" ok") return 0 ;;
      *FAILED) return 1 ;;
    esac
    sleep 0.2
    i=$((i + 1))
  done
  return 1
}

qemu_ends() {  # SECS
  i=0
  while [ $i -lt $(($1 * 5)) ]; do
    kill -0 "$qemu_pid" 2>/dev/null || return 0
    sleep 0.2
    i=$((i + 1))
  done
  return 1
}

# --- set-up --------------------------------------------------------------------------------
rm -rf "$run"
mkdir -p "$run"
: >"$table"
if ! board_prepare; then
  result "board image" fail "scripts/board_image.sh failed"
  exit 1
fi
board_new_flash "$run/flash.img"
board_peer "$run/card.path" "$run/card.err" "$sim/cardsim" --family sierra -o "$run/card.path" \
  -l "$run/card.log" -c "$run/card.ctl" -e "set 1000 5EB0A4D1" -e "set 1001 FFB3" || exit 1
board_peer "$run/modem.path" "$run/modem.err" "$sim/pppmodem" -o "$run/modem.path" \
  -l "$run/modem.log" || exit 1
modem_pid=${board_pids##* }
# The serial host dials, negotiates, sends data and ends the link itself, then dials again
# and answers the modem's Terminate-Request (sent below when its second LCP is through).
board_peer "$run/host.path" "$run/host.out" "$sim/ppphost" -o "$run/host.path" -t "$STEP_LIMIT" \
  ready chat lcp data=5 term ready chat lcp answer-term ready || exit 1

# --- boot 1 --------------------------------------------------------------------------------
if boot "$(cat "$run/host.path")"; then
  result "boot 1 reaches the start-up scripts' end" pass "${boot_secs} s"
else
  result "boot 1 reaches the start-up scripts' end" fail "no 'board: ready' in ${BOOT_LIMIT} s"
  exit 1
fi

check "modemd started by its start-up script" "/etc/init.d/modemd status" \
  on_board 20 "/etc/init.d/modemd status"
check "modemctl esn through modemd and the card" "esn 5eb0a4d1" \
  board_prints "$STEP_LIMIT" "modemctl -t 10 esn" "esn 5eb0a4d1"
check "modemctl rssi" "rssi -77 dBm" board_prints "$STEP_LIMIT" "modemctl -t 10 rssi" "rssi -77 dBm"

# serbridge over the kernel's N_PPP and /dev/ppp channels
check "serbridge answers AT on the serial line" "ppphost ready" host_step 1 ready
check "dial: chat gets CONNECT" "ATD#777 -> CONNECT" host_step 1 chat
check "LCP both ways: host Configure-Request, modem Ack" "ppphost lcp" host_step 1 lcp
check "data frames relayed both ways unchanged" "5 frames, 64-68 bytes" host_step 1 data=5
check "Terminate from the host, Ack from the modem" "ppphost term" host_step 1 term
check "back to the AT phase after the host's Terminate" "AT -> OK" host_step 2 ready
if host_step 2 chat && host_step 2 lcp; then
  result "second dial and LCP" pass "chat, lcp"
  kill -USR1 "$modem_pid"
else
  result "second dial and LCP" fail "see host.out"
fi
check "Terminate from the modem, Ack from the host" "ppphost answer-term" host_step 1 answer-term
check "back to the AT phase after the modem's Terminate" "AT -> OK" host_step 3 ready
check "the modem peer saw the bridged LCP" "Configure-Request, Terminate-Ack" \
  sh -c "grep -q 'got LCP Configure-Request' '$run/modem.log' && grep -q 'got LCP Terminate-Ack' '$run/modem.log'"
on_board 20 "cat /var/log/serbridge.log"
printf '%s\n' "$out" >"$run/serbridge.log"
on_board 20 "dmesg | grep -i ppp"
printf '%s\n' "$out" >"$run/kernel-ppp.log"
check "serbridge saw both Terminates" "TERMREQ from serial, from modem" \
  sh -c "grep -q 'receive TERMREQ from serial' '$run/serbridge.log' &&
    grep -q 'receive TERMREQ \.\.' '$run/serbridge.log'"

# resetbtn and statpipe, started by their scripts, sleep. statpipe speaks to the card's
# control port, which opens once: modemd leaves it meanwhile.
check "modemd stopped by its start-up script" "/etc/init.d/modemd stop" \
  on_board 30 "/etc/init.d/modemd stop && ! probe pid modemd"
check "statpipe started by its start-up script" "/etc/init.d/statpipe start" \
  on_board 30 "/etc/init.d/statpipe start && sleep 2 && probe pid statpipe"
# serbridge too, after its links: nothing left spinning on a closed channel.
check "resetbtn, statpipe and serbridge idle for 10 s" "CPU ticks from /proc" \
  board_prints 40 "probe idle 10 resetbtn statpipe serbridge" "idle serbridge +0"
on_board 30 "/etc/init.d/statpipe stop; /etc/init.d/modemd start" || true
check "modemd answers again after its restart" "esn 5eb0a4d1" \
  board_prints "$STEP_LIMIT" "sleep 2; modemctl -t 10 esn" "esn 5eb0a4d1"

# rmagent against the management server on the board's loopback
on_board 20 "probe rcm start" || true
check "rmagent registers with the server" "register over loopback" \
  on_board "$STEP_LIMIT" "probe wait $STEP_LIMIT /tmp/rcm.out '\"msg\":\"register\"'"
on_board 20 "probe rcm say config 1 0 wl_ssid=board%20push" || true
check "configuration push lands in nvram" "wl0_ssid=board push" \
  on_board "$STEP_LIMIT" "probe nvram 30 wl0_ssid 'board push'"
printf 'probe rcm say commit\n' >&3
check "commit and reboot reach process 1" "init's shutdown ran" wait_text "$STEP_LIMIT" "board: rebooting"
check "the reboot ends the emulator" "qemu exited" qemu_ends "$STEP_LIMIT"
kill "$qemu_pid" 2>/dev/null

# --- boot 2 --------------------------------------------------------------------------------
if boot null; then
  result "boot 2 on the same flash" pass "${boot_secs} s"
else
  result "boot 2 on the same flash" fail "no 'board: ready' in ${BOOT_LIMIT} s"
  exit 1
fi
check "nvram committed before the reboot survived it" "wl0_ssid=board push" \
  board_prints 20 "nvram get wl0_ssid" "board push"
check "modemd answers again after the reboot" "esn 5eb0a4d1" \
  board_prints "$STEP_LIMIT" "modemctl -t 10 esn" "esn 5eb0a4d1"
echo vanish >"$run/card.ctl"
host_wait 20 "$run/card.log" vanished || true
on_board "$STEP_LIMIT" "modemctl -t 5 esn"
rc=$?
if [ "$rc" -ne 0 ] && [ "$rc" -ne 124 ]; then
  result "card vanished: modemctl gets no answer" pass "modemctl status $rc"
else
  result "card vanished: modemctl gets no answer" fail "modemctl status $rc: $out"
fi
check "card vanished: modemd alive and idle for 10 s" "CPU ticks from /proc" \
  board_prints 40 "probe idle 10 modemd" "idle modemd +0"

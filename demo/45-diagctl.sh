# diagctl: the DIAG device library from the command line, against a simulated Novatel card
# whose NV items live in a store file. Runs in a subshell and stops what it started.
(
  DCTL_PIDS=""
  dctl_cleanup() {
    for pid in $DCTL_PIDS; do kill "$pid" 2>/dev/null || true; done
    for pid in $DCTL_PIDS; do wait "$pid" 2>/dev/null || true; done
  }
  trap dctl_cleanup EXIT

  say "diagcard with a store file: items 32 and 33 of NAM 1 (the MIN writer reads each before writing it)"
  printf 'nv 32 01 00 00 00 00 00 00 00 00 5a\nnv 33 01 a5\n' >"$ROUTER_ROOT/card2.nv"
  show /card2.nv
  start diagcard2 diagcard -o "$ROUTER_ROOT/card2.path" -n "$ROUTER_ROOT/card2.nv" \
    -r "$ROUTER_ROOT/card2.rx"
  DCTL_PIDS="$DCTL_PIDS $!"
  wait_for 5 test -s "$ROUTER_ROOT/card2.path"
  DIAGCTL_PORT=$(cat "$ROUTER_ROOT/card2.path")
  export DIAGCTL_PORT
  echo "card port: $DIAGCTL_PORT (diagctl takes it from DIAGCTL_PORT)"

  say "diagctl -j: version, the network summary"
  run diagctl -j show version
  run diagctl -j network

  say "the MIN of NAM 1 written, then read back (the card's other bytes of each item stay; NAM 0 has none)"
  run diagctl -j nam set min 6195550234 -n 1
  run diagctl -j nam get min -n 1
  run diagctl nam get min

  say "a small roaming list (250 bytes: three chunks)"
  head -c 250 /dev/zero | tr '\0' 'P' >"$ROUTER_ROOT/small.prl"
  run diagctl -j prl write "$ROUTER_ROOT/small.prl"

  say "the store file changed: the MIN in items 32 and 33 of NAM 1, and the PRL"
  sed 's/\(prl-data .\{40\}\).*/\1.../' "$ROUTER_ROOT/card2.nv" | sed 's/^/    /'

  say "a refusal and a usage error: exit status 1, then 2 (the port is not opened)"
  rc=0
  diagctl -j item get dns1 || rc=$?
  echo "exit status $rc"
  rc=0
  diagctl nam get min -n 2 || rc=$?
  echo "exit status $rc"
)

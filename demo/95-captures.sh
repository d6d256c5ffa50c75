# Captures for a packet analyser: modemd writes what passes on a Sierra card's port (-w), and
# tshark reads it with the card-link dissector of tools/wireshark/.
CAP_KEY=$((MODEMD_QUEUE_KEY + 5))
cap_serving() {
  rc=0
  modemctl -k "$CAP_KEY" -t 1 65535 >/dev/null 2>&1 || rc=$?
  [ "$rc" -eq 2 ]
}

say "modemd -w: a capture of the card's port while modemctl asks for the ESN"
start cap-card cardsim --family sierra -o "$ROUTER_ROOT/cap.path" -l "$ROUTER_ROOT/cap.log"
CAP_CARD=$!
wait_for 10 test -s "$ROUTER_ROOT/cap.path"
start cap-modemd env MODEMD_QUEUE_KEY=$CAP_KEY modemd -w "$ROUTER_ROOT/modemd.pcap" \
  -t sierra_module -f "$(cat "$ROUTER_ROOT/cap.path")"
CAP_MODEMD=$!
wait_for 60 cap_serving
run modemctl -k "$CAP_KEY" -t 10 esn
kill "$CAP_MODEMD" "$CAP_CARD" 2>/dev/null || true
wait "$CAP_MODEMD" "$CAP_CARD" 2>/dev/null || true

say "tshark with the card-link dissector: the first frames of the capture"
tshark -n -X lua_script:tools/wireshark/card_link.lua -r "$ROUTER_ROOT/modemd.pcap" 2>/dev/null |
  head -n 8 | sed 's/^/    /'

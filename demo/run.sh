#!/bin/sh
# make demo: runs the system against its simulated peers under a temporary router root and
# prints what happens. Every part is a script demo/NN-*.sh, run in order.
set -eu
cd "$(dirname "$0")/.."
. demo/lib.sh
echo "router root: $ROUTER_ROOT"
for part in demo/[0-9][0-9]-*.sh; do
  . "./$part"
done
say "done: everything started by the demo is stopped"

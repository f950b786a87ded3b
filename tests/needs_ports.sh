#!/usr/bin/env bash
# Runs a test that needs fixed ports of its own (the product's first port,
# 5055, is one): when another program on the machine listens on one of
# them, the test cannot run here and is reported as skipped (exit 77), with
# the reason, rather than failing. scripts/test runs every tree in a private
# network namespace where the machine allows one, so that there the ports
# are always free.
#
#   needs_ports.sh PORT... -- COMMAND [ARGS...]
set -uo pipefail
ports=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do ports+=("$1"); shift; done
[ "${1:-}" = "--" ] && [ $# -gt 1 ] || { echo "usage: needs_ports.sh PORT... -- COMMAND [ARGS...]" >&2; exit 2; }
shift
for port in "${ports[@]}"; do
  # A connection that is accepted means something listens there; so does
  # one that is neither accepted nor refused within a few seconds (a
  # listener whose queue of unaccepted connections is full drops new ones).
  # Only a refusal says the port is free.
  status=0
  timeout 5 bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$1"' _ "$port" 2>/dev/null || status=$?
  if [ "$status" -eq 0 ] || [ "$status" -eq 124 ]; then
    echo "SKIPPED: port $port on 127.0.0.1 is in use by another program on this machine; this test needs it"
    exit 77
  fi
done
exec "$@"

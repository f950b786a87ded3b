# Sourced by the scripts: a private network for the tests. Tests that need
# fixed ports (the product's 5055 above all) must not meet another program
# of the machine there: a reader's open e-book, an author's bookserve. Where
# the machine allows it (root, a kernel with network namespaces, iproute2),
# ebook_in_private_net runs its command in a network namespace of its own
# whose loopback is up and empty; elsewhere it runs it as it is, and those
# tests check their ports themselves (tests/needs_ports.sh) and are skipped
# when another program holds them.
#
# Wine's server makes the Windows programs' sockets itself, so a Wine prefix
# whose server already runs outside would keep them outside: callers stop
# the project's own prefixes' servers before a Windows tree's run.

ebook_private_net_available() {
  command -v unshare >/dev/null 2>&1 && command -v ip >/dev/null 2>&1 &&
    unshare -n sh -c 'ip link set lo up' >/dev/null 2>&1
}

# ebook_in_private_net COMMAND [ARGS...]
ebook_in_private_net() {
  if ebook_private_net_available; then
    unshare -n sh -c 'ip link set lo up && exec "$@"' sh "$@"
  else
    "$@"
  fi
}

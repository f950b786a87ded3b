#!/usr/bin/env bash
# Requests per second and p99 latency of bookserve (release build) against
# nginx serving the same files from disk with keep-alive off, in one run:
# a 16 KB page and a 200 KB picture, 16 connections each, a new connection
# for every request.
#   bench/server.sh [seconds per run, default 10]
#
# Two measurements per file. Saturated: every connection asks again as soon
# as its answer is in; this gives the throughput ratio. Client and servers
# share the machine's cores, so the p99 measured there also depends on how
# much processor time a server leaves to the client: a server that answers
# more per second takes more of it, and the client's own waits lengthen
# every latency it measures. The latencies are therefore compared at one
# and the same load as well: both servers get half of nginx's saturated
# rate, evenly spaced, each request timed from the moment it was due.
#
# The ratio comes from our own load client (bench_http_load, two threads
# like wrk): it makes one connection per answer for both servers. wrk's
# figures are printed too, but they are not comparable: given an answer
# that ends with the connection (bookserve sends archive entries without a
# length), wrk counts a read error and connects twice, so bookserve accepts
# and closes an unused connection for every answer; nginx sends a length
# and gets one connection per answer.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
duration="${1:-10}"

command -v wrk >/dev/null || { echo "wrk is missing: run scripts/setup" >&2; exit 1; }
command -v nginx >/dev/null || { echo "nginx is missing: run scripts/setup" >&2; exit 1; }
scripts/build bench >/dev/null

work="$(mktemp -d)"
cleanup() {
  [ -n "${serve_pid:-}" ] && kill "$serve_pid" 2>/dev/null && wait "$serve_pid" 2>/dev/null
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The book: a 16 KB page of text and a 200 KB picture of noise.
mkdir -p "$work/book" "$work/site"
chmod 755 "$work"  # nginx workers run as an unprivileged user
python3 - "$work/book" <<'PY'
import os, random, sys
random.seed(1)
d = sys.argv[1]
words = ["keeper", "lamp", "lens", "tide", "storm", "light", "ship", "night"]
text = "<html><body>"
while len(text) < 16384 - 20:
    text += "<p>" + " ".join(random.choice(words) for _ in range(12)) + "</p>\n"
text = (text + "</body></html>").ljust(16384)[:16384]
open(os.path.join(d, "page.htm"), "w").write(text)
open(os.path.join(d, "picture.png"), "wb").write(bytes(random.getrandbits(8) for _ in range(200 * 1024)))
PY
cp "$work/book/page.htm" "$work/book/picture.png" "$work/site/"
build/bench/bin/bookc pack "$work/book" "$work/book.bin" >/dev/null 2>"$work/pack.err" || { cat "$work/pack.err" >&2; exit 1; }

build/bench/bin/bookserve "$work/book.bin" > "$work/serve.out" &
serve_pid=$!
for _ in $(seq 100); do grep -q Serving "$work/serve.out" 2>/dev/null && break; sleep 0.1; done
book_port=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\)\/.*/\1/p' "$work/serve.out")
[ -n "$book_port" ] || { echo "bookserve did not start" >&2; exit 1; }

nginx_port=18089
cat > "$work/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  keepalive_timeout 0;
  default_type text/html;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/site;
  }
}
CONF
nginx -c "$work/nginx.conf"
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$nginx_port/page.htm" && break; sleep 0.1; done

# Runs wrk and prints "requests/s p99-ms errors". Both servers close every
# connection after its answer, which wrk counts as a read error; those are
# not failures. Errors are failed connects and writes, timeouts and answers
# outside 2xx/3xx.
measure() {
  local out
  out=$(wrk -t2 -c16 -d"${duration}s" --latency "$1" 2>&1)
  local rps p99 errors
  rps=$(echo "$out" | awk '/Requests\/sec/ {print $2}')
  p99=$(echo "$out" | awk '$1 == "99%" {v=$2; if (v ~ /us$/) {sub("us","",v); v=v/1000} else if (v ~ /ms$/) {sub("ms","",v)} else if (v ~ /s$/) {sub("s","",v); v=v*1000}; print v}')
  errors=$(echo "$out" | awk '
    /Socket errors/ {gsub(",", ""); for (i = 1; i <= NF; i++) if ($i == "connect" || $i == "write" || $i == "timeout") s += $(i + 1)}
    /Non-2xx/ {s += $NF}
    END {print s + 0}')
  echo "$rps $p99 $errors"
}

# Prints "requests/s p99-ms errors" from our load client; a third argument
# is a fixed rate in requests per second.
measure_fair() {
  build/bench/bin/bench_http_load 127.0.0.1 "$1" "$2" "$duration" 16 2 "${3:-0}"
}

echo "server: 2 client threads, 16 connections, a connection per request, ${duration}s per run; nginx with keep-alive off"
for file in page.htm picture.png; do
  read -r b_rps b_p99 b_err < <(measure_fair "$book_port" "/$file")
  read -r n_rps n_p99 n_err < <(measure_fair "$nginx_port" "/$file")
  ratio=$(awk -v a="$b_rps" -v b="$n_rps" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}')
  printf '  %-12s saturated   bookserve %9.0f req/s p99 %7.2f ms errors %s | nginx %9.0f req/s p99 %7.2f ms errors %s | ratio %s\n' \
    "$file" "$b_rps" "$b_p99" "$b_err" "$n_rps" "$n_p99" "$n_err" "$ratio"
  rate=$(awk -v n="$n_rps" 'BEGIN {printf "%d", n / 2}')
  read -r b_rps b_p99 b_err < <(measure_fair "$book_port" "/$file" "$rate")
  read -r n_rps n_p99 n_err < <(measure_fair "$nginx_port" "/$file" "$rate")
  printf '  %-12s same load   bookserve %9.0f req/s p99 %7.2f ms errors %s | nginx %9.0f req/s p99 %7.2f ms errors %s\n' \
    "$file" "$b_rps" "$b_p99" "$b_err" "$n_rps" "$n_p99" "$n_err"
done
echo "  goal: ratio >= 1.0 on both files, zero errors, p99 at the same load no worse than nginx's"
echo "wrk (not comparable, see the top of this script):"
for file in page.htm picture.png; do
  read -r b_rps b_p99 b_err < <(measure "http://127.0.0.1:$book_port/$file")
  read -r n_rps n_p99 n_err < <(measure "http://127.0.0.1:$nginx_port/$file")
  printf '  %-12s bookserve %9.0f req/s p99 %7.2f ms errors %s | nginx %9.0f req/s p99 %7.2f ms errors %s\n' \
    "$file" "$b_rps" "$b_p99" "$b_err" "$n_rps" "$n_p99" "$n_err"
done

#!/usr/bin/env bash
# A private printer for the print tests: a CUPS daemon of the test run's own,
# with one PDF queue, reached through a socket in the build tree. It never
# touches a CUPS the machine runs: its configuration, socket, spool, cache,
# logs and output all live in DIR, and it is stopped by its process id.
#
#   print_queue.sh start DIR          start the daemon (ctest fixture set-up)
#   print_queue.sh stop DIR           stop it and keep its log (clean-up)
#   print_queue.sh run DIR -- CMD...  run CMD with CUPS_SERVER naming the
#                                     daemon's socket and EBOOK_PRINT_OUTPUT
#                                     its output folder; exit 77 (skipped)
#                                     with the reason when no daemon runs
#
# The queue "EbookPDF" is the daemon's default printer. It takes PostScript
# (what a Windows program's printer driver under Wine sends), and its backend
# (ours: the PDF printer package's own writes only to system folders)
# turns each job into DIR/out/job-<id>-<title>.pdf with ghostscript. Where the
# daemon cannot run (not installed, not root, no unprivileged account to run
# jobs as, a socket path too long), "start" succeeds anyway and leaves the
# reason in DIR/unavailable, which "run" reports as the skip reason: the
# print tests are then skipped, never silently passed.
#
# The daemon's job account must reach these folders. Where it cannot (a
# build tree inside a folder only its owner may enter, as a fresh temporary
# checkout is), the daemon's files live in a private folder of /tmp made for
# this run instead; DIR/home names it, and "stop" removes it.
set -uo pipefail

usage() { echo "usage: print_queue.sh start|stop DIR | run DIR -- COMMAND [ARGS...]" >&2; exit 2; }
[ $# -ge 2 ] || usage
mode=$1
dir=$2
shift 2
mkdir -p "$dir" || exit 1
dir=$(cd "$dir" && pwd)
queue=EbookPDF

# Where the daemon's files are: DIR, or the private folder DIR/home names.
home_of() {
  local home
  home=$(cat "$dir/home" 2>/dev/null) && [ -d "$home" ] && { echo "$home"; return; }
  echo "$dir"
}
work=$(home_of)
socket=$work/cups.sock

# The daemon's process id, when the one recorded is still our daemon.
running_pid() {
  local pid
  pid=$(cat "$dir/cupsd.pid" 2>/dev/null) || return 1
  [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] || return 1
  tr '\0' ' ' <"/proc/$pid/cmdline" | grep -qF -- "$work/conf/cupsd.conf" || return 1
  echo "$pid"
}

stop_daemon() {
  local pid
  pid=$(running_pid) || { rm -f "$dir/cupsd.pid"; return 0; }
  kill "$pid" 2>/dev/null
  for _ in $(seq 50); do [ -e "/proc/$pid" ] || break; sleep 0.1; done
  [ -e "/proc/$pid" ] && kill -KILL "$pid" 2>/dev/null
  rm -f "$dir/cupsd.pid"
}

# Removes the private folder of an earlier run, if there was one.
remove_home() {
  local home
  home=$(cat "$dir/home" 2>/dev/null) || return 0
  case "$home" in
    /tmp/ebook-print-queue.*)
      [ -d "$home/log" ] && rm -rf "$dir/log" && cp -r "$home/log" "$dir/log"  # the log stays with the tree
      rm -rf "$home" ;;
  esac
  rm -f "$dir/home"
  work=$dir
  socket=$work/cups.sock
}

unavailable() {
  echo "$1" >"$dir/unavailable"
  echo "print queue: not available: $1"
  exit 0
}

start() {
  stop_daemon
  remove_home
  rm -rf "$dir/conf" "$dir/bin" "$dir/spool" "$dir/cache" "$dir/state" "$dir/out" "$dir/log" "$dir/unavailable" \
         "$socket"
  local cupsd serverbin user ppd
  cupsd=$(command -v cupsd || echo /usr/sbin/cupsd)
  [ -x "$cupsd" ] || unavailable "CUPS is not installed (scripts/setup installs it)"
  command -v gs >/dev/null || unavailable "ghostscript is not installed (scripts/setup installs it)"
  [ "$(id -u)" -eq 0 ] || unavailable "a CUPS daemon must be started as root; this run is not"
  # Jobs run under an unprivileged account: CUPS refuses root for them.
  for user in lp nobody; do id -u "$user" >/dev/null 2>&1 && break; user=; done
  [ -n "$user" ] || unavailable "no unprivileged account (lp, nobody) to run print jobs as"
  if ! runuser -u "$user" -- test -x "$dir" 2>/dev/null; then
    work=$(mktemp -d /tmp/ebook-print-queue.XXXXXX) || unavailable "no private folder in /tmp for the daemon"
    chmod 0755 "$work"
    echo "$work" >"$dir/home"
    socket=$work/cups.sock
  fi
  # A Unix socket path holds at most 107 bytes.
  [ ${#socket} -le 100 ] || unavailable "the socket path $socket is too long for a Unix socket"
  for serverbin in /usr/lib/cups /usr/libexec/cups; do [ -x "$serverbin/daemon/cups-exec" ] && break; serverbin=; done
  [ -n "$serverbin" ] || unavailable "CUPS's helper programs (cups-exec) are missing"
  ppd=$(ls /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd /usr/share/ppd/cups-pdf/*.ppd 2>/dev/null | head -1)
  [ -n "$ppd" ] || unavailable "the PDF printer's description (printer-driver-cups-pdf) is not installed"

  mkdir -p "$work/conf/ppd" "$work/bin/backend" "$work/spool/tmp" "$work/cache" "$work/state" "$work/log" "$work/out"
  # The daemon's programs are the installed ones, except the backend.
  local part
  for part in "$serverbin"/*; do
    [ "$(basename "$part")" = backend ] || ln -s "$part" "$work/bin/$(basename "$part")"
  done
  cat >"$work/bin/backend/ebookpdf" <<'EOF'
#!/bin/sh
# CUPS backend: ebookpdf:/FOLDER. Writes each job, converted to PDF, to
# FOLDER/job-<id>-<title>.pdf (the title's letters, digits, "-" and "_");
# the file appears only once it is whole.
[ $# -eq 0 ] && { echo 'direct ebookpdf "Unknown" "PDF file"'; exit 0; }
folder=${DEVICE_URI#ebookpdf:}
input=${6:--}
umask 022
title=$(printf '%s' "$3" | tr -c 'A-Za-z0-9_-' '_' | cut -c1-64)
out="$folder/job-$1-$title.pdf"
if gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile="$out.part" "$input" >&2; then
  mv "$out.part" "$out" && exit 0
fi
echo "ERROR: the job could not be converted to PDF" >&2
rm -f "$out.part"
exit 1
EOF
  chmod 0755 "$work/bin/backend/ebookpdf"
  cp "$ppd" "$work/conf/ppd/$queue.ppd"
  chmod 0644 "$work/conf/ppd/$queue.ppd"
  # Written by the job's account only.
  chown "$user" "$work/out" && chmod 0755 "$work/out"

  cat >"$work/conf/cups-files.conf" <<EOF
User $user
Group $(id -gn "$user")
SystemGroup root
ServerRoot $work/conf
ServerBin $work/bin
RequestRoot $work/spool
TempDir $work/spool/tmp
CacheDir $work/cache
StateDir $work/state
AccessLog $work/log/access_log
ErrorLog $work/log/error_log
PageLog $work/log/page_log
FileDevice No
Printcap $work/state/printcap
ServerKeychain $work/conf/ssl
EOF
  cat >"$work/conf/cupsd.conf" <<EOF
LogLevel info
Listen $socket
Browsing No
WebInterface No
DefaultAuthType None
MaxJobs 0
PreserveJobFiles No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
  cat >"$work/conf/printers.conf" <<EOF
<DefaultPrinter $queue>
Info PDF printer of the test run
MakeModel PDF file
DeviceURI ebookpdf:$work/out
State Idle
Accepting Yes
Shared No
</DefaultPrinter>
EOF
  chmod 0600 "$work/conf/printers.conf"

  # In the foreground, so that its process id is the daemon's; detached from
  # the caller's output, which ctest waits on.
  "$cupsd" -f -c "$work/conf/cupsd.conf" -s "$work/conf/cups-files.conf" </dev/null >"$work/log/cupsd.out" 2>&1 &
  echo $! >"$dir/cupsd.pid"
  local ready=
  for _ in $(seq 100); do
    if ! running_pid >/dev/null; then break; fi
    if [ -S "$socket" ] && CUPS_SERVER=$socket lpstat -d 2>/dev/null | grep -qF "$queue"; then ready=1; break; fi
    sleep 0.1
  done
  if [ -z "$ready" ]; then
    stop_daemon
    unavailable "the private CUPS daemon did not start: $(tail -3 "$work/log/error_log" "$work/log/cupsd.out" 2>/dev/null | tr '\n' ' ')"
  fi
  echo "print queue: $queue at $socket, output in $work/out (daemon $(cat "$dir/cupsd.pid"))"
}

case "$mode" in
  start) start ;;
  stop)
    stop_daemon
    remove_home
    echo "print queue: stopped" ;;
  run)
    [ "${1:-}" = "--" ] && [ $# -gt 1 ] || usage
    shift
    if [ -f "$dir/unavailable" ]; then
      echo "SKIPPED: no printer queue: $(cat "$dir/unavailable")"
      exit 77
    fi
    if ! running_pid >/dev/null; then
      echo "SKIPPED: no printer queue: the private CUPS daemon is not running (the ctest fixture print_queue_start starts it)"
      exit 77
    fi
    export CUPS_SERVER=$socket EBOOK_PRINT_OUTPUT=$work/out
    exec "$@" ;;
  *) usage ;;
esac

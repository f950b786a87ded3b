# Sourced by the scripts: Windows programs that open windows need an X
# display. Without one, ebook_private_display starts a private Xvfb on the
# first free display number from :90, exports DISPLAY and sets xvfb_pid to
# its process id (the caller ends it). With a display already set it does
# nothing and leaves xvfb_pid empty.
ebook_private_display() {
  xvfb_pid=
  [ -z "${DISPLAY:-}" ] || return 0
  local n
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then break; fi
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
}

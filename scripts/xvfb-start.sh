# Sourced by wine-run.sh and with-display.sh: starts a private Xvfb on the
# first free display.
#
#   start_xvfb NUMFILE    sets XVFB_PID and XVFB_NUMBER; 1 when it failed
#
# The server runs in its own session and holds no descriptor of its caller
# (wine-run.sh keeps its locks on 8 and 9), so it never keeps a lock or a
# pipe of the caller's open.
start_xvfb() {
  local numfile="$1" number=
  rm -f "$numfile"
  setsid Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp \
    >"$numfile" 2>/dev/null </dev/null 8>&- 9>&- &
  XVFB_PID=$!
  for _ in $(seq 1 200); do
    read -r number 2>/dev/null <"$numfile"
    [ -n "$number" ] && [ -S "/tmp/.X11-unix/X$number" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    number=
    sleep 0.05
  done
  rm -f "$numfile"
  if [ -z "$number" ]; then
    kill "$XVFB_PID" 2>/dev/null
    XVFB_PID=
    return 1
  fi
  XVFB_NUMBER="$number"
}

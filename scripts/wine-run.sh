#!/usr/bin/env bash
# Runs one Windows program under Wine and exits with its exit code.
# CTest uses this as the emulator of the cross build; scripts may call it too.
#
#   scripts/wine-run.sh [--for PROGRAM.exe] PROGRAM.exe|COMMAND [ARGUMENTS...]
#
# The program's PE machine field picks the Wine: a 32-bit program (i386)
# runs with the 32-bit Wine in a 32-bit prefix, $ORVANTA_WINEPREFIX or
# build/wineprefix beside this script's folder; a 64-bit one (x86-64) with
# the 64-bit Wine (/usr/lib/wine/wine64) in a 64-bit prefix of its own,
# $ORVANTA_WINEPREFIX64 or build/wineprefix64 (scripts/wine-arch.sh). A Wine
# command (reg, cmd) runs in the prefix of the program --for names; without
# it, in the 32-bit prefix where the host starts 32-bit programs, else in the
# 64-bit one. A prefix is made on first use (wineboot -i, once, under a lock),
# so later calls start at once.
#
# When DISPLAY is set, the program uses it. Otherwise the calls of one prefix
# share a private Xvfb: the first call starts it, and the last call to leave
# ends the prefix's wineserver and that Xvfb, so nothing keeps running after
# the tests. Wine's desktop process stays on the display that it first met, so
# every concurrent call of a prefix must see the same display.
set -u

root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/xvfb-start.sh"
. "$root/scripts/wine-arch.sh"

if [ $# -eq 0 ] || { [ "$1" = --for ] && [ $# -lt 3 ]; }; then
  echo "usage: $0 [--for PROGRAM.exe] PROGRAM.exe [ARGUMENTS...]" >&2
  exit 2
fi
like="$1"
if [ "$1" = --for ]; then
  like="$2"
  shift 2
fi

choose_wine "$like"
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No prompts to install Mono or Gecko: the programs under test need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

mkdir -p "$WINEPREFIX" || exit 1
setup_lock="$WINEPREFIX/.orvanta-setup.lock"
users_lock="$WINEPREFIX/.orvanta-users.lock"
display_file="$WINEPREFIX/.orvanta-display"
ready_file="$WINEPREFIX/.orvanta-ready"
own_display=

# Fd 9: the setup lock, held while the display or the prefix is made or ended.
# Fd 8: the users lock, held shared for as long as this call runs a program.
# Neither may leak into Wine: a wineserver that inherited one would hold it
# for as long as it lives.

display_alive() {
  local number pid
  [ -s "$display_file" ] || return 1
  read -r number pid <"$display_file" || return 1
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && [ -S "/tmp/.X11-unix/X$number" ] || return 1
  export DISPLAY=":$number"
}

start_display() {
  start_xvfb "$WINEPREFIX/.orvanta-displayfd" || {
    echo "wine-run: could not start Xvfb" >&2
    return 1
  }
  echo "$XVFB_NUMBER $XVFB_PID" >"$display_file"
  export DISPLAY=":$XVFB_NUMBER"
}

make_prefix() {
  [ -f "$ready_file" ] && return 0
  echo "wine-run: making Wine prefix $WINEPREFIX ($arch)" >&2
  WINEARCH=$arch "$wine" wineboot -i >/dev/null 2>&1 8>&- 9>&- </dev/null
  # Without a window manager Wine waits about 2 s whenever a managed window
  # closes; unmanaged windows close at once.
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    >/dev/null 2>&1 8>&- 9>&- </dev/null || return 1
  # A new 64-bit prefix's service processes may keep restarting (its 32-bit
  # half can't start) and never let the server end by itself: end it.
  [ "$arch" = win64 ] && wineserver -k 8>&- 9>&-
  wineserver -w 8>&- 9>&-
  touch "$ready_file"
}

end_display() {
  local number pid i
  read -r number pid <"$display_file" 2>/dev/null || return 0
  rm -f "$display_file"
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null
  for i in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.02
  done
  kill -9 "$pid" 2>/dev/null
}

# The last call to leave ends the wineserver and the display that it started.
leave() {
  exec 8>&-
  [ -n "$own_display" ] || return 0
  exec 9>"$setup_lock"
  flock -x 9
  exec 8>"$users_lock"
  if flock -xn 8; then
    wineserver -k >/dev/null 2>&1 8>&- 9>&-
    wineserver -w 8>&- 9>&-
    end_display
  fi
  exec 8>&- 9>&-
}

exec 9>"$setup_lock"
flock -x 9
if [ -z "${DISPLAY:-}" ]; then
  own_display=1
  display_alive || start_display || exit 1
fi
make_prefix || {
  echo "wine-run: could not make the Wine prefix ($arch; this host: $(bash "$root/scripts/host-kind.sh"))" >&2
  exit 1
}
exec 8>"$users_lock"
flock -s 8
exec 9>&-

# Wine's service processes (and the desktop process) inherit the output of the
# program that starts them and may outlive it; handed CTest's pipes, they would
# keep it waiting for the end of the output. So, unless the output is a
# terminal, it goes to files that are copied out once the program has ended.
out_dir=
if [ ! -t 1 ] || [ ! -t 2 ]; then
  out_dir="$(mktemp -d)" || exit 1
fi
relay_output() {
  [ -n "$out_dir" ] || return 0
  cat "$out_dir/out"
  cat "$out_dir/err" >&2
  rm -rf "$out_dir"
}

child=
on_signal() {
  [ -n "$child" ] && kill "$child" 2>/dev/null
  wait "$child" 2>/dev/null
  relay_output
  leave
  exit 143
}
trap on_signal TERM INT HUP

if [ -n "$out_dir" ]; then
  "$wine" "$@" >"$out_dir/out" 2>"$out_dir/err" </dev/null 8>&- &
else
  "$wine" "$@" 8>&- &
fi
child=$!
wait "$child"
status=$?
# A signal interrupts wait with a status above 128 while the child still runs.
while kill -0 "$child" 2>/dev/null; do
  wait "$child"
  status=$?
done
trap - TERM INT HUP
relay_output
leave
exit "$status"

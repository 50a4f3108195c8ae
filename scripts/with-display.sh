#!/usr/bin/env bash
# Runs a command (typically ctest) with one Xvfb and one Wine server shared by
# every Wine call inside it, and ends both afterwards.
#
#   scripts/with-display.sh [--for PROGRAM.exe] ctest --preset win32
#
# Each call of wine-run.sh then starts in a few hundredths of a second instead
# of starting its own display and server. The prefix is the one wine-run.sh
# uses for PROGRAM.exe (the 32-bit one without --for where the host starts
# 32-bit programs; see scripts/wine-arch.sh).
set -u

here="$(cd "$(dirname "$0")" && pwd)"
. "$here/xvfb-start.sh"
. "$here/wine-arch.sh"
like=
if [ "${1:-}" = --for ]; then
  like="${2:-}"
  shift 2
fi
if [ $# -eq 0 ]; then
  echo "usage: $0 [--for PROGRAM.exe] COMMAND [ARGUMENTS...]" >&2
  exit 2
fi
choose_wine "$like"
if [ "$arch" = win64 ]; then export ORVANTA_WINEPREFIX64="$prefix"; else export ORVANTA_WINEPREFIX="$prefix"; fi

xvfb_pid=
if [ -z "${DISPLAY:-}" ]; then
  numfile="$(mktemp)"
  start_xvfb "$numfile" || {
    echo "with-display: could not start Xvfb" >&2
    exit 1
  }
  xvfb_pid="$XVFB_PID"
  export DISPLAY=":$XVFB_NUMBER"
fi

# A first Wine call makes the prefix when it is missing. Then one server stays
# up between the calls instead of starting anew for each.
if [ ! -f "$prefix/.orvanta-ready" ]; then
  "$here/wine-run.sh" --for "$like" cmd /c exit 0 >/dev/null 2>&1
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1
fi
WINEPREFIX="$prefix" wineserver -p >/dev/null 2>&1 </dev/null

"$@"
status=$?

WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1
if [ -n "$xvfb_pid" ]; then
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
fi
exit "$status"

# Sourced by wine-run.sh and with-display.sh: choose_wine LIKE sets arch
# (win32, win64), wine (the loader that starts it) and prefix (absolute) for
# the program LIKE, by its PE machine field: i386 takes the 32-bit Wine and
# $ORVANTA_WINEPREFIX (default build/wineprefix), x86-64 the 64-bit Wine and
# $ORVANTA_WINEPREFIX64 (default build/wineprefix64). For anything else (a
# Wine command such as reg, or nothing): the 32-bit ones where the host starts
# 32-bit programs, else the 64-bit ones (scripts/host-kind.sh).

# The machine field of a PE file: 14c (i386), 8664 (x86-64); empty otherwise.
pe_machine() {
  [ -f "$1" ] || return 0
  local at
  at="$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')"
  [ -n "$at" ] && od -An -tx2 -j"$((at + 4))" -N2 "$1" 2>/dev/null | tr -d ' '
}

choose_wine() {
  local top
  top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  case "$(pe_machine "${1:-}")" in
    14c) arch=win32 ;;
    8664) arch=win64 ;;
    *) if bash "$top/scripts/host-kind.sh" runs32; then arch=win32; else arch=win64; fi ;;
  esac
  if [ "$arch" = win64 ]; then
    wine=/usr/lib/wine/wine64
    prefix="${ORVANTA_WINEPREFIX64:-$top/build/wineprefix64}"
  else
    wine=wine
    prefix="${ORVANTA_WINEPREFIX:-$top/build/wineprefix}"
  fi
  case "$prefix" in /*) ;; *) prefix="$PWD/$prefix" ;; esac
}

#!/usr/bin/env bash
# Says which Windows programs this host can start under Wine, found by
# starting each Wine loader (not by guessing from names): one word on stdout.
#
#   both      32-bit code runs, so the 32-bit Wine starts the 32-bit program,
#             and the 64-bit Wine starts its 64-bit twin
#   64-only   only the 64-bit Wine starts: a kernel without IA-32 emulation
#             (or without the 32-bit Wine) runs no 32-bit code at all
#   32-only   only the 32-bit Wine starts
#   none      neither
#
# ORVANTA_HOST_KIND, when set to one of these words, is the answer without
# trying: ORVANTA_HOST_KIND=64-only on a host that runs both checks what a
# 64-bit-only host does.
#
#   scripts/host-kind.sh             the word
#   scripts/host-kind.sh runs32      exit 0 when 32-bit programs can start
#   scripts/host-kind.sh runs64      exit 0 when 64-bit programs can start
set -u

probe() {
  case "${ORVANTA_HOST_KIND:-}" in
    both|64-only|32-only|none) echo "$ORVANTA_HOST_KIND"; return ;;
    "") ;;
    *) echo "host-kind: ORVANTA_HOST_KIND must be both, 64-only, 32-only or none" >&2
       exit 2 ;;
  esac
  local runs32=0 runs64=0
  # The 32-bit loader is 32-bit code itself: it starts only where such code runs.
  /usr/lib/wine/wine --version >/dev/null 2>&1 && runs32=1
  /usr/lib/wine/wine64 --version >/dev/null 2>&1 && runs64=1
  case "$runs32$runs64" in
    11) echo both ;;
    01) echo 64-only ;;
    10) echo 32-only ;;
    *) echo none ;;
  esac
}

kind="$(probe)"
case "${1:-}" in
  "") echo "$kind" ;;
  runs32) [ "$kind" = both ] || [ "$kind" = 32-only ] ;;
  runs64) [ "$kind" = both ] || [ "$kind" = 64-only ] ;;
  *) echo "usage: $0 [runs32|runs64]" >&2; exit 2 ;;
esac

#!/usr/bin/env bash
# The program as a stub of the native packer, without starting it: the
# bundled example packs into a copy and lists back whole.
#   native_pack_test.sh ORVANTA_PACK UPDATE_EXE
set -euo pipefail
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$(dirname "$0")/../examples/patch-1.1" "$work/build-dir"
"$1" build --quiet "$work/build-dir" --stub "$2" | grep -qx "Done: 4 files (170242 bytes) succesfully saved into resources."
"$1" list "$work/build-dir/Update.exe" >"$work/list.txt"
grep -qx "files: 4" "$work/list.txt"
grep -qx "title: Orvanta Patch 1.1" "$work/list.txt"
"$1" verify "$work/build-dir/Update.exe" "$work/build-dir" >/dev/null

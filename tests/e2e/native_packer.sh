#!/usr/bin/env bash
# The program as the Linux packer's stub, without starting it (so it checks
# a build the host can't start too): the bundled example, packed in its build
# directory as "Update.exe /BUILD" would, lists and verifies back. Update.exe
# installing a package from the Linux packer under Wine:
# tests/packer/packer_tools.sh.
#   native_packer.sh ORVANTA_PACK UPDATE_EXE
set -euo pipefail
packer="$1" update_exe="$2"
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cp -r "$root/examples/patch-1.1" "$work/build-dir"
cp "$update_exe" "$work/build-dir/Update.exe"
(cd "$work/build-dir" && "$packer") | grep -qx "Done: 4 files (170242 bytes) succesfully saved into resources."
"$packer" list "$work/build-dir/Update.exe" | grep -qx "title: Orvanta Patch 1.1"
"$packer" verify "$work/build-dir/Update.exe" "$work/build-dir" >/dev/null

#!/usr/bin/env bash
# A package built on Linux by orvanta-pack installs under Wine end to end:
# the same example as the demo, checked byte for byte.
#   native_packer.sh ORVANTA_PACK UPDATE_EXE DRIVER_EXE
set -euo pipefail
packer="$1" update_exe="$2" driver="$3"
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cp -r "$root/examples/patch-1.1" "$work/build-dir"
cp "$update_exe" "$work/build-dir/Update.exe"
(cd "$work/build-dir" && "$packer") | grep -qx "Done: 4 files (170242 bytes) succesfully saved into resources."
# An empty build directory fails the same way /BUILD does.
mkdir "$work/empty"
status=0
(cd "$work/empty" && "$packer" 2>"$work/error.txt") || status=$?
test "$status" -eq 255
grep -qx "Error: 0 files found!" "$work/error.txt"

mkdir -p "$work/game/data/maps" "$work/game/data/sounds" "$work/game/docs"
printf 'MZ' >"$work/game/ov.exe"
# Wine's drive Z: is the root folder. TAR_DIR goes where the game's 32-bit
# installer puts it, the 32-bit view, which both programs read.
game_dir="Z:$(printf %s "$work/game" | tr / '\\')"
"$root/scripts/wine-run.sh" --for "$update_exe" reg add 'HKLM\SOFTWARE\Mervolk\Orvanta\1.00' \
  /v TAR_DIR /d "$game_dir" /f /reg:32 >/dev/null
"$root/scripts/wine-run.sh" "$driver" "$work/build-dir/Update.exe" "$work/game" "" \
  window press Update box press OK exit | tr -d "\r" | tee "$work/driver.txt"
grep -q 'text="Orvanta was succesfuly updated."' "$work/driver.txt"
grep -qx "exit 0" "$work/driver.txt"
(cd "$root/examples/patch-1.1/Update" && find . -type f) | while read -r f; do
  cmp "$root/examples/patch-1.1/Update/$f" "$work/game/$f"
done
test "$(stat -c %s "$work/game/Update.ver")" -eq 8
echo "native packer: package installed byte for byte"

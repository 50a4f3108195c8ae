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

# install PACKAGE GAME SOURCE: installs into a new game folder (its text in
# driver.txt), and then GAME holds each file of SOURCE byte for byte.
install() {
  mkdir -p "$2/data/maps" "$2/data/sounds" "$2/docs"
  printf 'MZ' >"$2/ov.exe"
  game_dir="$(winepath -w "$2" 2>/dev/null)"
  "$root/scripts/wine-run.sh" reg add 'HKLM\SOFTWARE\Mervolk\Orvanta\1.00' /v TAR_DIR /d "$game_dir" /f >/dev/null
  "$root/scripts/wine-run.sh" "$driver" "$1" "$2" "" \
    window press Update box press OK exit | tr -d "\r" | tee "$work/driver.txt" || true
  (cd "$3" && find . -type f) | while read -r f; do cmp "$3/$f" "$2/$f"; done
}
install "$work/build-dir/Update.exe" "$work/game" "$root/examples/patch-1.1/Update"
grep -q 'text="Orvanta was succesfuly updated."' "$work/driver.txt"
grep -qx "exit 0" "$work/driver.txt"
test "$(stat -c %s "$work/game/Update.ver")" -eq 8
echo "native packer: package installed byte for byte"

# Compressed and stored records mixed, with an empty file and one that
# grows when compressed; then one compressed record damaged.
cp -r "$root/examples/patch-1.1" "$work/z"
: >"$work/z/Update/docs/empty.txt"
head -c 3000 /dev/urandom >"$work/z/Update/data/noise.bin"
seq 1 20000 >"$work/z/Update/data/maps/grid.txt"
"$packer" build --compress --quiet "$work/z" --stub "$update_exe" >/dev/null
"$packer" list "$work/z/Update.exe" >"$work/list.txt"
grep -qE ' z  data\\maps\\grid.txt$' "$work/list.txt"
grep -qE ' 3000 +3000  data\\noise.bin$' "$work/list.txt"
install "$work/z/Update.exe" "$work/game-z" "$work/z/Update"
grep -qx "exit 0" "$work/driver.txt"
python3 - "$work/z/Update.exe" <<'PY'
import sys
image = bytearray(open(sys.argv[1], 'rb').read())
image[image.index(b'grid.txt\0') + 400] ^= 1
open(sys.argv[1], 'wb').write(image)
PY
install "$work/z/Update.exe" "$work/game-bad" "$work/game-bad"
grep -q '^The update package is damaged.$' "$work/driver.txt"
grep -q 'Nothing was changed." buttons="OK" ' "$work/driver.txt"
grep -qx "exit 255" "$work/driver.txt"
test "$(cd "$work/game-bad" && find . | sort | tr '\n' ' ')" = ". ./data ./data/maps ./data/sounds ./docs ./ov.exe "
echo "native packer: compressed package installed byte for byte, a damaged one changes nothing"

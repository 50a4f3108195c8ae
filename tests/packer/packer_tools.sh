#!/usr/bin/env bash
# orvanta-pack.exe under Wine and the native orvanta-pack on real patches:
# one built by "Update.exe /BUILD" under Wine, and one packed on Linux with
# names beyond ASCII that Update.exe then installs under Wine.
#   packer_tools.sh ORVANTA_PACK_EXE UPDATE_EXE DRIVER_EXE NATIVE_ORVANTA_PACK
set -euo pipefail
tool="$1" update_exe="$2" driver="$3" native="$4"
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
run() { "$root/scripts/wine-run.sh" "$@"; }
pack() { run "$tool" "$@"; }
# expect STATUS COMMAND...: runs it, its output in out.txt and err.txt.
expect() {
  local status=0
  "${@:2}" >"$work/out.txt" 2>"$work/err.txt" || status=$?
  sed -i 's/\r$//' "$work/out.txt" "$work/err.txt"
  if [ "$status" -ne "$1" ]; then
    echo "exit $status, not $1: ${*:2}"; cat "$work/out.txt" "$work/err.txt"; exit 1
  fi
}
# json PYTHON: asserts on the document d that out.txt holds.
json() { python3 -c "import json; d = json.load(open('$work/out.txt')); $1"; }

# A patch built by /BUILD: listed, extracted, verified; a changed byte is named.
cp -r "$root/examples/patch-1.1" "$work/built"
cp "$update_exe" "$work/built/Update.exe"
cp "$update_exe" "$work/Builder.exe"
run "$driver" "$work/Builder.exe" "$work/built" /BUILD box press OK exit | grep -q "exit 0"
expect 0 pack list "$work/built/Update.exe"
grep -qx "readme: docs\\\\Patch 1.1 notes.txt" "$work/out.txt"
grep -qE '^ +[0-3] +150007 +150007  data\\maps\\northern_pass.map$' "$work/out.txt"
expect 0 pack list --json "$work/built/Update.exe"
json "assert d['fileCount'] == 4 and d['totalBytes'] == 170242 == sum(r['size'] for r in d['records'])
assert d['title'] == 'Orvanta Patch 1.1' and d['problems'] == 0 and d['buildTime'].endswith(' UTC')
assert sorted(r['name'] for r in d['records'])[0] == 'data\\\\maps\\\\northern_pass.map'"
expect 0 pack extract "$work/built/Update.exe" "$work/extracted"
diff -r "$work/extracted" "$work/built/Update"
expect 0 pack verify "$work/built/Update.exe" "$work/built"
expect 0 "$native" verify "$work/built/Update.exe" "$work/built"
printf X | dd of="$work/built/Update/data/maps/northern_pass.map" bs=1 seek=70000 conv=notrunc 2>/dev/null
expect 1 pack verify "$work/built/Update.exe" "$work/built"
test "$(cat "$work/out.txt")" = 'different: data\maps\northern_pass.map'

# Names beyond ASCII packed on Linux, read by the Windows tool, installed
# under Wine under the same names.
mkdir -p "$work/names/Update/Données" "$work/game/Données"
printf abc >"$work/names/Update/café.txt"
printf 12 >"$work/names/Update/Données/été üß.bin"
expect 0 "$native" build "$work/names" --stub "$update_exe"
expect 0 pack list --json "$work/names/Update.exe"
json "assert sorted(r['name'] for r in d['records']) == ['Donn\u00e9es\\\\\u00e9t\u00e9 \u00fc\u00df.bin', 'caf\u00e9.txt']"
expect 0 pack verify "$work/names/Update.exe" "$work/names"
# install PACKAGE GAME: installs into the game folder GAME (the session in
# driver.txt).
install() {
  mkdir -p "$2"
  printf MZ >"$2/ov.exe"
  local game="Z:$(printf %s "$2" | tr / '\\')"
  run --for "$update_exe" reg add 'HKLM\SOFTWARE\Mervolk\Orvanta\1.00' /v TAR_DIR /d "$game" /f \
    /reg:32 >/dev/null
  run "$driver" "$1" "$2" "" window press Update box press OK exit | tr -d "\r" >"$work/driver.txt" ||
    true
}
install "$work/names/Update.exe" "$work/game"
grep -qx "exit 0" "$work/driver.txt"
cmp "$work/game/café.txt" "$work/names/Update/café.txt"
cmp "$work/game/Données/été üß.bin" "$work/names/Update/Données/été üß.bin"

# Compressed and stored records mixed, with an empty file and one that grows
# when compressed, packed on Linux and installed byte for byte; then one
# compressed record damaged: a package fault that changes nothing.
cp -r "$root/examples/patch-1.1" "$work/z"
: >"$work/z/Update/docs/empty.txt"
head -c 3000 /dev/urandom >"$work/z/Update/data/noise.bin"
seq 1 20000 >"$work/z/Update/data/maps/grid.txt"
expect 0 "$native" build --compress --quiet "$work/z" --stub "$update_exe"
expect 0 "$native" list "$work/z/Update.exe"
grep -qE ' z  data\\maps\\grid.txt$' "$work/out.txt"
grep -qE ' 3000 +3000  data\\noise.bin$' "$work/out.txt"
mkdir -p "$work/game-z/data/maps" "$work/game-z/data/sounds" "$work/game-z/docs"
install "$work/z/Update.exe" "$work/game-z"
grep -qx "exit 0" "$work/driver.txt"
(cd "$work/z/Update" && find . -type f) | while read -r f; do cmp "$work/z/Update/$f" "$work/game-z/$f"; done
python3 - "$work/z/Update.exe" <<'PY'
import sys
image = bytearray(open(sys.argv[1], 'rb').read())
image[image.index(b'grid.txt\0') + 400] ^= 1
open(sys.argv[1], 'wb').write(image)
PY
mkdir -p "$work/game-bad/data/maps" "$work/game-bad/data/sounds" "$work/game-bad/docs"
install "$work/z/Update.exe" "$work/game-bad"
grep -q '^The update package is damaged.$' "$work/driver.txt"
grep -q 'Nothing was changed." buttons="OK" ' "$work/driver.txt"
grep -qx "exit 255" "$work/driver.txt"
test "$(cd "$work/game-bad" && find . | sort | tr '\n' ' ')" = ". ./data ./data/maps ./data/sounds ./docs ./ov.exe "

# A patch made on Linux from the release a game has: deltas applied and
# checked by Update.exe under Wine (CryptoAPI's SHA-256, the held folders);
# in a game of another release nothing is written and the files are named.
mkdir -p "$work/release/data" "$work/d/Update/data"
seq 1 30000 >"$work/release/data/grid.txt"
head -c 200000 /dev/urandom >"$work/release/big.bin"
printf same >"$work/release/same.txt"
cp -r "$work/release/." "$work/d/Update/"
sed -i 's/^15000$/fifteen thousand/' "$work/d/Update/data/grid.txt"
printf X | dd of="$work/d/Update/big.bin" bs=1 seek=123456 conv=notrunc 2>/dev/null
expect 0 "$native" build --from "$work/release" --quiet "$work/d" --stub "$update_exe"
grep -q ': 1 files left out as unchanged, 2 sent as deltas' "$work/out.txt"
expect 2 pack build --from "$work/release" --quiet "$work/d"
for game in game-d game-other; do
  cp -r "$work/release" "$work/$game"
done
printf other >"$work/game-other/same.txt"
install "$work/d/Update.exe" "$work/game-d"
grep -qx "exit 0" "$work/driver.txt"
(cd "$work/d/Update" && find . -type f) | while read -r f; do cmp "$work/d/Update/$f" "$work/game-d/$f"; done
install "$work/d/Update.exe" "$work/game-other"
grep -q 'these files of the game are not the ones it was made for' "$work/driver.txt"
grep -qx "exit 255" "$work/driver.txt"
cmp "$work/game-other/big.bin" "$work/release/big.bin"

# The Windows tool builds too, from a stub; without one it says how to give one.
mkdir -p "$work/stubbed/Update"
printf a >"$work/stubbed/Update/a.txt"
expect 255 pack "$work/stubbed"
grep -q -- "--stub FILE" "$work/err.txt"
expect 0 pack build --quiet "$work/stubbed" --stub "$update_exe"
test "$(cat "$work/out.txt")" = "Done: 1 files (1 bytes) succesfully saved into resources."
expect 0 pack verify "$work/stubbed/Update.exe" "$work/stubbed"

expect 2 pack list --code-page x "$work/stubbed/Update.exe"
echo "packer tools: list, extract, verify and build on real patches, names installed"

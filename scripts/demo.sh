#!/usr/bin/env bash
# The main job, end to end and headless: builds the program, packs the
# bundled example build directory into an "Update.exe" with /BUILD, then
# installs that package into a sample game folder under Wine, pressing the
# window's buttons through the test driver. Saves a picture of the window in
# its progress state as build/demo/updating.png.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/setup.sh
# The 32-bit program where the host starts 32-bit code, else its 64-bit twin.
if bash scripts/host-kind.sh runs32; then
  preset=win32
  echo "== The 32-bit program (build/win32), under the 32-bit Wine"
else
  preset=win64
  echo "== This host runs no 32-bit code: the 64-bit twin (build/win64), under the 64-bit Wine"
fi
cmake --preset $preset >/dev/null
cmake --build --preset $preset -j"$(nproc)" --target Update driver >/dev/null

demo="$root/build/demo"
run() { "$root/scripts/wine-run.sh" "$@"; }
driver="$root/build/$preset/tests/driver/driver.exe"
rm -rf "$demo"
# The game as installed: its folders exist, the patch replaces files in them.
mkdir -p "$demo/game/data/maps" "$demo/game/data/sounds" "$demo/game/docs"
cp -r examples/patch-1.1 "$demo/build-dir"
cp build/$preset/Update.exe "$demo/build-dir/Update.exe"
cp build/$preset/Update.exe "$demo/Builder.exe"
printf 'MZ' >"$demo/game/ov.exe"   # the game's own executable, as the check wants

echo "== Building the package: Builder.exe /BUILD in $demo/build-dir"
run "$driver" "$demo/Builder.exe" "$demo/build-dir" "/BUILD" box press OK exit

echo "== Installing it into $demo/game"
# Wine's drive Z: is the root folder; the value goes where the game's 32-bit
# installer puts it, the registry's 32-bit view, which both programs read.
game_dir="Z:$(printf %s "$demo/game" | tr / '\\')"
run --for "$driver" reg add 'HKLM\SOFTWARE\Mervolk\Orvanta\1.00' /v TAR_DIR /d "$game_dir" /f /reg:32 \
  >/dev/null
run "$driver" "$demo/build-dir/Update.exe" "$demo/game" "" \
  window press Update waitpos 1004 100 shot "$demo/updating.bmp" \
  box press OK exit
python3 scripts/bmp_to_png.py "$demo/updating.bmp" "$demo/updating.png"

echo "== Checking the installed files byte for byte"
status=0
while IFS= read -r -d '' file; do
  relative="${file#examples/patch-1.1/Update/}"
  if cmp -s "$file" "$demo/game/$relative"; then
    echo "  same: $relative"
  else
    echo "  DIFFERENT: $relative"
    status=1
  fi
done < <(find examples/patch-1.1/Update -type f -print0)
test -s "$demo/game/Update.ver" && echo "  stamp: Update.ver ($(stat -c %s "$demo/game/Update.ver") bytes)"
echo "Picture of the window while updating: $demo/updating.png"
exit "$status"

#!/usr/bin/env bash
# Install time of a patch made from a release (deltas, the unchanged files
# checked) against the --compress patch of the same changed and new files,
# under Wine, on the real release pair of bench/delta_pair.py (run that
# first: it fetches the releases into WORK/old and WORK/new). Each round
# installs both, in alternating order, into a fresh copy of the old release;
# prints the patch sizes and the median whole-program times.
#
#   scripts/with-display.sh --for build/win32/Update.exe bash bench/delta_install.sh [WORK] [ROUNDS]
#
# Needs the win32 preset built (Update.exe and the test driver); builds the
# packer of the "package" preset (Release).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work="${1:-$root/build/delta-pair}"
rounds="${2:-9}"
exe="$root/build/win32/Update.exe"
driver="$root/build/win32/tests/driver/driver.exe"
work="$(cd "$work" && pwd)"
old="$work/old" new="$work/new"
[ -d "$old" ] && [ -d "$new" ] || { echo "no release pair in $work: run bench/delta_pair.py" >&2; exit 2; }
cmake --preset package >/dev/null
cmake --build --preset package --target orvanta-pack -j"$(nproc)" >/dev/null
packer="$root/build/package/orvanta-pack"
run() { "$root/scripts/wine-run.sh" "$@"; }

# The two patches: from the release, and the changed and new files compressed.
rm -rf "$work/patch-delta" "$work/patch-whole"
mkdir -p "$work/patch-delta/Update" "$work/patch-whole/Update"
cp -r "$new/." "$work/patch-delta/Update/"
(cd "$new" && find . -type f) | while read -r f; do
  cmp -s "$new/$f" "$old/$f" && continue
  mkdir -p "$(dirname "$work/patch-whole/Update/$f")"
  cp "$new/$f" "$work/patch-whole/Update/$f"
done
"$packer" build --from "$old" --quiet "$work/patch-delta" --stub "$exe"
"$packer" build --compress --quiet "$work/patch-whole" --stub "$exe"
stub=$(stat -c %s "$exe")
for kind in delta whole; do
  echo "patch $kind: $(( $(stat -c %s "$work/patch-$kind/Update.exe") - stub )) bytes of records"
done

# install KIND: the patch into a fresh copy of the old release; prints seconds.
install() {
  local game="$work/game-$1"
  rm -rf "$game"
  cp -r "$old" "$game"
  printf MZ >"$game/ov.exe"
  run --for "$exe" reg add 'HKLM\SOFTWARE\Mervolk\Orvanta\1.00' /v TAR_DIR \
    /d "Z:$(printf %s "$game" | tr / '\\')" /f /reg:32 >/dev/null
  local start end
  start=$(date +%s.%N)
  run "$driver" "$work/patch-$1/Update.exe" "$game" "" window press Update box press OK exit |
    tr -d '\r' >"$work/driver-$1.txt"
  end=$(date +%s.%N)
  grep -qx "exit 0" "$work/driver-$1.txt" || { cat "$work/driver-$1.txt" >&2; exit 1; }
  awk -v a="$end" -v b="$start" 'BEGIN { printf "%.3f\n", a - b }'
}

: >"$work/times-delta.txt"
: >"$work/times-whole.txt"
for round in $(seq 1 "$rounds"); do
  order="delta whole"
  [ $((round % 2)) -eq 0 ] && order="whole delta"
  for kind in $order; do install "$kind" >>"$work/times-$kind.txt"; done
done
diff -r -x ov.exe -x Update.ver "$new" "$work/game-delta" >/dev/null
median() { sort -n "$1" | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
d=$(median "$work/times-delta.txt") w=$(median "$work/times-whole.txt")
echo "install, whole program under Wine, median of $rounds: delta ${d} s, compressed ${w} s," \
  "ratio $(awk -v a="$d" -v b="$w" 'BEGIN { printf "%.2f", a / b }') (load: $(cut -d' ' -f1-3 /proc/loadavg))"

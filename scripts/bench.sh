#!/usr/bin/env bash
# The benchmark: build and install times of the update executable under Wine
# against cp -r, a minimal Win32 writer and a trivial GUI program, start-up
# against package size, the window's idle cost and, with --scale, the largest
# package that builds and installs. Prints its tables and writes them to
# $BENCH_DIR/results.md. Not part of the tests. About 5 minutes on 2 cores
# (--scale adds a few); --quick is a smoke run of about a minute.
#
#   scripts/bench.sh [--quick] [--scale] [--keep] [--native-packer PATH]
#                    [--compare-exe UPDATE.EXE]
#
# It measures the 32-bit program where the host starts 32-bit code, else the
# 64-bit twin under the 64-bit Wine, and says which. BENCH_DIR (default
# build/bench) holds its builds, payloads, runs and results; its Wine prefix
# is $ORVANTA_WINEPREFIX or $BENCH_DIR/wineprefix (for the twin
# $ORVANTA_WINEPREFIX64 or $BENCH_DIR/wineprefix64).
# A native packer adds a column: ORVANTA_NATIVE_PACKER or --native-packer,
# else the tree's orvanta-pack built natively in $BENCH_DIR/native; without
# one the column is skipped. The Wine server is kept running across runs and
# stopped at the end, with a private Xvfb. Payloads and runs are deleted at
# the end unless --keep is given.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work="${BENCH_DIR:-$root/build/bench}"
case "$work" in /*) ;; *) work="$PWD/$work" ;; esac
# The 32-bit program where the host starts 32-bit code, else its 64-bit twin.
if bash "$root/scripts/host-kind.sh" runs32; then
  arch=win32 processor=i686 wine=wine
  prefix="${ORVANTA_WINEPREFIX:-$work/wineprefix}"
else
  arch=win64 processor=x86_64 wine=/usr/lib/wine/wine64
  prefix="${ORVANTA_WINEPREFIX64:-$work/wineprefix64}"
fi
case "$prefix" in /*) ;; *) prefix="$PWD/$prefix" ;; esac
native="${ORVANTA_NATIVE_PACKER:-}"
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --native-packer) native="$2"; shift 2 ;;
    --compare-exe) args+=("$1" "$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"); shift 2 ;;
    --quick|--scale|--keep) args+=("$1"); shift ;;
    *) echo "usage: $0 [--quick] [--scale] [--keep] [--native-packer PATH] [--compare-exe PATH]" >&2
       exit 2 ;;
  esac
done
mkdir -p "$work"

echo "# benchmarking the $arch program under $wine (this host starts: $(bash "$root/scripts/host-kind.sh"))" >&2
echo "# building the program and the benchmark's tools in $work" >&2
toolchain="$root/cmake/toolchain-mingw-$processor.cmake"
cmake -S "$root" -B "$work/$arch" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/$arch" -j"$(nproc)" --target Update >/dev/null
cmake -S "$root/bench" -B "$work/bench-$arch" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/bench-$arch" -j"$(nproc)" >/dev/null
cc -O2 -std=c11 -Wall -Wextra -o "$work/gen_payload" "$root/bench/gen_payload.c"
# The native packer, when the tree has one and none was named.
if [ -z "$native" ] && grep -q 'orvanta-pack' "$root/CMakeLists.txt"; then
  if cmake -S "$root" -B "$work/native" -DCMAKE_BUILD_TYPE=Release >/dev/null 2>&1 &&
     cmake --build "$work/native" -j"$(nproc)" --target orvanta-pack >/dev/null 2>&1; then
    native="$(find "$work/native" -name orvanta-pack -type f -perm -u+x | head -n 1)"
  else
    echo "# the native packer did not build: its column is skipped" >&2
  fi
fi

# Our own display, so that the Wine desktop of this prefix never meets another.
xvfb_pid=
numfile="$work/.xvfb-display"
stop_all() {
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -f "$numfile"
}
trap stop_all EXIT
rm -f "$numfile"
setsid Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$numfile" 2>/dev/null </dev/null &
xvfb_pid=$!
display=
for _ in $(seq 1 200); do
  read -r display 2>/dev/null <"$numfile" || true
  [ -n "$display" ] && [ -S "/tmp/.X11-unix/X$display" ] && break
  display=
  sleep 0.05
done
[ -n "$display" ] || { echo "bench: could not start Xvfb" >&2; exit 1; }
# The project's runner makes the prefix when it is new (with unmanaged
# windows); a display of our own keeps it from ending the server afterwards.
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
DISPLAY=":$display" ORVANTA_WINEPREFIX="$prefix" ORVANTA_WINEPREFIX64="$prefix" \
  "$root/scripts/wine-run.sh" --for "$work/$arch/Update.exe" cmd /c exit 0

python3 "$root/bench/bench.py" --work "$work" --prefix "$prefix" --display ":$display" \
  --wine "$wine" --update-exe "$work/$arch/Update.exe" --bench-bin "$work/bench-$arch" \
  --generator "$work/gen_payload" --results "$work/results.md" \
  ${native:+--native-packer "$native"} ${args[@]+"${args[@]}"}

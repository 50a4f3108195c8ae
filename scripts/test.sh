#!/usr/bin/env bash
# Sets up this machine and runs every test: the native unit tests (with
# AddressSanitizer and UndefinedBehaviorSanitizer), the fuzzers briefly, then
# the Windows builds' unit and end-to-end tests under Wine and Xvfb.
#
# The Windows suite runs for each program the host can start
# (scripts/host-kind.sh finds out by trying; ORVANTA_HOST_KIND=64-only makes
# a host that runs both behave as one that runs 64-bit code only):
# - 32-bit code runs: the whole suite on the 32-bit program (win32) and on its
#   64-bit twin (win64); the clang builds' unit tests on both;
# - 64-bit code only: the whole suite on win64 and win64-clang's unit tests;
#   win32 and win32-clang are built and checked without starting them (the
#   kind of image, its imports, packed by the native packer and listed back).
# The last line says which suites ran, with their test counts, and which
# could not; no Windows suite at all is a failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
kind="$(bash scripts/host-kind.sh)"
echo "== This host starts: $kind"

cmake --preset host >/dev/null
cmake --build --preset host -j"$(nproc)"
ctest --preset host -j"$(nproc)"

# Each fuzzer runs for 30 s from its committed seeds.
bash scripts/fuzz.sh 30

ran=()
not_run=()
# suite PRESET LABEL: configures and builds PRESET, then runs its tests under
# Wine when the host starts its programs, else only those labelled "static".
suite() {
  local preset="$1" label="$2" log count runs
  log="build/$preset-ctest.txt"
  cmake --preset "$preset" -DORVANTA_NATIVE_PACKER="$PWD/build/host/orvanta-pack" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
  case "$preset" in win32*) runs=runs32 ;; *) runs=runs64 ;; esac
  if bash scripts/host-kind.sh "$runs"; then
    # Window tests share one display and one Wine server: one at a time.
    scripts/with-display.sh --for "build/$preset/Update.exe" ctest --preset "$preset" | tee "$log"
    count="$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$log")"
    ran+=("$preset $label ($count tests)")
  else
    ctest --test-dir "build/$preset" -L static --output-on-failure | tee "$log"
    count="$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$log")"
    not_run+=("$preset $label (checked without starting it: $count tests)")
  fi
}

suite win32 "whole suite"
suite win64 "whole suite"
# A second compiler over the same sources: clang must build the programs and
# the unit tests without a warning, and the tests must pass.
suite win32-clang "unit tests"
suite win64-clang "unit tests"

join() {
  [ $# -gt 0 ] || { echo none; return; }
  local text
  text="$(printf '%s, ' "$@")"
  echo "${text%, }"
}
echo "Windows suites run on this host ($kind): $(join "${ran[@]}"); could not run here: $(join "${not_run[@]}")"
[ ${#ran[@]} -gt 0 ] || { echo "No Windows suite could run on this host." >&2; exit 1; }

#!/usr/bin/env bash
# Sets up this machine and runs every test: the native unit tests (with
# AddressSanitizer and UndefinedBehaviorSanitizer), the fuzzers briefly, then
# the Windows build's unit and end-to-end tests under Wine and Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

cmake --preset host >/dev/null
cmake --build --preset host -j"$(nproc)"
ctest --preset host -j"$(nproc)"

# Each fuzzer runs for 30 s from its committed seeds.
bash scripts/fuzz.sh 30

cmake --preset win32 -DORVANTA_NATIVE_PACKER="$PWD/build/host/orvanta-pack" >/dev/null
cmake --build --preset win32 -j"$(nproc)"
# Window tests share one display and one Wine server: one at a time.
scripts/with-display.sh ctest --preset win32

# A second compiler over the same sources: clang must build the program and
# the unit tests without a warning, and the tests must pass.
cmake --preset win32-clang >/dev/null
cmake --build --preset win32-clang -j"$(nproc)"
scripts/with-display.sh ctest --preset win32-clang

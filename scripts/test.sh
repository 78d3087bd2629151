#!/usr/bin/env bash
# Every test: static analysis, the unit tests on the fake platform (also under sanitizers), the
# fuzzers, then the end-to-end tests that run the real KELMORA.exe under Wine (inside a virtual X
# display, for the dialogs). Fails if any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
source scripts/i386.sh
i386_emulation_note
bash scripts/static-analysis.sh

cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

# The same unit tests under AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzzer
# for a bounded time (FUZZ_SECONDS, 60 by default).
cmake --preset sanitize -DFUZZ_SECONDS="${FUZZ_SECONDS:-60}" >/dev/null
cmake --build --preset sanitize
ctest --preset sanitize
cat build/sanitize/fuzz/*/summary

cmake --preset mingw >/dev/null
cmake --build --preset mingw
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset mingw

#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the whole
# suite, then the engine tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then under ThreadSanitizer, then the fuzz
# targets under clang for a bounded number of inputs each.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARVINE_ENGINE_ONLY=ON -DTARVINE_SANITIZE=ON
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

# The engine and workflow tests again under ThreadSanitizer: workers, two
# readers at once, prompts answered across threads.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVINE_ENGINE_ONLY=ON -DTARVINE_TSAN=ON
cmake --build build-tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" -E "${TSAN_EXCLUDE:-^$}"

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVINE_ENGINE_ONLY=ON \
  -DCMAKE_CXX_COMPILER=clang++
cmake --build build-fuzz -j "$jobs" --target fuzzers
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 ctest --test-dir build-fuzz -R '^fuzz_' --output-on-failure -j "$jobs"

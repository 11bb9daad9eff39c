#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test, in stages, each in a
# build directory of its own; fails when any stage finds something:
#   normal  the whole suite on the ordinary build (build/ or $BUILD_DIR)
#   asan    the whole suite, Python and isql tests included, on an
#           AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/)
#   tsan    the threaded tests (ctest label "threads") on a ThreadSanitizer
#           build of just those tests and what they load (build-tsan/)
#   fuzz    every libFuzzer target (clang, build-fuzz/) for FUZZ_SECONDS each
#           (default 60), starting from its seed corpus
# STAGES="normal asan" picks stages; JOBS sets the parallel jobs; arguments go
# to the normal stage's ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
stages=${STAGES:-normal asan tsan fuzz}
fuzz_seconds=${FUZZ_SECONDS:-60}
root=$(pwd)

# Sanitizer findings end the process with a failure; leaks count.
# Out-of-memory paths are tested: an allocation too large answers NULL.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

stage() { echo; echo "==== $1 ($(date +%T))"; }

# Sanitizer builds: no benchmarks, and -O1 with line tables only, which
# halves their compile time on a small CI machine and still gives stack
# traces with file and line.
san_opts=(-DKVD_BUILD_BENCHMARKS=OFF "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
          "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG")

for s in $stages; do
  case $s in
    normal)
      stage "normal suite"
      BUILD_DIR=${BUILD_DIR:-build} ./scripts/build.sh
      (cd "${BUILD_DIR:-build}" && ctest -j "$jobs" --output-on-failure --timeout 300 "$@")
      ;;
    asan)
      stage "AddressSanitizer + UndefinedBehaviorSanitizer: whole suite"
      BUILD_DIR=build-asan BUILD_TYPE=RelWithDebInfo ./scripts/build.sh -DKVD_SANITIZE=address "${san_opts[@]}"
      (cd build-asan && ctest -j "$jobs" --output-on-failure --timeout 900)
      ;;
    tsan)
      stage "ThreadSanitizer: threaded tests"
      cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVD_SANITIZE=thread "${san_opts[@]}" >/dev/null
      cmake --build build-tsan -j "$jobs" --target kvd_thread_tests
      (cd build-tsan && ctest -j "$jobs" --output-on-failure --timeout 900 -L threads)
      ;;
    fuzz)
      stage "libFuzzer: every target for ${fuzz_seconds}s"
      flags="-g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
      CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVD_FUZZ=ON \
        -DKVD_BUILD_TESTS=OFF -DKVD_BUILD_BENCHMARKS=OFF \
        -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
      cmake --build build-fuzz -j "$jobs" --target kvd_fuzzers
      failed=()
      for bin in build-fuzz/fuzz/*/fuzz_*; do
        [ -x "$bin" ] || continue
        name=${bin##*/fuzz_}
        work=build-fuzz/run/$name
        rm -rf "$work"; mkdir -p "$work/corpus" "$work/artifacts"
        # New inputs go to a scratch corpus; the tree's seeds are read only.
        if "$bin" -max_total_time="$fuzz_seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
             -artifact_prefix="$work/artifacts/" "$work/corpus" "$root/fuzz/$name/corpus" \
             >"$work/log" 2>&1; then
          execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
          echo "fuzz_$name: ${execs:-?} executions, nothing found"
        else
          echo "fuzz_$name FOUND something (input kept in $work/artifacts; add it to fuzz/$name/crashes once fixed):"
          grep -E 'ERROR|SUMMARY|runtime error|#[0-9]+ ' "$work/log" | head -40
          failed+=("$name")
        fi
      done
      [ ${#failed[@]} -eq 0 ] || { echo "fuzz targets with findings: ${failed[*]}"; exit 1; }
      ;;
    *) echo "unknown stage '$s' (normal asan tsan fuzz)"; exit 2 ;;
  esac
done
echo; echo "==== all stages passed ($(date +%T))"

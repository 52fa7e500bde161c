#!/usr/bin/env bash
# The hardening run: every test under AddressSanitizer and UndefinedBehaviorSanitizer,
# the threaded payment paths under ThreadSanitizer, a timed fuzz smoke of every
# libFuzzer target, and the fault matrix with the long-run leak check in a plain
# build. Each stage builds in a folder of its own and stops the run on failure.
#
#   scripts/hardening.sh                  all stages: asan tsan fuzz faults
#   scripts/hardening.sh fuzz faults      only the stages named
#
# Environment: JOBS (build and ctest parallelism, default 2), FUZZ_SECONDS (per
# fuzz target, default 60). The fuzz stage picks clang++ itself; the others use
# the default compiler.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh

jobs=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-60}
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(asan tsan fuzz faults)

export QT_QPA_PLATFORM=offscreen
started=$SECONDS
say() { printf '\n=== %s (%d s into the run)\n' "$*" $((SECONDS - started)); }

# configure PRESET: each stage's build is a preset of CMakePresets.json, in a
# folder of its own (build-asan, build-tsan, build-fuzz); the fault matrix uses
# the development build, build/.
configure() {
  cmake --preset "$1" >/dev/null
}

stage_asan() {
  say "AddressSanitizer + UndefinedBehaviorSanitizer: build and the whole test suite"
  # Unoptimised: GCC 12 with -O2 and ASan reports a false "may be used
  # uninitialized" inside <regex>, which warnings-as-errors would turn fatal.
  # The sanitizers' options are the test preset's.
  configure asan-ubsan
  cmake --build --preset asan-ubsan -j "$jobs"
  ctest --preset asan-ubsan -j "$jobs"
}

stage_tsan() {
  say "ThreadSanitizer: the transaction, the client and the window's worker thread"
  configure tsan
  cmake --build --preset tsan -j "$jobs" --target transaction_test cli_test pcpos-cli pcpos_ui_tests leak_test \
    link_connection_test screen_test
  # The whole transaction and client suites (the cancel test among them), every
  # window test that starts the worker thread, cancels it or closes on it, and
  # the thousand payments beside a peer thread. The window's test program carries
  # its own two lines telling the tool to ignore allocations inside Qt's
  # uninstrumented libraries (tests/ui/ui_test_main.cpp); this stage adds none.
  local selected='^(TransactionTest|Reader/WaitEnding|Inputs/Refusal|Cli|ui\.WindowPayment\.'
  selected+='|ui\.StartUp\.ClosingTheWindowDuringAPayment|leak_thousand_payments'
  # The lookup that a cancel abandons runs on a thread of its own.
  selected+='|CardReaderConnection\.WakerCancelsAHangingLookup'
  # The screen's runner: its payment thread, its posts, a cancel while the log
  # folder is looked at, and an error that escapes the payment.
  selected+='|PaymentRunner\.|ScreenTest\.)'
  local count
  count=$(ctest --test-dir build-tsan -N -R "$selected" | sed -n 's/^Total Tests: //p')
  [ "${count:-0}" -ge 20 ] || { echo "ThreadSanitizer stage selected only ${count:-0} tests"; return 1; }
  ctest --preset tsan --no-tests=error -j "$jobs" -R "$selected"
}

stage_fuzz() {
  say "Fuzz smoke: ${fuzz_seconds} s per target, two at a time"
  configure fuzz
  local targets=(parse_response clean_int read_field build_purchase_request from_ascii)
  cmake --build --preset fuzz -j "$jobs" --target "${targets[@]/#/fuzz_}"
  # The committed seeds must pass on their own before anything is mutated.
  ctest --test-dir build-fuzz/fuzz --output-on-failure --no-tests=error -j "$jobs"

  # The fuzzer adds what it finds to its corpus folder: work on a copy so the
  # committed corpus stays small.
  rm -rf build-fuzz/run && mkdir -p build-fuzz/run/artifacts
  local pids=() names=() failed=0 t
  run_one() {
    local t=$1
    cp -r "fuzz/corpus/$t" "build-fuzz/run/$t"
    "build-fuzz/bin/fuzz_$t" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=4096 -print_final_stats=1 -artifact_prefix="build-fuzz/run/artifacts/$t-" \
      "build-fuzz/run/$t" >"build-fuzz/run/$t.log" 2>&1
  }
  for t in "${targets[@]}"; do
    run_one "$t" &
    pids+=($!)
    names+=("$t")
    if [ ${#pids[@]} -eq 2 ]; then
      wait "${pids[0]}" || { echo "fuzz_${names[0]} FAILED"; tail -40 "build-fuzz/run/${names[0]}.log"; failed=1; }
      pids=("${pids[@]:1}")
      names=("${names[@]:1}")
    fi
  done
  for i in "${!pids[@]}"; do
    wait "${pids[$i]}" || { echo "fuzz_${names[$i]} FAILED"; tail -40 "build-fuzz/run/${names[$i]}.log"; failed=1; }
  done
  for t in "${targets[@]}"; do
    printf '%-24s %s\n' "fuzz_$t" "$(grep -E '^Done [0-9]+ runs' "build-fuzz/run/$t.log" || echo '(no summary)')"
  done
  if [ "$failed" -ne 0 ] || compgen -G 'build-fuzz/run/artifacts/*' >/dev/null; then
    echo "Fuzz smoke found a failure; reproducers in build-fuzz/run/artifacts/"
    return 1
  fi
}

stage_faults() {
  say "Fault matrix and the thousand-payment leak check (the development build)"
  # The development build (scripts/test.sh) has no sanitizer, so times and
  # memory are real; where the test command has just built it, nothing is rebuilt.
  configure dev
  cmake --build --preset dev -j "$jobs" --target pcpos-cli cli_fault_matrix_test window_fault_matrix_test leak_test
  # One at a time: the rows measure times.
  ctest --preset faults
  cat build/fault_matrix_cli.md build/fault_matrix_window.md build/leak_figures.md
}

for stage in "${stages[@]}"; do
  case $stage in
    asan | tsan | fuzz | faults) "stage_$stage" ;;
    *) echo "unknown stage: $stage (asan, tsan, fuzz, faults)" >&2; exit 2 ;;
  esac
done
say "Hardening run passed"

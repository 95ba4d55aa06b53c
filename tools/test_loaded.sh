#!/usr/bin/env bash
# The Python-level suites (the module under each interpreter, the command line
# and report, the batch, the wheel) again on a loaded machine: a busy loop on
# every core, and two copies of the suites at once, each copy running every
# suite twice in a row (CTest's --repeat until-fail:2). A suite that depends on
# timing, on load or on another one running beside it fails here; any failure
# fails the run, with the output of the failing suites.
#
# Usage: tools/test_loaded.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: tools/test_loaded.sh BUILD_DIR}
suites='^(test_python_module_.*|test_cli|test_velk_batch|test_wheel)$'
cores=$(nproc)
logs=$build/loaded
rm -rf "$logs" && mkdir -p "$logs"

busy=()
stop_busy_loops() {
  if ((${#busy[@]})); then
    kill "${busy[@]}" 2>/dev/null || true
    wait "${busy[@]}" 2>/dev/null || true
  fi
}
trap stop_busy_loops EXIT
for _ in $(seq "$cores"); do
  (exec yes > /dev/null) &
  busy+=($!)
done

# CTest keeps its logs under the folder it runs from: the second copy runs
# from the tests' own folder of the build tree, so the two never share one.
copies=("$build" "$build/tests")
runs=()
for i in "${!copies[@]}"; do
  ctest --test-dir "${copies[$i]}" -R "$suites" --no-tests=error --repeat until-fail:2 -j "$cores" \
    --timeout 900 --output-on-failure > "$logs/copy_$((i + 1)).log" 2>&1 &
  runs+=($!)
done

failed=0
for i in "${!runs[@]}"; do
  if wait "${runs[$i]}"; then
    echo "test-loaded: copy $((i + 1)): $(grep -E 'tests passed' "$logs/copy_$((i + 1)).log")"
  else
    failed=1
    echo "test-loaded: copy $((i + 1)) failed; its output ($logs/copy_$((i + 1)).log):"
    cat "$logs/copy_$((i + 1)).log"
  fi
done
exit "$failed"

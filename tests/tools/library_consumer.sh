#!/usr/bin/env bash
# An outside CMake project links tramel::analysis from `cmake --install` and runs an analysis:
# examples/cpp on the first 216 months of examples/nottem must forecast what the program writes
# to nottem.forec. Usage: library_consumer.sh BUILD_FOLDER SOURCE_FOLDER
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source/examples/cpp" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/build" >/dev/null
tail -n +3 "$source/examples/nottem/nottem.dat" | head -216 >"$work/values.txt"
"$work/build/monthly_forecast" <"$work/values.txt" >"$work/out.txt"
grep -q "Number of Significant Frequencies used in the VAR Fit" "$work/out.txt"
tail -n 24 "$work/out.txt" | diff - "$source/examples/nottem/nottem.forec"
echo "the installed library forecasts nottem as the program does"

#!/usr/bin/env bash
# An outside CMake project links tramel::tramel from `cmake --install` and runs an analysis:
# examples/cpp on the first 216 months of examples/nottem must find the significant bins and
# forecast, to the last bit, what the program writes to tramel.json for examples/nottem, and
# compile without any of the library's own compile options.
# Usage: library_consumer.sh BUILD_FOLDER SOURCE_FOLDER PROGRAM
set -euo pipefail
build=$1 source=$2 program=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source/examples/cpp" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build "$work/build" >/dev/null
if grep -q -- -ffp-contract "$work/build/compile_commands.json"; then
  echo "the package hands -ffp-contract to its consumer"; exit 1
fi
tail -n +3 "$source/examples/nottem/nottem.dat" | head -216 >"$work/values.txt"
"$work/build/monthly_forecast" <"$work/values.txt" >"$work/out.txt"
mkdir "$work/nottem"
cp "$source/examples/nottem/tramel.cnl" "$source/examples/nottem/nottem.dat" "$work/nottem/"
"$program" --json "$work/nottem" >/dev/null
python3 - "$work/out.txt" "$work/nottem/tramel.json" <<'PY'
import json, struct, sys
single = lambda x: struct.unpack("f", struct.pack("f", x))[0]
lines = open(sys.argv[1]).read().splitlines()
series = json.load(open(sys.argv[2]))["runs"][0]["series"][0]
bins = [b["bin"] for b in series["bins"] if b["significant"]]
printed_bins = [int(line.split()[1]) for line in lines if line.startswith("bin ")]
assert printed_bins == bins, f"significant bins {printed_bins}, the program's {bins}"
forecast = [single(v) for frame in series["forecast"] for v in frame]
printed = [single(float(line.split()[1])) for line in lines[lines.index("forecast") + 1:]]
assert printed == forecast, f"forecast {printed}, the program's {forecast}"
PY
echo "the installed library forecasts nottem as the program does"

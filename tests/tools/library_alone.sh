#!/usr/bin/env bash
# The library alone on a machine without the program's dependencies: in a mount namespace of its
# own (root, unshare and overlayfs), /usr is overlaid and the files of the Debian packages of
# CLI11, nlohmann-json, PLplot, fast_float, the date library, pybind11 and GoogleTest are
# removed from the overlay (the machine itself is not touched). There, a configure of the whole
# program must fail, and -DTRAMEL_PROGRAM=OFF -DBUILD_TESTING=OFF must configure, build and
# install the library, which examples/cpp then builds against and runs.
# Usage (from the top of a checkout): bash tests/tools/library_alone.sh
set -euo pipefail
source=$(pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
hidden=(libcli11-dev nlohmann-json3-dev libplplot-dev libplplot17 libfast-float-dev
        libhowardhinnant-date-dev pybind11-dev python3-pybind11 libgtest-dev)
files=$({ dpkg -L "${hidden[@]}" 2>/dev/null || true; } | while read -r f; do if [ -f "$f" ]; then echo "$f"; fi; done)
echo "$files" >"$work/hidden.txt"
unshare -m --propagation private bash -euo pipefail -c '
  work=$1 source=$2
  mkdir -p "$work/overlay"
  mount -t tmpfs tmpfs "$work/overlay"
  mkdir "$work/overlay/upper" "$work/overlay/work"
  mount -t overlay overlay -o "lowerdir=/usr,upperdir=$work/overlay/upper,workdir=$work/overlay/work" /usr
  xargs rm -f <"$work/hidden.txt"
  echo "hidden: $(wc -l <"$work/hidden.txt") files; e.g. /usr/include/CLI holds $(ls /usr/include/CLI 2>/dev/null | wc -l) files"
  if cmake -S "$source" -B "$work/program" -DBUILD_TESTING=OFF >"$work/program.log" 2>&1; then
    echo "the program configures without its dependencies: they are not hidden"; exit 1
  fi
  echo "the program does not configure: $(grep -m1 -o "Could not find a package configuration file provided by \"[A-Za-z0-9_]*\"" "$work/program.log")"
  cmake -S "$source" -B "$work/library" -DTRAMEL_PROGRAM=OFF -DBUILD_TESTING=OFF >"$work/library.log"
  echo "the library configures: $(tail -1 "$work/library.log")"
  cmake --build "$work/library" -j2 >/dev/null
  cmake --install "$work/library" --prefix "$work/prefix" | grep -v "^-- \(Installing\|Up-to-date\)" || true
  cmake -S "$source/examples/cpp" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
  cmake --build "$work/consumer" >/dev/null
  tail -n +3 "$source/examples/nottem/nottem.dat" | head -216 | "$work/consumer/monthly_forecast" | head -2
' bash "$work" "$source"
echo "the library alone builds, installs and serves examples/cpp without the program's dependencies"

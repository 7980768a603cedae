#!/usr/bin/python3
"""The headers of the installed library. `cmake --install` of a build into a temporary prefix
must put every header under include/tramel/ and install exactly <tramel/analysis.hpp>,
<tramel/version.hpp> and the headers they include, directly or through another (so no internal
header of a folder, such as the FFT passes), each project include written "tramel/...". Every
header compiles on its own against the installed tree, <tramel/version.hpp> gives the project's
version, and the package hands no compile option to its consumers.
Usage: installed_headers.py BUILD_FOLDER COMPILER VERSION"""
import concurrent.futures
import glob
import os
import re
import subprocess
import sys
import tempfile

build, compiler, version = sys.argv[1:4]
ENTRIES = ["tramel/analysis.hpp", "tramel/version.hpp"]
# Headers of the library's folders and the program's that only their own code includes.
INTERNAL = ["numeric/fft_passes.hpp", "textio/record_program.hpp", "csv/stamps.hpp",
            "init/control_text.hpp", "control/console_text.hpp"]
QUOTED = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
failures = []


def compile_alone(include, source, *options):
    return subprocess.run([compiler, "-std=c++20", "-Wall", "-Wextra", "-Wpedantic", "-Werror",
                           "-I", include, *options, "-x", "c++", "-"],
                          input=source, capture_output=True, text=True)


with tempfile.TemporaryDirectory() as prefix:
    subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                   stdout=subprocess.DEVNULL)
    include = os.path.join(prefix, "include")
    installed = sorted(os.path.relpath(os.path.join(d, f), include)
                       for d, _, files in os.walk(include) for f in files)
    failures += [f"{h} is installed outside include/tramel" for h in installed
                 if not h.startswith("tramel/")]
    reached, pending = set(), list(ENTRIES)
    while pending:
        header = pending.pop()
        if header in reached:
            continue
        reached.add(header)
        path = os.path.join(include, header)
        if not os.path.isfile(path):
            failures.append(f"{header} is included but not installed")
            continue
        for included in QUOTED.findall(open(path).read()):
            if not included.startswith("tramel/"):
                failures.append(f'{header} includes "{included}", which is not below tramel/')
            pending.append(included)
    failures += [f"{h} is installed, but no public header includes it" for h in installed
                 if h not in reached]
    failures += [f"the internal header {h} is installed" for h in INTERNAL
                 if "tramel/" + h in installed]

    def alone(header):  # twice: its include guard too
        return compile_alone(include, f"#include <{header}>\n#include <{header}>\n",
                             "-fsyntax-only")
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        for header, done in zip(installed, pool.map(alone, installed)):
            if done.returncode:
                failures.append(f"{header} does not compile on its own:\n{done.stderr}")

    macros = compile_alone(include, "#include <tramel/version.hpp>\n", "-E", "-dM").stdout
    defined = dict(re.findall(r"^#define (TRAMEL_VERSION_\w+) (.*)$", macros, re.M))
    expected = dict(zip(["TRAMEL_VERSION_MAJOR", "TRAMEL_VERSION_MINOR", "TRAMEL_VERSION_PATCH"],
                        version.split(".")), TRAMEL_VERSION_STRING=f'"{version}"')
    if defined != expected:
        failures.append(f"<tramel/version.hpp> defines {defined}, not {expected}")

    targets = glob.glob(os.path.join(prefix, "**", "tramelTargets.cmake"), recursive=True)
    if len(targets) != 1:
        failures.append(f"the package's targets file: {targets}")
    for path in targets:
        text = open(path).read()
        for handed in ("INTERFACE_COMPILE_OPTIONS", "INTERFACE_COMPILE_DEFINITIONS", "ffp-contract"):
            if handed in text:
                failures.append(f"the package hands its consumers {handed}")

for f in failures:
    print(f)
print(f"{len(installed)} installed headers, {len(failures)} failures")
sys.exit(1 if failures else 0)

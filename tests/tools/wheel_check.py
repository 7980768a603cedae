#!/usr/bin/python3
"""The wheel of the Python package, built as `python3 -m build --no-isolation --wheel` builds it
at the top of a clone, installed by pip into a folder of its own and imported from outside the
source tree. It must carry the compiled module and the package's Python files and nothing else,
have the project's version, and tramel.analyse must give the program's numbers on the shipped
examples (the module tests' comparison with tramel.json, in the examples' shipped configuration).

The sources are mirrored into WORK/source, whose scikit-build tree (_skbuild) is kept between
runs, so that a later run recompiles only what changed.
Usage: wheel_check.py SOURCE_FOLDER WORK_FOLDER VERSION PROGRAM"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

source, work, version, program = sys.argv[1:5]
mirror = os.path.join(work, "source")
# What a clone does not hold: the git data, builds, and what the wheel's build leaves (also
# python/tramel.egg-info, left out at every level).
KEPT_APART = re.compile(r"^(\.git|_skbuild|dist|build.*|.*\.egg-info)$")


def mirror_sources():
    """`mirror` made to hold the files of `source`, each copied with its time only when it
    differs (an unchanged file keeps its time, so the kept build sees it unchanged); files no
    longer in `source` are removed."""
    wanted = set()
    for folder, subfolders, files in os.walk(source):
        relative = os.path.relpath(folder, source)
        if relative == ".":
            subfolders[:] = [s for s in subfolders if not KEPT_APART.match(s)]
            files = [f for f in files if not KEPT_APART.match(f)]
        subfolders[:] = [s for s in subfolders if not s.endswith(".egg-info")]
        os.makedirs(os.path.join(mirror, relative), exist_ok=True)
        for name in files:
            path = os.path.normpath(os.path.join(relative, name))
            wanted.add(path)
            original, copy = os.path.join(source, path), os.path.join(mirror, path)
            if os.path.islink(original) or not os.path.isfile(original):
                continue
            state = os.stat(original)
            if not os.path.exists(copy) or (os.stat(copy).st_mtime_ns, os.stat(copy).st_size) != \
                    (state.st_mtime_ns, state.st_size):
                shutil.copy2(original, copy)
    for folder, subfolders, files in os.walk(mirror):
        relative = os.path.relpath(folder, mirror)
        if relative == ".":
            subfolders[:] = [s for s in subfolders if not KEPT_APART.match(s)]
        subfolders[:] = [s for s in subfolders if not s.endswith(".egg-info")]
        for name in files:
            path = os.path.normpath(os.path.join(relative, name))
            if path not in wanted:
                os.remove(os.path.join(mirror, path))


def run(command, log, **options):
    with open(log, "w") as out:
        done = subprocess.run(command, stdout=out, stderr=subprocess.STDOUT, **options)
    if done.returncode:
        sys.exit(f"{' '.join(command)} failed:\n" + "".join(open(log).readlines()[-40:]))


mirror_sources()
dist = os.path.join(work, "dist")
shutil.rmtree(dist, ignore_errors=True)
# Compiled unoptimised: what this checks is the packaging, and the numbers of an unoptimised
# build are the same (no contraction, no reassociation either way); it compiles in a fraction
# of the time. The optimised module is the one python_module tests.
run([sys.executable, "-m", "build", "--no-isolation", "--wheel", "--outdir", dist, mirror],
    os.path.join(work, "build.log"),
    env=dict(os.environ, CMAKE_BUILD_PARALLEL_LEVEL="2", CMAKE_ARGS="-DCMAKE_CXX_FLAGS_RELEASE=-O0"))

wheels = os.listdir(dist)
assert len(wheels) == 1 and wheels[0].startswith(f"tramel-{version}-"), wheels
wheel = os.path.join(dist, wheels[0])
package = sorted(n for n in zipfile.ZipFile(wheel).namelist()
                 if not n.startswith(f"tramel-{version}.dist-info/"))
python_files = sorted("tramel/" + f for f in os.listdir(os.path.join(source, "python", "tramel"))
                      if f.endswith(".py"))
modules = [n for n in package if re.fullmatch(r"tramel/_tramel\.[^/]*\.so", n)]
assert len(modules) == 1 and package == sorted(python_files + modules), package

with tempfile.TemporaryDirectory() as elsewhere:
    target = os.path.join(elsewhere, "site")
    run([sys.executable, "-m", "pip", "install", "--no-deps", "--no-index", "--target", target,
         wheel], os.path.join(work, "install.log"))
    environment = dict(os.environ, PYTHONPATH=target, PYTHONDONTWRITEBYTECODE="1",
                       TRAMEL_PROGRAM=program, TRAMEL_SOURCE_DIR=source)
    found = subprocess.run([sys.executable, "-P", "-c",
                            "import tramel; print(tramel.__file__); print(tramel.__version__)"],
                           cwd=elsewhere, env=environment, capture_output=True, text=True,
                           check=True).stdout.split()
    assert found == [os.path.join(target, "tramel", "__init__.py"), version], found
    tests = os.path.join(source, "python", "tests", "test_examples.py")
    done = subprocess.run([sys.executable, "-P", "-m", "pytest", "-q", "-p", "no:cacheprovider",
                           tests, "-k", "shipped"], cwd=elsewhere, env=environment)
    if done.returncode:
        sys.exit("the installed wheel does not give the program's numbers")
print(f"{wheels[0]}: {len(package)} files, the program's numbers from outside the tree")

"""The wheel of the Python package `tramel`: scikit-build runs the project's CMake build, which
compiles the module tramel._tramel (the library and the program's runs, with the compile options
of every other build of the project) and installs it into the package beside its Python files,
taken from python/tramel. The version is the project's (project(... VERSION) in CMakeLists.txt).
The build goes to _skbuild/, and a second build there recompiles only what changed."""
import os
import re
import sys

from skbuild import setup

with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "CMakeLists.txt")) as f:
    version = re.search(r"project\(tramel VERSION ([0-9.]+)", f.read()).group(1)
# Make's builds are otherwise serial; Ninja's are parallel anyway.
os.environ.setdefault("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))

setup(
    name="tramel",
    version=version,
    description="Forecasts of sampled series from what repeats in them frame after frame",
    packages=["tramel"],
    package_dir={"tramel": "python/tramel"},
    # CMake installs the module into python/tramel of its install tree: the package.
    cmake_install_dir="python",
    cmake_args=["-DTRAMEL_PYTHON=ON", "-DBUILD_TESTING=OFF", "-DTRAMEL_INSTALL=OFF",
                f"-DPython3_EXECUTABLE={sys.executable}"],
    python_requires=">=3.9",
    install_requires=["numpy", "pandas"],
)

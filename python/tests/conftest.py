"""What the module's tests share: the source tree, the built program, and the program run on an
example with --json in a folder of its own."""
import json
import os
import re
import shlex
import shutil
import subprocess

import pytest

SOURCE = os.environ.get("TRAMEL_SOURCE_DIR",
                        os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
PROGRAM = os.environ.get("TRAMEL_PROGRAM", os.path.join(SOURCE, "build", "prog", "tramel"))
EXAMPLES = sorted(e for e in os.listdir(os.path.join(SOURCE, "examples"))
                  if os.path.isfile(os.path.join(SOURCE, "examples", e, "tramel.cnl")))


def example_folder(name):
    return os.path.join(SOURCE, "examples", name)


def shipped_arguments(name):
    """The command line an example carries in its file 'arguments', if any."""
    path = os.path.join(example_folder(name), "arguments")
    return shlex.split(open(path).read()) if os.path.exists(path) else []


def series_count(name):
    """The control file's "No. of data/file"."""
    text = open(os.path.join(example_folder(name), "tramel.cnl")).read()
    return int(re.search(r"No\. of data/file\s*=\s*(\d+)", text).group(1))


def data_path(name):
    text = open(os.path.join(example_folder(name), "tramel.cnl")).read()
    return os.path.join(example_folder(name), re.search(r"Data file name =(\S+)", text).group(1))


def copy_inputs(name, into):
    """The example's control file and data file, in `into`."""
    shutil.copy(os.path.join(example_folder(name), "tramel.cnl"), into)
    shutil.copy(data_path(name), into)
    return str(into)


@pytest.fixture
def program_json(tmp_path):
    """Runs the built program with --json and `arguments` on a copy of an example's inputs,
    and returns its tramel.json."""
    def run(name, arguments):
        folder = copy_inputs(name, tmp_path)
        done = subprocess.run([PROGRAM, folder, "--json", *arguments], capture_output=True,
                              text=True, stdin=subprocess.DEVNULL)
        assert done.returncode == 0, done.stderr
        with open(os.path.join(folder, "tramel.json")) as f:
            return json.load(f)
    return run

"""The rules of a run's settings through the module's faces: every bad setting of the table in
tests/settings_rules.json given to tramel.analyse, tramel.backtest and tramel.run raises
ValueError with the rule's words (after tramel.run's framing, the control-file line or the run),
as the program's control file and command line say them (tests/e2e/settings_rules_test.cpp)."""
import json
import os
import re

import numpy as np
import pytest

import tramel
from conftest import SOURCE

with open(os.path.join(SOURCE, "tests", "settings_rules.json")) as f:
    TABLE = json.load(f)
ROWS = TABLE["rows"]
DATA = np.arange(TABLE["data"]["count"], dtype=np.float64) % 12


def write_inputs(folder, changes):
    """The table's control file with the row's changes, and its data, in `folder`."""
    text = TABLE["control_file"]
    for field, usual in TABLE["usual"].items():
        text = text.replace("{" + field + "}", changes.get(field, usual))
    (folder / "tramel.cnl").write_text(text)
    lines = "".join(f"   {v:g}.000\n" for v in DATA)
    (folder / TABLE["data"]["file"]).write_text(f"Rules\n{len(DATA)} 1.0 (f8.3)\n{lines}")
    return folder


@pytest.mark.parametrize("row", [r for r in ROWS if "analyse" in r or "backtest" in r],
                         ids=lambda r: r["what"])
def test_analyse_and_backtest_raise_the_rules_words(row):
    call, options = (tramel.analyse, row["analyse"]) if "analyse" in row else \
        (tramel.backtest, row["backtest"])
    options = {k: tuple(v) if isinstance(v, list) else v for k, v in options.items()}
    frame = options.pop("frame")
    with pytest.raises(ValueError) as raised:
        call(DATA, frame, **options)
    assert str(raised.value) == row["words"]


@pytest.mark.parametrize("row", [r for r in ROWS if "run" in r], ids=lambda r: r["what"])
def test_run_raises_the_rules_words_after_the_programs_framing(row, tmp_path):
    folder = write_inputs(tmp_path, row.get("control", {}))
    with pytest.raises(ValueError) as raised:
        tramel.run(folder, **row["run"])
    said = str(raised.value)
    if "control" in row:  # the control file's line of the setting
        assert re.fullmatch(r"tramel\.cnl lines? [0-9-]+: (.*)", said).group(1) == row["words"]
    elif "command_line" in row and row["status"] == 1:  # the run whose sample it does not fit
        assert said == "run 1: " + row["words"]
    else:  # refused before the program starts, as the command line is
        assert said == row["words"]

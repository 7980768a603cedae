"""Every refusal of the module: ValueError for bad settings or data, RuntimeError for a stop of
the analysis, each in the program's words, and nothing printed on the way."""
import os
import shutil

import numpy as np
import pandas as pd
import pytest

import tramel
from conftest import SOURCE

RNG = np.random.default_rng(7)
YEARS = 20
SEASONAL = np.tile(10 * np.sin(2 * np.pi * np.arange(12) / 12), YEARS) + RNG.normal(0, 1, 12 * YEARS)
NOISE = RNG.normal(0, 1, 12 * YEARS)


@pytest.fixture(autouse=True)
def nothing_printed(capfd):
    """The module itself prints nothing, whatever a test makes it do."""
    yield
    out, err = capfd.readouterr()
    assert out == "" and err == ""


# The rules of the settings, and their words, are the table tests/settings_rules.json's
# (test_settings_rules.py); here what the module refuses before the library sees a value.
@pytest.mark.parametrize("call, words", [
    (dict(frame=12, model="arima"), "model must be as-specified, changes, levels, smooth or auto, not 'arima'"),
    (dict(frame=12, threads=0), "threads must be 1 or more"),
])
def test_bad_names_and_counts_are_value_errors(call, words):
    frame = call.pop("frame")
    with pytest.raises(ValueError) as raised:
        tramel.analyse(SEASONAL, frame, **call)
    assert words in str(raised.value)


def test_settings_of_the_wrong_type_are_type_errors():
    for call in (dict(frame=12.0), dict(frame=12, band=3), dict(frame=12, lags="2"),
                 dict(frame=12, threshold="high")):
        frame = call.pop("frame")
        with pytest.raises(TypeError):
            tramel.analyse(SEASONAL, frame, **call)
    with pytest.raises(TypeError, match="data must be numbers"):
        tramel.analyse(np.array(["a"] * 240), 12)


def test_values_that_are_not_finite_are_refused_with_the_first_index():
    data = SEASONAL.copy()
    data[[17, 30]] = np.nan
    with pytest.raises(ValueError, match=r"^value 17 is NaN: the analysis needs finite values"):
        tramel.analyse(data, 12)
    data = SEASONAL.copy()
    data[50] = -np.inf
    with pytest.raises(ValueError, match=r"^value 50 is infinite"):
        tramel.analyse(data, 12)
    # Finite in double precision but not in single: the program's samples are float32.
    data = SEASONAL.copy()
    data[3] = 1e39
    with pytest.raises(ValueError, match=r"^value 3 is 1e\+39, beyond single precision"):
        tramel.analyse(data, 12)
    # In a DataFrame: the series by its name, the value by position and index label.
    months = pd.date_range("1920-01", periods=240, freq="MS")
    frame = pd.DataFrame({"a": SEASONAL, "b": SEASONAL}, index=months)
    frame.iloc[100, 1] = np.nan
    with pytest.raises(ValueError, match=r"value 100 of series 'b' \(index 1928-05-01 00:00:00\) is NaN"):
        tramel.analyse(frame, 12)
    # A missing value of a nullable integer column is NaN too.
    column = pd.Series(np.arange(240), dtype="Int64")
    column[9] = pd.NA
    with pytest.raises(ValueError, match=r"^value 9 \(index 9\) is NaN"):
        tramel.analyse(column, 12)


def test_stops_of_the_analysis_are_runtime_errors_in_the_reports_words():
    # White noise: no bin is significant, and the specified forecast has nothing to fit.
    with pytest.raises(RuntimeError, match="^No frequencies have significant coherence probabilities$"):
        tramel.analyse(NOISE, 12, model="as-specified", threshold=0.999)
    # Three strong tones in 7 frames: 4 m^2 p = 36 is above a tenth of the 280 samples.
    t = np.arange(280)
    tones = sum(np.sin(2 * np.pi * k * t / 40) for k in (1, 2, 3)) + RNG.normal(0, 0.01, 280)
    with pytest.raises(RuntimeError, match=r"^Sample size 280 is not large enough for the "
                                           r"dimension of the VAR \d+; Increase the coherence "
                                           r"prob. threshold 0.990$"):
        tramel.analyse(tones, 40, model="as-specified")
    # Identical frames: the residual frames are zero and the normal matrix is not positive
    # definite.
    frames = np.tile(np.round(8 * np.sin(2 * np.pi * 4 * np.arange(16) / 16)), 8)
    with pytest.raises(RuntimeError, match="DCHOLDC failed, A is not positive definite"):
        tramel.analyse(frames, 16, model="as-specified")
    # In a DataFrame the stop names the series; the models that follow the level do not stop
    # without significant bins (they forecast the level, with a warning).
    frame = pd.DataFrame({"seasonal": SEASONAL, "noise": NOISE})
    with pytest.raises(RuntimeError, match="^series 'noise': No frequencies"):
        tramel.analyse(frame, 12, model="as-specified", threshold=0.999)
    with pytest.warns(tramel.TramelWarning, match="series 'noise': no bin of the band is significant"):
        results = tramel.analyse(frame, 12, model="changes", threshold=0.999)
    assert results[1].significant == [] and len(results[1].forecast) == 12


def test_warnings_go_through_the_warnings_module():
    with pytest.warns(tramel.TramelWarning) as said:
        result = tramel.analyse(np.concatenate([SEASONAL, SEASONAL[:5]]), 12, lags=3)
    texts = [str(w.message) for w in said]
    assert "the last 5 samples, after the last whole frame, take no part: the forecast starts " \
           "at sample 240" in texts
    assert all(t in texts for t in result.warnings)


def copy_case(name, into):
    folder = os.path.join(into, name)
    shutil.copytree(os.path.join(SOURCE, "tests", "cases", name, "input"), folder)
    return folder


def test_run_raises_for_the_control_file_the_data_and_a_stop(tmp_path):
    with pytest.raises(FileNotFoundError, match="does not exist"):
        tramel.run(tmp_path / "nowhere")
    with pytest.raises(ValueError, match="cannot open the control file tramel.cnl"):
        tramel.run(tmp_path)
    with pytest.raises(RuntimeError, match="^No frequencies have significant") as raised:
        tramel.run(copy_case("second_series_without_significant_bins_stops", tmp_path))
    document = raised.value.results
    assert document["status"] == "stopped"
    assert [s["completed"] for s in document["runs"][0]["series"]] == [True, False]
    with pytest.raises(ValueError, match="^model must be as-specified, changes, levels, smooth or auto"):
        tramel.run(tmp_path, model="arima")

"""The module against the program on every shipped example: the same numbers, to the last bit,
as the program's tramel.json (probabilities, forecast, intervals, coefficients, eigenvalues,
the model auto chooses and the backtest scores), and tramel.run's document equal to the file."""
import os
import re
import warnings

import numpy as np
import pytest

import tramel
from conftest import (EXAMPLES, copy_inputs, data_path, example_folder, series_count,
                      shipped_arguments)

# The command lines each example is run with: as shipped, with least-squares errors, and with
# the models that follow the level, their intervals and a backtest.
CONFIGURATIONS = {
    "shipped": None,
    "ols": ["--ols-errors"],
    "auto": ["--model", "auto", "--intervals", "80,95"],
    # The module's backtest scores the VAR models at its origins.
    "changes": ["--model", "changes", "--intervals", "80,95", "--backtest", "4"],
}


def arguments_of(example, configuration):
    """The configuration's options; --ols-errors is added to an example's own (an example that
    needs a model keeps it)."""
    extra = CONFIGURATIONS[configuration]
    if extra is None:
        return shipped_arguments(example)
    if configuration == "ols":
        return shipped_arguments(example) + extra
    return extra


def options_of(arguments, example):
    """tramel.analyse's options for a command line on an example (the default model is auto
    for CSV data, as-specified for the two-line layout)."""
    csv = data_path(example).lower().endswith((".csv", ".tsv"))
    options = {"model": "auto" if csv else "as-specified"}
    i = 0
    while i < len(arguments):
        a = arguments[i]
        if a == "--model":
            options["model"] = arguments[i + 1]
            i += 1
        elif a == "--intervals":
            options["intervals"] = [float(x) for x in arguments[i + 1].split(",")]
            i += 1
        elif a == "--ols-errors":
            options["ols_errors"] = True
        elif a == "--backtest":
            options["origins"] = int(arguments[i + 1])
            i += 1
        i += 1
    return options


def values(json_list, dtype):
    """JSON numbers (null for what is not a number) as the module's dtype: single-precision
    values are written as their shortest decimal, which reads back to the same float32."""
    return np.array([np.nan if v is None else v for v in json_list], dtype=np.float64).astype(dtype)


def assert_bits(expected_json, actual, what):
    actual = np.asarray(actual).ravel()
    expected = values(expected_json, actual.dtype)
    assert expected.shape == actual.shape, what
    same = (expected == actual) | (np.isnan(expected) & np.isnan(actual))
    assert same.all(), f"{what}: first difference at {np.argmin(same)}: " \
                       f"{expected[~same][:3]} against {actual[~same][:3]}"


def flat(frames):
    return [v for frame in frames for v in frame]


def check_series(s, r, run):
    """One series of the program's JSON against the module's Result."""
    assert r.model == s["model"]
    bins = s["bins"]
    assert list(r.bins["bin"]) == [b["bin"] for b in bins]
    assert list(r.bins["significant"]) == [b["significant"] for b in bins]
    for column in ("probability", "waveform_power", "noise"):
        assert_bits([b[column] for b in bins], r.bins[column], column)
    for key in ("mean", "std_dev", "skewness", "kurtosis", "c6", "max", "min"):
        assert_bits([s["statistics"][key]], r.statistics[key], key)
    assert_bits(flat(s["forecast"]), r.forecast, "forecast")
    assert len(r.forecast) == run["frames_ahead"] * run["frame_length"]
    for interval in s.get("intervals", []):
        level = interval["level"]
        assert_bits(flat(interval["lower"]), r.lower[level], f"lower {level}")
        assert_bits(flat(interval["upper"]), r.upper[level], f"upper {level}")
    if "var" not in s:  # smooth, or a combination without a VAR model
        return
    coefficients = s["var"]["coefficients"]
    assert r.coefficients.shape == (len(coefficients), len(coefficients[0]))
    for key, mine in (("value", r.coefficients), ("std_error", r.standard_errors),
                      ("t", r.t_values)):
        assert_bits([c[key] for row in coefficients for c in row], mine, key)
    assert_bits([s["var"]["r_square"]], np.asarray(r.r_square), "r_square")
    for key in ("real", "imag", "magnitude", "period"):
        assert_bits([e[key] for e in s["eigenvalues"]], r.eigenvalues[key], key)
    if "model_fit" in s:
        assert r.fit["kept_bins"] == s["model_fit"]["kept_bins"]
        assert r.fit["left_out_bins"] == s["model_fit"]["left_out_bins"]
        assert r.fit["lags"] == s["model_fit"]["lags"]


def check_scores(expected, scores, model):
    """The backtest in the program's JSON against the module's score table."""
    names = {"as_specified": "as-specified", "seasonal_naive": "seasonal naive",
             "changes": "changes", "levels": "levels", "model": model}
    for key, method in names.items():
        mine = scores[scores["method"] == method].sort_values("step")
        steps = expected[key]
        assert list(mine["step"]) == [x["step"] for x in steps]
        assert list(mine["origins"]) == [x["forecasts"] for x in steps]
        assert list(mine["missed"]) == [x["missed"] for x in steps]
        assert_bits([x["mase"] for x in steps], mine["mase"].to_numpy(), f"{method} MASE")
        assert_bits([x["rmse"] for x in steps], mine["rmse"].to_numpy(), f"{method} RMSE")
        for x in steps:
            for c in x.get("coverage", []):
                column = f"cover_{c['level']:g}"
                assert_bits([c["coverage"]], mine[mine["step"] == x["step"]][column].to_numpy(),
                            column)


@pytest.mark.parametrize("configuration", CONFIGURATIONS)
@pytest.mark.parametrize("example", EXAMPLES)
def test_module_gives_the_programs_numbers(example, configuration, program_json):
    arguments = arguments_of(example, configuration)
    document = program_json(example, arguments)
    options = options_of(arguments, example)
    origins = options.pop("origins", None)
    if options["model"] == "as-specified":
        options["intervals"] = ()
    data = tramel.read_data(data_path(example), series_count(example)).values
    assert document["runs"], "the program made no run"
    for run in document["runs"]:
        sample = data.iloc[run["first_datum"] - 1:run["last_datum"]]
        settings = dict(band=(run["first_bin"], run["last_bin"]), threshold=run["threshold"],
                        lags=run["lags"], ahead=run["frames_ahead"], taper=run["taper_percent"],
                        **options)
        # Several series go in as one DataFrame, analysed side by side on two threads; one
        # series as a numpy array on one.
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", tramel.TramelWarning)
            if sample.shape[1] > 1:
                results = tramel.analyse(sample, run["frame_length"], threads=2, **settings)
            else:
                results = [tramel.analyse(sample.iloc[:, 0].to_numpy(), run["frame_length"],
                                          threads=1, **settings)]
            assert len(results) == len(run["series"])
            for s, r in zip(run["series"], results):
                assert s["completed"]
                check_series(s, r, run)
            if origins:
                backtests = tramel.backtest(sample, run["frame_length"], origins, **settings)
                for s, b in zip(run["series"], backtests):
                    check_scores(s["backtest"], b.scores, b.model)


@pytest.mark.parametrize("example", EXAMPLES)
def test_run_returns_what_the_program_writes(example, program_json, tmp_path_factory):
    arguments = shipped_arguments(example)
    expected = program_json(example, arguments)
    folder = copy_inputs(example, tmp_path_factory.mktemp("run"))
    options = options_of(arguments, example)
    with warnings.catch_warnings(record=True) as said:
        warnings.simplefilter("always")
        document = tramel.run(folder, **options)
    assert document == expected
    assert [str(w.message) for w in said] == expected["warnings"]
    # The report and the forecast file are written as the program writes them.
    assert os.path.exists(os.path.join(folder, "tramel.out"))
    name = re.sub(r"\..*$", "", os.path.basename(data_path(example)))
    with open(os.path.join(folder, name + ".forec")) as mine, \
            open(os.path.join(example_folder(example), name + ".forec")) as shipped:
        assert mine.read() == shipped.read()
    assert not os.path.exists(os.path.join(folder, "tramel.json"))  # not asked for


def test_read_data_gives_the_nearest_float_to_each_record_value():
    """The library's reader against a plain parse of the fixed-width fields (f6.1, one a
    record; 3f8.0 with a label; 5f9.4, five a record)."""
    cases = {"nottem": (6, 1), "seatbelts": (8, 3), "tones": (9, 5)}
    for example, (width, per_record) in cases.items():
        lines = open(data_path(example)).read().splitlines()
        count = int(lines[1].split()[0])
        parsed = []
        for line in lines[2:]:
            parsed.extend(float(line[k * width:(k + 1) * width]) for k in range(per_record))
        m = series_count(example)
        expected = np.array(parsed[:count * m], dtype=np.float64).astype(np.float32)
        data = tramel.read_data(data_path(example), m)
        assert data.count == count
        np.testing.assert_array_equal(data.values.to_numpy().ravel(), expected)
        assert data.values.dtypes.unique().tolist() == [np.float32]

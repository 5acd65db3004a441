"""analyse(..., figures="exact"): every figure, line RMS, report and table against an
independent exact evaluation (exact_oracle.py) on random, nearly flat, constant, one-line,
two-line and 32-bit rasters and on ties of the 6th decimal; the goldens; any layout and any
number of threads; what it refuses; the GIL let go; Ctrl+C; the memory it may use; the
program's own files in its exact mode."""
import os
import re
import subprocess

import numpy as np
import pytest

import scabrosimeter
from conftest import (EXAMPLES, GOLDEN, LIMIT_MEMORY, UNIT_ANSWERS,
                      assert_lets_other_threads_run, interrupted_run, run_python)
from exact_oracle import exact_figures

if not scabrosimeter._core.has_exact:
    pytest.skip("the module was built without the exact engine", allow_module_level=True)

EXACT_LINE = ("\n\tFigures: the exact values of their formulas, correctly rounded to the digits "
              "shown\n")
DECIMALS = {"m": 0, "dm": 1, "cm": 2, "mm": 3}
# The report's figures, in its order, as Result names them.
REPORT_FIGURES = ("rms_line", "rms_column", "rms_image", "standard_deviation",
                  "homogeneity_report", "slope", "r", "r2", "rms_error", "rms_error_sd")
REPORT_PATTERN = re.compile(
    r"RMS Line = (\S+) \n\tRMS Column = (\S+) \n\tRMS Image = (\S+) \n\tStandard Deviation = "
    r"(\S+) \n\tHomogeneity Coeff\. = (\S+) \n\n\tPor parte Ortalvesco\n\t\tSlope = (\S+) r = "
    r"(\S+) r2 = (\S+) \n\t\tRMS Error = (\S+)     Standard Deviation = (\S+) \n\n$")


def expect_oracle(samples, unit="m", image=False, result=None):
    """The exact result of `samples` holds the oracle's doubles, and prints its texts."""
    result = result or scabrosimeter.analyse(samples, unit=unit, image=image, figures="exact")
    texts, doubles, rows = exact_figures(samples, 0 if image else DECIMALS[unit])
    assert result.exact
    for name in scabrosimeter.FIGURES:
        assert getattr(result, name) == doubles[name], name
    report = result.report_text("c:\\images\\d\\r.raw")
    found = REPORT_PATTERN.search(report)
    assert found, report
    assert dict(zip(REPORT_FIGURES, found.groups())) == {n: texts[n] for n in REPORT_FIGURES}
    assert result.table_text() == "".join(f"{i}\t{text}\n" for i, (text, _) in
                                          enumerate(rows, 1))
    assert result.line_rms.tolist() == [value for _, value in rows]
    # The layout is the model's, the exact line at its head.
    model = scabrosimeter.analyse(samples, unit=unit, image=image)
    model = model.report_text("c:\\images\\d\\r.raw")
    assert report.startswith(EXACT_LINE)
    assert REPORT_PATTERN.sub("", report[len(EXACT_LINE):]) == REPORT_PATTERN.sub("", model)
    return texts


def random_raster(generator, dtype, shape, spread):
    info = np.iinfo(dtype)
    base = generator.integers(max(info.min, -2**31 + spread), info.max - spread, endpoint=True)
    return (base + generator.integers(0, spread, shape, endpoint=True)).astype(dtype)


SHAPES = [(1, 1), (1, 7), (6, 1), (2, 2), (2, 9), (9, 2), (3, 3), (3, 4), (17, 23)]


@pytest.mark.parametrize("dtype, unit", [(np.uint16, u) for u in DECIMALS] +
                         [(np.int32, u) for u in DECIMALS] + [(np.uint8, None)])
def test_random_rasters_of_every_type_unit_and_shape(dtype, unit):
    generator = np.random.default_rng(2027 + DECIMALS.get(unit, 4) + 10 * np.dtype(dtype).itemsize)
    for shape in SHAPES:
        for spread in (1, 9, 30000):
            samples = random_raster(generator, dtype, shape, min(spread, np.iinfo(dtype).max))
            expect_oracle(samples, unit or "m", image=unit is None)


def test_nearly_flat_rasters_where_the_models_digits_go_wrong():
    # Heights one unit apart, far from 0: the model's sums lose the relief's digits.
    generator = np.random.default_rng(20)
    for shape, low, unit in (((46, 47), 38477, "cm"), ((49, 37), 19839, "dm"),
                             ((31, 29), 1234567, "mm")):
        samples = (low + generator.integers(0, 2, shape)).astype(
            np.uint16 if low < 65535 else np.int32)
        texts = expect_oracle(samples, unit)
        if low == 38477:  # the README's example: the model prints r = -0.031411
            assert texts["r"] == "-0.030633"
            assert "%f" % scabrosimeter.analyse(samples, unit=unit).r == "-0.031411"


def test_constant_rasters_have_undefined_figures_and_zero_spreads():
    for samples, unit in ((np.full((7, 5), 19839, np.uint16), "dm"),
                          (np.full((3, 5), 19839, np.uint16), "dm"),
                          (np.full((4, 4), -2**31, np.int32), "mm")):
        texts = expect_oracle(samples, unit)
        for name in ("homogeneity", "homogeneity_report", "slope", "r", "r_abs", "r2"):
            assert texts[name] == "undefined", name
        assert texts["rms_image"] == "0.000000" and texts["rms_error"] == "0.000000"


def test_one_and_two_line_rasters_and_ties_of_the_sixth_decimal():
    # One line: the line RMS and the image RMS are the same root, the column RMS 0, so the
    # report's homogeneity is exactly 0: "0.000000", never "-0.000000".
    line = np.array([[3, 9, 4, 4, 7, 1]], dtype=np.uint16)
    assert expect_oracle(line, "cm")["homogeneity_report"] == "0.000000"
    # Two lines of 8 columns in mm, one or three columns 1 mm apart: the column RMS is
    # 0.0000625 or 0.0001875 m exactly, ties that go to the even digit.
    for apart, printed in ((1, "0.000062"), (3, "0.000188")):
        samples = np.full((2, 8), 500, dtype=np.int32)
        samples[1, :apart] += 1
        assert expect_oracle(samples, "mm")["rms_column"] == printed
    # Within 32 bits, the widest spreads: sums of squares far beyond 64 bits.
    extremes = np.array([[-2**31, 2**31 - 1, -2**31], [2**31 - 1, -2**31, 2**31 - 1],
                         [-2**31, -2**31, 2**31 - 1], [5, 2**31 - 1, -2**31]], dtype=np.int32)
    expect_oracle(extremes, "m")


@pytest.mark.parametrize("dataset, unit, image, golden", [
    ("dem1/relief_m2.raw", "dm", False, "relief"),
    ("img1/texture.raw", "m", True, "grain"),
])
def test_the_bundled_examples_print_the_models_digits(dataset, unit, image, golden):
    # On ordinary relief, no printed digit of the model's differs from the exact value's.
    samples, _ = scabrosimeter.read_dataset(os.path.join(EXAMPLES, dataset))
    result = scabrosimeter.analyse(samples, unit=unit, image=image, figures="exact")
    with open(os.path.join(GOLDEN, golden + "_scabrosimeter.txt"), newline="") as report, \
            open(os.path.join(GOLDEN, golden + "_scabrosimeter.xls"), newline="") as table:
        assert result.report_text("c:\\images\\" + dataset.replace("/", "\\")) == \
            EXACT_LINE + report.read()
        assert result.table_text() == table.read()


def test_a_short_files_warning_in_the_exact_report():
    samples = np.arange(12, dtype=np.uint16).reshape(3, 4)
    result = scabrosimeter.analyse(samples, unit="dm", figures="exact")
    report = result.report_text("c:\\images\\d\\r_m2.raw", raw_file_bytes=17)
    assert report.startswith(EXACT_LINE + "\n\tTreatment on the image c:\\images\\d\\r_m2.raw\n"
                             "\n\n\tWarning: the file c:\\images\\d\\r_m2.raw holds 17 bytes "
                             "where 24 were expected;")


def test_every_layout_and_number_of_threads_gives_the_same_bits(monkeypatch):
    generator = np.random.default_rng(8)
    base = random_raster(generator, np.int32, (37, 53), 2**30)
    expected = scabrosimeter.analyse(base, unit="cm", figures="exact")
    wide = np.zeros((37, 106), dtype=np.int32)
    wide[:, ::2] = base
    layouts = (np.asfortranarray(base), wide[:, ::2],
               np.ascontiguousarray(base[::-1, ::-1])[::-1, ::-1], base.astype("<i4"))
    for threads, samples in zip(("1", "2", "3", "7"), layouts):
        monkeypatch.setenv("SCABROSIMETER_THREADS", threads)
        result = scabrosimeter.analyse(samples, unit="cm", figures="exact")
        for name in scabrosimeter.FIGURES:
            assert getattr(result, name) == getattr(expected, name), name
        assert result.table_text() == expected.table_text()
        assert np.array_equal(result.line_rms, expected.line_rms)


@pytest.mark.parametrize("figures", ["Exact", "exact ", "models", None, 1, True])
def test_any_other_figures_value_is_refused(figures):
    with pytest.raises(ValueError, match="figures must be 'model' or 'exact', not "):
        scabrosimeter.analyse(np.zeros((3, 3), dtype=np.uint16), figures=figures)


@pytest.mark.parametrize("samples, options, error, says", [
    (np.zeros((3, 3), dtype=np.float64), {}, TypeError, "uint16 (16-bit DEM) or int32"),
    (np.zeros((3, 3), dtype=">i4"), {}, TypeError, "little-endian"),
    (np.zeros((3, 3), dtype=np.uint16), {"image": True}, TypeError, "must be uint8"),
    (np.zeros((0, 4), dtype=np.uint16), {}, ValueError, "at least one line and one column"),
    (np.zeros((3, 3), dtype=np.uint16), {"unit": "km"}, ValueError, "'m', 'dm', 'cm' or 'mm'"),
    (np.ma.masked_equal(np.arange(9, dtype=np.uint16).reshape(3, 3), 4), {}, TypeError,
     "not a masked array: the analysis would take its masked cells as heights"),
])
def test_refused_as_the_models_analysis_refuses(samples, options, error, says):
    with pytest.raises(error, match=re.escape(says)):
        scabrosimeter.analyse(samples, figures="exact", **options)


def test_the_engine_lets_other_threads_run():
    # A virtual raster (every line the same 20000 samples) of 8000 lines: long enough to tell.
    line = np.random.default_rng(1).integers(0, 60000, 20000, dtype=np.uint16)
    samples = np.broadcast_to(line, (8000, 20000))
    result = assert_lets_other_threads_run(
        lambda: scabrosimeter.analyse(samples, unit="dm", figures="exact"))
    assert result.rms_column == 0.0  # every column constant


def test_ctrl_c_stops_the_exact_figures_within_a_second():
    # A virtual array of 3 x 10^10 cells: many seconds of work.
    setup = "samples = np.broadcast_to(np.arange(10**4, dtype=np.uint16), (3 * 10**6, 10**4))"
    interrupted_run(setup, 'scabrosimeter.analyse(samples, unit="dm", figures="exact")', 0.5,
                    timeout=30)


def test_memory_error_with_the_figures_before_the_work():
    code = LIMIT_MEMORY + """
import numpy as np, scabrosimeter
samples = np.broadcast_to(np.arange(10**7, dtype=np.uint16), (1000, 10**7))
limit_memory(300)
try:
    scabrosimeter.analyse(samples, figures="exact")
except MemoryError as error:
    print(error)
print(scabrosimeter.analyse(samples[:3, :1000], unit="mm", figures="exact").rms_line)
"""
    status, output = run_python(code)
    assert status == 0, output
    found = re.fullmatch(r"Not enough memory for the exact figures of a raster of 1000 lines and "
                         r"10000000 columns: about (\d+) MB needed, (\d+) MB usable\.\n"
                         r"(\S+)\n", output)
    assert found, output
    assert int(found.group(1)) > 300 >= int(found.group(2))
    assert float(found.group(3)) > 0  # what fits is computed


def test_the_programs_exact_mode_writes_what_the_module_prints(tmp_path):
    exe = os.environ.get("SCABROSIMETER_EXE")
    if not exe:
        pytest.skip("SCABROSIMETER_EXE names no built scabrosimeter (ctest sets it)")
    generator = np.random.default_rng(44)
    folder = tmp_path / "images" / "d"
    folder.mkdir(parents=True)
    for samples, unit in ((38477 + generator.integers(0, 2, (46, 47))).astype(np.uint16), "cm"), \
            (random_raster(generator, np.int32, (30, 40), 2**31 - 1), "mm"):
        suffix = "_m2" if samples.dtype == np.uint16 else "_m4"
        little_endian = samples.astype(samples.dtype.newbyteorder("<"))
        (folder / f"r{suffix}.raw").write_bytes(little_endian.tobytes())
        (folder / f"r{suffix}.txt").write_text(f"{samples.shape[0]}\n{samples.shape[1]}\n")
        answers = ["d", "0", "r", "0" if suffix == "_m2" else "1", "0", UNIT_ANSWERS[unit]]
        done = subprocess.run([exe, "--figures=exact"], input=("\n".join(answers) + "\n").encode(),
                              cwd=tmp_path, capture_output=True, check=False)
        if done.returncode == 2:  # a wrong command line
            pytest.skip("this build of the program has no exact mode")
        assert done.returncode == 0, done.stdout.decode("latin-1")
        result = scabrosimeter.analyse(samples, unit=unit, figures="exact")
        assert EXACT_LINE in done.stdout.decode("latin-1")
        assert (folder / "r_scabrosimeter.txt").read_bytes().decode("latin-1") == \
            result.report_text(f"c:\\images\\d\\r{suffix}.raw")
        assert (folder / "r_scabrosimeter.xls").read_bytes().decode("latin-1") == \
            result.table_text()

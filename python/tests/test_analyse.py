"""analyse(): the program's digits, report and table, for the goldens and for seeded random
rasters of every sample type and unit; any layout of the array; undefined figures; refused
inputs; the GIL let go; Ctrl+C; the memory it may use."""
import os
import re

import numpy as np
import pytest

import scabrosimeter
from conftest import (EXAMPLES, GOLDEN, LIMIT_MEMORY, assert_lets_other_threads_run,
                      interrupted_run, printed, run_python)

# Where each figure stands in the program's console transcript.
CONSOLE = [
    ("\n\tRMS line {rms_line} ",),
    ("\n\tRMS column {rms_column} ",),
    ("\n\tRMS total {rms_total}\n\tAverage RMS {average_rms} ",),
    ("\n\thomogeneity coefficient {homogeneity} ",),
    ("\n\tRMS image = {rms_image} Standard deviation = {standard_deviation} ",),
    ("\n\tslope = {slope} ",),
    ("\n\n\tr = {r} r(sqrt) = {r_abs} r2 = {r2} ",),
    ("\n\n\tRMS error = {rms_error} standard deviation = {rms_error_sd} ",),
]


def console_lines(result):
    figures = {name: printed(getattr(result, name)) for name in scabrosimeter.FIGURES
               if name not in ("minimum", "maximum", "interior_cells")}
    return [line.format(**figures) for (line,) in CONSOLE]


def expect_program(result, console, report, table, raw_path, raw_file_bytes=None):
    for line in console_lines(result):
        assert line in console
    assert f"\n\t\tMin = {result.minimum} " in console
    assert f"\n\t\tMax = {result.maximum} " in console
    assert result.report_text(raw_path, raw_file_bytes) == report
    assert result.table_text() == table
    assert [float(row.split("\t")[1]) for row in table.splitlines()] == \
        [float(printed(v)) for v in result.line_rms]


def read_text(path):
    with open(path, newline="") as text:
        return text.read()


@pytest.mark.parametrize("dataset, unit, image, golden", [
    ("dem1/relief_m2.raw", "dm", False, "relief"),
    ("img1/texture.raw", "m", True, "grain"),
])
def test_goldens(dataset, unit, image, golden):
    samples, _ = scabrosimeter.read_dataset(os.path.join(EXAMPLES, dataset))
    result = scabrosimeter.analyse(samples, unit=unit, image=image)
    console_file = "dem1_console.txt" if not image else "img1_console.txt"
    expect_program(result, read_text(os.path.join(GOLDEN, console_file)),
                   read_text(os.path.join(GOLDEN, golden + "_scabrosimeter.txt")),
                   read_text(os.path.join(GOLDEN, golden + "_scabrosimeter.xls")),
                   "c:\\images\\" + dataset.replace("/", "\\"))


def random_samples(generator, dtype, shape):
    """A surface with relief and noise, in the range of the dtype."""
    lines, columns = shape
    y, x = np.mgrid[0:lines, 0:columns]
    relief = np.sin(x / 5.0) * np.cos(y / 7.0) + generator.normal(0, 0.3, shape)
    if dtype == np.uint8:
        values = 128 + 100 * relief / 2
    elif dtype == np.uint16:
        values = 30000 + 20000 * relief / 2
    else:
        values = -500000 + 4e8 * relief / 2
    info = np.iinfo(dtype)
    return np.clip(np.rint(values), info.min, info.max).astype(dtype)


CASES = [(dtype, unit) for dtype in (np.uint16, np.int32) for unit in ("m", "dm", "cm", "mm")]
CASES.append((np.uint8, None))


@pytest.mark.parametrize("dtype, unit", CASES)
def test_random_rasters_give_the_programs_digits(tmp_path, program, dtype, unit):
    generator = np.random.default_rng(20261209 + len(CASES) * CASES.index((dtype, unit)))
    image = unit is None
    for shape in [(1, 1), (1, 7), (2, 2), (3, 3), (4, 1)] + \
            [tuple(generator.integers(1, 60, 2)) for _ in range(3)]:
        samples = random_samples(generator, dtype, shape)
        work = tmp_path / f"{shape[0]}x{shape[1]}"
        console, report, table = program(str(work), samples, unit or "m", image)
        result = scabrosimeter.analyse(samples, unit=unit or "m", image=image)
        suffix = "" if image else ("_m2" if dtype == np.uint16 else "_m4")
        expect_program(result, console, report, table, f"c:\\images\\d\\r{suffix}.raw")


@pytest.mark.parametrize("dtype, unit", CASES)
def test_a_short_raw_file_gives_the_programs_report_and_its_warning(tmp_path, program, dtype,
                                                                     unit):
    generator = np.random.default_rng(1209 + CASES.index((dtype, unit)))
    image = unit is None
    samples = random_samples(generator, dtype, (9, 11))
    # Two thirds of the bytes and one more: for 16 and 32 bits, a sample cut short, whose bytes
    # read are its low ones.
    cut = samples.nbytes * 2 // 3 + 1
    console, report, table = program(str(tmp_path), samples, unit or "m", image, raw_bytes=cut)
    suffix = "" if image else ("_m2" if dtype == np.uint16 else "_m4")
    raw = os.path.join(tmp_path, "images", "d", f"r{suffix}.raw")
    with pytest.warns(UserWarning, match=f"holds {cut} bytes where {samples.nbytes} were"):
        read, _ = scabrosimeter.read_dataset(raw)
    result = scabrosimeter.analyse(read, unit=unit or "m", image=image)
    raw_path = f"c:\\images\\d\\r{suffix}.raw"
    warning = (f"\n\n\tWarning: the file {raw_path} holds {cut} bytes where {samples.nbytes} "
               "were expected; the cells it does not reach are taken as 0.\n")
    assert warning in console and warning in report
    expect_program(result, console, report, table, raw_path, os.path.getsize(raw))
    # Without the file's size the report is that of a whole file; a size beyond the samples'
    # is a whole file too.
    whole = report.replace(warning, "")
    assert result.report_text(raw_path) == whole
    assert result.report_text(raw_path, samples.nbytes + 5) == whole


def test_every_layout_gives_the_same_figures():
    generator = np.random.default_rng(5)
    base = random_samples(generator, np.uint16, (37, 53))
    expected = scabrosimeter.analyse(base, unit="cm")
    wide = np.zeros((37, 106), dtype=np.uint16)
    wide[:, ::2] = base
    flipped = np.ascontiguousarray(base[::-1, ::-1])
    for samples in (np.asfortranarray(base), wide[:, ::2], flipped[::-1, ::-1],
                    np.ascontiguousarray(base.T).T, base.astype("<u2")):
        result = scabrosimeter.analyse(samples, unit="cm")
        for name in scabrosimeter.FIGURES:
            assert getattr(result, name) == getattr(expected, name), name
        assert np.array_equal(result.line_rms, expected.line_rms)


def test_undefined_figures_are_none():
    # A constant raster: no correlation; one cell: no standard deviation; two lines: no
    # interior cell, so nothing of the neighbourhood pass.
    constant = scabrosimeter.analyse(np.full((5, 5), 7, dtype=np.uint16))
    assert constant.r is None and constant.r2 is None and constant.r_abs is None
    assert constant.homogeneity is None and constant.homogeneity_report is None
    assert constant.rms_image == 0.0 and constant.slope is None
    one = scabrosimeter.analyse(np.array([[3]], dtype=np.uint8), image=True)
    assert one.standard_deviation is None
    two_lines = scabrosimeter.analyse(np.array([[1, 2, 3], [4, 5, 6]], dtype=np.int32))
    assert two_lines.interior_cells == 0
    assert all(getattr(two_lines, name) is None
               for name in ("slope", "r", "r_abs", "r2", "rms_error", "rms_error_sd"))
    assert two_lines.rms_line == pytest.approx(0.816497, abs=1e-6)


@pytest.mark.parametrize("samples, options, error, says", [
    ([[1, 2], [3, 4]], {}, TypeError, "numpy array"),
    (np.zeros((3, 3), dtype=np.float64), {}, TypeError, "uint16 (16-bit DEM) or int32"),
    (np.zeros((3, 3), dtype=np.int16), {}, TypeError, "uint16 (16-bit DEM) or int32"),
    (np.zeros((3, 3), dtype=">u2"), {}, TypeError, "little-endian"),
    (np.zeros((3, 3), dtype=np.uint16), {"image": True}, TypeError, "must be uint8"),
    (np.zeros((3, 3), dtype=np.uint8), {}, TypeError, "uint16 (16-bit DEM) or int32"),
    (np.zeros(9, dtype=np.uint16), {}, ValueError, "2-D"),
    (np.zeros((2, 2, 2), dtype=np.uint16), {}, ValueError, "2-D"),
    (np.zeros((0, 4), dtype=np.uint16), {}, ValueError, "at least one line and one column"),
    (np.zeros((4, 0), dtype=np.uint8), {"image": True}, ValueError, "at least one line"),
    (np.zeros((3, 3), dtype=np.uint16), {"unit": "km"}, ValueError, "'m', 'dm', 'cm' or 'mm'"),
    (np.zeros((3, 3), dtype=np.uint16), {"unit": 1}, ValueError, "'m', 'dm', 'cm' or 'mm'"),
    (np.zeros((3, 3), dtype=np.uint8), {"image": "yes"}, TypeError, "True or False"),
    (np.ma.masked_equal(np.arange(9, dtype=np.uint16).reshape(3, 3), 4), {}, TypeError,
     "not a masked array: the analysis would take its masked cells as heights. Fill them "
     "(samples.filled(value)) or crop them away"),
    (np.ma.masked_array(np.ones((3, 3), dtype=np.uint8)), {"image": True}, TypeError,
     "not a masked array"),
])
def test_refused_inputs(samples, options, error, says):
    with pytest.raises(error, match=says.replace("(", r"\(").replace(")", r"\)")):
        scabrosimeter.analyse(samples, **options)


def test_an_images_unit_is_ignored():
    samples = np.arange(20, dtype=np.uint8).reshape(4, 5)
    assert scabrosimeter.analyse(samples, unit="anything", image=True).rms_image == \
        scabrosimeter.analyse(samples, image=True).rms_image


def test_the_passes_let_other_threads_run():
    samples = random_samples(np.random.default_rng(1), np.uint16, (2500, 2500))
    assert_lets_other_threads_run(lambda: scabrosimeter.analyse(samples, unit="dm"))


# Ctrl+C while analyse() reads a virtual array (a few lines' worth of memory, read as a large
# raster): during the first reading of the samples (10^11 cells, many seconds to read through),
# or during the passes (20000 x 20000 cells, whose first reading takes a fraction of the time
# before the signal).
VIRTUAL_ARRAYS = {
    "first reading":
        "samples = np.broadcast_to(np.arange(10**4, dtype=np.uint16), (10**7, 10**4))",
    "passes":
        "from numpy.lib.stride_tricks import as_strided\n"
        "line = np.random.default_rng(3).integers(0, 60000, 40000, dtype=np.uint16)\n"
        "samples = as_strided(line, shape=(20000, 20000), strides=(2, 2), writeable=False)",
}


@pytest.mark.parametrize("during, delay", [("first reading", 0.3), ("passes", 1.2)])
def test_ctrl_c_stops_an_analysis_within_a_second(during, delay):
    interrupted_run(VIRTUAL_ARRAYS[during], 'scabrosimeter.analyse(samples, unit="dm")', delay,
                    timeout=30)


def test_memory_error_with_the_figures_instead_of_a_kill():
    # 16 lines of 10^7 doubles are 1280 MB: beyond 300 MB, the analysis stops before it begins,
    # with a MemoryError that gives the program's figures.
    code = LIMIT_MEMORY + """
import numpy as np, scabrosimeter
samples = np.broadcast_to(np.arange(10**7, dtype=np.uint16), (1000, 10**7))
limit_memory(300)
try:
    scabrosimeter.analyse(samples)
except MemoryError as error:
    print(error)
print(scabrosimeter.analyse(samples[:3, :1000], unit="mm").rms_line)
"""
    status, output = run_python(code)
    assert status == 0, output
    found = re.fullmatch(r"Not enough memory for the analysis of a raster of 1000 lines and "
                         r"10000000 columns: about (\d+) MB needed, (\d+) MB usable\.\n"
                         r"(\S+)\n", output)
    assert found, output
    assert int(found.group(1)) >= 1280 and int(found.group(2)) <= 300
    assert float(found.group(3)) > 0  # what fits is analysed

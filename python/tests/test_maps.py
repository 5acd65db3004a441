"""roughness_map(): the bits of scabrosimeter-map's GeoTIFF for the same samples, whatever the
array's layout and the threads; windows by hand; its order, units and NoData; what it refuses;
the GIL let go; Ctrl+C; the memory it may use."""
import re

import numpy as np
import pytest

import scabrosimeter
from conftest import (LIMIT_MEMORY, assert_lets_other_threads_run, interrupted_run, read_geotiff,
                      run_python, write_geotiff)

EVERY_MEASURE = ("rms", "rms-line", "rms-column", "homogeneity", "rms-error", "r")


def relief(shape, low, high, seed):
    """Ridges and noise between `low` and `high`, as float64."""
    generator = np.random.default_rng(seed)
    y, x = np.mgrid[0:shape[0], 0:shape[1]]
    surface = np.sin(x / 4.0 + y / 9.0) * np.cos(y / 6.0) + generator.normal(0, 0.4, shape)
    surface = (surface - surface.min()) / (surface.max() - surface.min())
    return np.rint(low + (high - low) * surface)


def same_bits(maps, bands):
    """Whether the dict of maps holds the tool's bands, in order and bit for bit (NaN too)."""
    assert [f"{measure} w={window}" for measure, window in maps] == \
        [description for description, _, _ in bands]
    return all(np.array_equal(ours.view(np.uint32), theirs.astype(np.float32).view(np.uint32))
               for ours, (_, _, theirs) in zip(maps.values(), bands))


@pytest.mark.parametrize("dtype, unit, image, nodata, min_valid", [
    (np.uint16, "dm", False, None, 1.0),
    (np.uint16, "m", False, 65535, 0.6),
    (np.int32, "mm", False, -9999, 0.75),
    (np.uint8, "m", True, 0, 0.9),
])
def test_the_tools_bands_bit_for_bit(tmp_path, map_tool, dtype, unit, image, nodata, min_valid):
    if dtype == np.int32:
        samples = relief((61, 47), -2_000_000, 1_500_000, 1).astype(dtype)
    else:
        info = np.iinfo(dtype)
        samples = relief((61, 47), info.min + 1, info.max - 1, 1).astype(dtype)
    if nodata is not None:
        samples.flat[[0, 100, 101, 148, 1500, 2000]] = nodata
    windows = (5, 7, 9) if image else (5, 11)
    # The tool reads heights in metres, rounded to the unit: the samples' heights as float64
    # (missing cells NaN), or the samples themselves where they are metres or grey levels.
    if unit in ("m",):
        tiff = write_geotiff(tmp_path / "in.tif", samples, nodata=nodata)
        options = ["--image"] if image else []
    else:
        heights = samples / {"dm": 10, "mm": 1000}[unit]
        if nodata is not None:
            heights[samples == nodata] = np.nan
        tiff = write_geotiff(tmp_path / "in.tif", heights)
        options = ["--unit", unit]
    done = map_tool(*options, "--window", ",".join(map(str, windows)), "--measure",
                    ",".join(EVERY_MEASURE), "--min-valid", str(min_valid), tiff,
                    str(tmp_path / "map.tif"))
    assert done.returncode == 0, done.stderr
    maps = scabrosimeter.roughness_map(samples, windows=windows, measures=EVERY_MEASURE,
                                       unit=unit, image=image, nodata=nodata,
                                       min_valid=min_valid)
    bands = read_geotiff(tmp_path / "map.tif")
    assert same_bits(maps, bands)
    # Not vacuous: most cells have a value, and the layers differ.
    assert np.isfinite(maps[("rms", windows[0])]).mean() > 0.5
    assert not np.array_equal(maps[("rms", windows[0])], maps[("rms-line", windows[0])])


def test_windows_by_hand():
    samples = relief((9, 12), 100, 400, 2).astype(np.uint16)
    maps = scabrosimeter.roughness_map(samples, windows=[3, 5],
                                       measures=["rms", "rms-line", "rms-column"], unit="cm")
    assert list(maps) == [("rms", 3), ("rms", 5), ("rms-line", 3), ("rms-line", 5),
                          ("rms-column", 3), ("rms-column", 5)]
    maps.update(scabrosimeter.roughness_map(samples, windows=5, measures="r", unit="cm"))
    heights = samples / 100.0  # metres
    for (i, j) in [(1, 1), (4, 6), (7, 10)]:
        window = heights[i - 1:i + 2, j - 1:j + 2]
        assert maps[("rms", 3)][i, j] == pytest.approx(window.std(), rel=1e-6)
        assert maps[("rms-line", 3)][i, j] == pytest.approx(window.std(axis=1).mean(), rel=1e-6)
        assert maps[("rms-column", 3)][i, j] == pytest.approx(window.std(axis=0).mean(), rel=1e-6)
    # r at (4, 6): each interior cell of the 5 x 5 window against its 8 neighbours' mean.
    block = heights[2:7, 4:9]
    cells, means = [], []
    for a in range(1, 4):
        for b in range(1, 4):
            cells.append(block[a, b])
            means.append((block[a - 1:a + 2, b - 1:b + 2].sum() - block[a, b]) / 8)
    assert maps[("r", 5)][4, 6] == pytest.approx(np.corrcoef(cells, means)[0, 1], rel=1e-5)
    # Homogeneity: a plane tilted along the lines or the columns is all anisotropy (the RMS
    # along the other axis is 0); one tilted diagonally, 100 x 2 (sqrt 2 - 1) / (2 + sqrt 2).
    y, x = np.mgrid[0:20, 0:20]
    for plane, expected in ((100 + 3 * y, 100.0), (100 + 3 * x, 100.0),
                            (100 + 3 * x + 3 * y, 100 * 2 * (2**0.5 - 1) / (2 + 2**0.5))):
        tilted = scabrosimeter.roughness_map(plane.astype(np.uint16), windows=15,
                                             measures="homogeneity")[("homogeneity", 15)]
        assert tilted[7:13, 7:13] == pytest.approx(np.full((6, 6), expected), rel=1e-6)
    # The edges: windows not whole inside the raster have no value.
    assert np.isnan(maps[("rms", 5)][:2]).all() and np.isnan(maps[("rms", 5)][:, -2:]).all()
    assert not np.isnan(maps[("rms", 5)][2:-2, 2:-2]).any()
    assert maps[("rms", 3)].dtype == np.float32 and maps[("rms", 3)].shape == samples.shape


def test_any_layout_and_any_threads_give_the_same_bits(monkeypatch):
    base = relief((70, 45), 0, 60000, 3).astype(np.uint16)
    options = dict(windows=(5, 9), measures=("rms", "homogeneity", "rms-error"), unit="dm",
                   nodata=int(base[10, 10]), min_valid=0.8)
    monkeypatch.setenv("SCABROSIMETER_THREADS", "1")
    expected = scabrosimeter.roughness_map(base, **options)
    wide = np.zeros((70, 90), dtype=np.uint16)
    wide[:, ::2] = base
    for threads in ("1", "3", "8"):
        monkeypatch.setenv("SCABROSIMETER_THREADS", threads)
        for samples in (base, np.asfortranarray(base), wide[:, ::2],
                        np.ascontiguousarray(base[::-1])[::-1]):
            maps = scabrosimeter.roughness_map(samples, **options)
            for key in expected:
                assert np.array_equal(maps[key].view(np.uint32), expected[key].view(np.uint32)), \
                    (key, threads)
    monkeypatch.setenv("SCABROSIMETER_THREADS", "0")
    with pytest.raises(ValueError, match="SCABROSIMETER_THREADS must be a whole number"):
        scabrosimeter.roughness_map(base)


def test_nodata_marks_missing_cells():
    samples = np.full((7, 7), 500, dtype=np.int32)
    samples[3, 3] = -32768
    strict = scabrosimeter.roughness_map(samples, nodata=-32768.0)[("rms", 3)]
    assert np.isnan(strict[2:5, 2:5]).all()          # every window that holds it
    assert strict[1, 1] == 0 and strict[5, 5] == 0   # the others: constant
    lenient = scabrosimeter.roughness_map(samples, nodata=-32768, min_valid=8 / 9)[("rms", 3)]
    assert (lenient[1:6, 1:6] == 0).all()            # eight cells of 500 left in each window
    # Without nodata the cell is a height like any other.
    assert scabrosimeter.roughness_map(samples)[("rms", 3)][3, 3] > 10000
    # A NoData value that no sample takes, or beyond 64 bits, marks nothing.
    for unused in (70000, 2**70):
        assert np.array_equal(scabrosimeter.roughness_map(samples, nodata=unused)[("rms", 3)],
                              scabrosimeter.roughness_map(samples)[("rms", 3)], equal_nan=True)


@pytest.mark.parametrize("samples, options, error, says", [
    ([[1, 2, 3]] * 3, {}, TypeError, "numpy array"),
    (np.zeros((5, 5)), {}, TypeError, "uint16 (16-bit DEM) or int32"),
    (np.zeros((5, 5), dtype=np.int16), {}, TypeError, "uint16 (16-bit DEM) or int32"),
    (np.zeros((5, 5), dtype=">i4"), {}, TypeError, "little-endian"),
    (np.zeros((5, 5), dtype=np.uint16), {"image": True}, TypeError, "must be uint8"),
    (np.zeros(25, dtype=np.uint16), {}, ValueError, "2-D"),
    (np.ma.masked_equal(np.arange(25, dtype=np.uint16).reshape(5, 5), 4), {}, TypeError,
     "not a masked array: the map would take its masked cells as heights. Give a plain array, "
     "its masked cells filled with a value that no height takes, and that value as nodata"),
    (np.zeros((5, 5), dtype=np.uint16), {"unit": "ft"}, ValueError, "'m', 'dm', 'cm' or 'mm'"),
    (np.zeros((5, 5), dtype=np.uint16), {"windows": 4}, ValueError, "window 4 is even"),
    (np.zeros((5, 5), dtype=np.uint16), {"windows": 1}, ValueError, "window 1 is too small"),
    (np.zeros((5, 5), dtype=np.uint16), {"windows": 7}, ValueError,
     "window 7 is larger than the raster (5 lines x 5 columns)"),
    (np.zeros((5, 5), dtype=np.uint16), {"windows": 3.0}, TypeError, "odd whole numbers"),
    (np.zeros((5, 5), dtype=np.uint16), {"windows": (3, 5, 3)}, ValueError, "gives 3 twice"),
    (np.zeros((5, 5), dtype=np.uint16), {"windows": ()}, ValueError, "none given"),
    (np.zeros((5, 5), dtype=np.uint16), {"measures": "slope"}, ValueError,
     "unknown measure 'slope': the measures are rms, rms-line, rms-column, homogeneity, "
     "rms-error, r"),
    (np.zeros((5, 5), dtype=np.uint16), {"measures": ["rms", 3]}, TypeError, "names among"),
    (np.zeros((5, 5), dtype=np.uint16), {"measures": "r"}, ValueError,
     "r needs windows of 5 or more"),
    (np.zeros((5, 5), dtype=np.uint16), {"nodata": 2.5}, ValueError, "whole number"),
    (np.zeros((5, 5), dtype=np.uint16), {"nodata": "0"}, TypeError, "whole number or None"),
    (np.zeros((5, 5), dtype=np.uint16), {"min_valid": 0}, ValueError, "above 0 and at most 1"),
    (np.zeros((5, 5), dtype=np.uint16), {"min_valid": 1.5}, ValueError, "above 0 and at most 1"),
    (np.zeros((5, 5), dtype=np.uint16), {"min_valid": "1"}, TypeError, "a number"),
    (np.zeros((5, 5), dtype=np.uint8), {"image": "yes"}, TypeError, "True or False"),
])
def test_refused_arguments(samples, options, error, says):
    with pytest.raises(error, match=re.escape(says)):
        scabrosimeter.roughness_map(samples, **options)


def test_the_work_lets_other_threads_run():
    samples = relief((1500, 1500), 0, 60000, 4).astype(np.uint16)
    assert_lets_other_threads_run(
        lambda: scabrosimeter.roughness_map(samples, windows=(5, 9), measures=EVERY_MEASURE))


def test_ctrl_c_stops_a_map_within_a_second():
    # A virtual array (a line's worth of memory, read as 4000 x 20000 samples) with every
    # measure at two windows: many seconds of work.
    setup = ("line = np.random.default_rng(3).integers(0, 60000, 20000, dtype=np.uint16)\n"
             "samples = np.broadcast_to(line, (4000, 20000))")
    interrupted_run(setup, f"scabrosimeter.roughness_map(samples, windows=(5, 31), "
                    f"measures={EVERY_MEASURE!r})", 1.0, timeout=60)


def test_memory_error_with_the_figures_instead_of_a_kill():
    # Six maps of 10^4 x 10^5 floats are 24 GB: beyond 300 MB, refused before they are made.
    code = LIMIT_MEMORY + """
import numpy as np, scabrosimeter
samples = np.broadcast_to(np.arange(10**5, dtype=np.uint16), (10**4, 10**5))
limit_memory(300)
try:
    scabrosimeter.roughness_map(samples, windows=(3, 5, 7), measures=("rms", "homogeneity"))
except MemoryError as error:
    print(error)
print(scabrosimeter.roughness_map(samples[:5, :5])[("rms", 3)][2, 2])
"""
    status, output = run_python(code)
    assert status == 0, output
    found = re.fullmatch(r"Not enough memory for the map of a raster of 10000 lines and 100000 "
                         r"columns in 6 layer\(s\): about (\d+) MB needed, (\d+) MB usable\.\n"
                         r"(\S+)\n", output)
    assert found, output
    assert int(found.group(1)) >= 24000 and int(found.group(2)) <= 300
    assert float(found.group(3)) > 0  # what fits is mapped

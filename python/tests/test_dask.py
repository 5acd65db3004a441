"""scabrosimeter.dask.roughness_map(): the numpy maps bit for bit, whatever the chunks (uneven,
smaller than a window's halo, edge chunks too thin for the largest window); several windows in
one call; lazy until computed; what it refuses at once; the module without dask.
scabrosimeter.dask.figures(): the whole array's exact Result bit for bit, on a cluster of two
worker processes and on the default scheduler, over irregular chunks; summaries merged in any
order and grouping; summaries that do not fit refused; what it refuses at once."""
import os
import random
import re
import subprocess
import sys

import numpy as np
import pytest

import scabrosimeter
from conftest import SOURCE_DIR, write_geotiff

dask = pytest.importorskip("dask")
import dask.array as da  # noqa: E402  (after the skip)
import scabrosimeter.dask  # noqa: E402

EVERY_MEASURE = ("rms", "rms-line", "rms-column", "homogeneity", "rms-error", "r")


def samples_of(shape, seed, dtype=np.uint16, high=60000):
    generator = np.random.default_rng(seed)
    y, x = np.mgrid[0:shape[0], 0:shape[1]]
    relief = (np.sin(x / 5.0) * np.cos(y / 8.0) + 1) * high / 3
    return np.clip(relief + generator.integers(0, high // 3, shape), 0, high).astype(dtype)


def expect_same_bits(lazy, expected):
    assert list(lazy) == list(expected)
    for key, value in zip(lazy, dask.compute(*lazy.values())):
        assert value.dtype == np.float32 and value.shape == expected[key].shape
        assert np.array_equal(value.view(np.uint32), expected[key].view(np.uint32)), key


@pytest.mark.parametrize("chunks", [
    ((10, 3, 40, 44), (1, 2, 50, 30)),   # uneven, and smaller than the halo (4): merged
    ((4, 89, 4), (4, 75, 4)),            # edge chunks as thin as the halo: no window 9 fits
    ((97,), (83,)),                      # one chunk
    (13, 9),                             # regular, just over the halo
])
def test_the_numpy_maps_bit_for_bit_whatever_the_chunks(chunks):
    samples = samples_of((97, 83), 1)
    options = dict(windows=(5, 9), measures=EVERY_MEASURE, unit="cm", nodata=int(samples[7, 7]),
                   min_valid=0.85)
    expected = scabrosimeter.roughness_map(samples, **options)
    lazy = scabrosimeter.dask.roughness_map(da.from_array(samples, chunks=chunks), **options)
    expect_same_bits(lazy, expected)
    assert np.isfinite(expected[("rms", 9)]).mean() > 0.5  # not vacuous


def test_several_windows_and_types_in_one_call():
    for samples, image in ((samples_of((60, 70), 2, np.uint8, 255), True),
                           (samples_of((60, 70), 3, np.int32, 2_000_000_000), False)):
        options = dict(windows=(3, 7, 15, 21), measures=("rms", "homogeneity"), image=image)
        lazy = scabrosimeter.dask.roughness_map(da.from_array(samples, chunks=(17, 23)),
                                                **options)
        expect_same_bits(lazy, scabrosimeter.roughness_map(samples, **options))


def test_lazy_until_computed():
    calls = []

    def counted(block):
        calls.append(block.shape)
        return block

    samples = da.from_array(samples_of((40, 40), 4), chunks=20).map_blocks(counted)
    probes = list(calls)  # dask's own, on empty and one-cell arrays, for the type
    lazy = scabrosimeter.dask.roughness_map(samples, windows=(3, 5))
    assert calls == probes  # nothing read yet
    assert isinstance(lazy[("rms", 3)], da.Array) and lazy[("rms", 3)].dtype == np.float32
    dask.compute(*lazy.values())
    assert sum(1 for shape in calls if shape == (20, 20)) == 4  # each chunk read once


@pytest.mark.parametrize("array, options, error, says", [
    (np.zeros((9, 9), dtype=np.uint16), {}, TypeError,
     "array must be a dask array, not ndarray (for a numpy array: scabrosimeter.roughness_map)"),
    (da.zeros((9, 9), dtype=np.float64, chunks=3), {}, TypeError, "uint16 (16-bit DEM) or int32"),
    (da.zeros((9, 9), dtype=np.uint16, chunks=3), {"image": True}, TypeError, "must be uint8"),
    (da.zeros((9, 9, 2), dtype=np.uint16, chunks=3), {}, ValueError, "2-D"),
    (da.ma.masked_equal(da.zeros((9, 9), dtype=np.uint16, chunks=3), 0), {}, TypeError,
     "not a masked array"),
    (da.zeros((9, 9), dtype=np.uint16, chunks=3), {"windows": 11}, ValueError,
     "window 11 is larger than the raster (9 lines x 9 columns)"),
    (da.zeros((9, 9), dtype=np.uint16, chunks=3), {"measures": "slope"}, ValueError,
     "unknown measure 'slope'"),
    (da.zeros((9, 9), dtype=np.uint16, chunks=3), {"min_valid": 2}, ValueError,
     "above 0 and at most 1"),
])
def test_refused_at_once(array, options, error, says):
    with pytest.raises(error, match=re.escape(says)):
        scabrosimeter.dask.roughness_map(array, **options)


def test_the_module_imports_without_dask():
    code = ("import sys; sys.modules['dask'] = None; sys.modules['dask.array'] = None\n"
            "import numpy, scabrosimeter.dask\n"
            "try:\n"
            "    scabrosimeter.dask.roughness_map(numpy.zeros((5, 5), dtype=numpy.uint16))\n"
            "except ImportError as e:\n"
            "    print(e)\n")
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert done.stdout == "scabrosimeter.dask needs dask (Debian: apt-get install python3-dask)\n"


exact_only = pytest.mark.skipif(not scabrosimeter._core.has_exact,
                                reason="the module was built without the exact engine")
# 49 chunks of differing sizes, lines and columns of one cell among them.
IRREGULAR = ((1, 9, 4, 9, 1, 8, 13), (5, 1, 22, 3, 1, 11, 16))


def expect_same_result(result, expected):
    assert result.exact and expected.exact
    for name in scabrosimeter.FIGURES:
        value, wanted = getattr(result, name), getattr(expected, name)
        assert value == wanted and type(value) is type(wanted), name
    assert result.line_rms.tobytes() == expected.line_rms.tobytes()
    assert result.table_text() == expected.table_text()
    assert result.report_text("c:\\images\\d\\r_m4.raw") == \
        expected.report_text("c:\\images\\d\\r_m4.raw")


def rasters():
    """A 16-bit DEM with relief, a 32-bit one across sea level, an image, a nearly flat DEM
    (where the model's digits go wrong), all 45 x 59."""
    nearly_flat = (38477 + np.random.default_rng(6).integers(0, 2, (45, 59))).astype(np.uint16)
    return [(samples_of((45, 59), 11), "dm", False),
            (samples_of((45, 59), 12, np.int32, 2_000_000_000) - 10**9, "mm", False),
            (samples_of((45, 59), 13, np.uint8, 255), "m", True),
            (nearly_flat, "cm", False)]


@pytest.fixture(scope="module")
def cluster():
    """A cluster of two worker processes, for the tests of this file that ask for it; a test
    makes its client, dask's default scheduler until the test closes it."""
    distributed = pytest.importorskip("distributed")
    # Ports chosen by the system, no dashboard: nothing fixed to collide with.
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  scheduler_port=0, dashboard_address=None,
                                  silence_logs=40) as cluster:
        yield cluster


@exact_only
def test_exact_figures_on_a_cluster_of_two_processes_bit_for_bit(cluster):
    from distributed import Client, get_task_stream
    with Client(cluster) as client:
        for samples, unit, image in rasters():
            array = da.from_array(samples, chunks=IRREGULAR)
            assert array.npartitions >= 16
            expected = scabrosimeter.analyse(samples, unit=unit, image=image, figures="exact")
            with get_task_stream(client) as stream:
                result = scabrosimeter.dask.figures(array, unit=unit, image=image)
            expect_same_result(result, expected)
            ran = {}
            for task in stream.data:
                ran.setdefault(task["key"].split("-")[0], set()).add(task["worker"])
            # The summaries and their merges ran in the workers' processes.
            assert {"_chunk_summary", "_merged"} <= set(ran), ran
            assert ran["_chunk_summary"] <= set(client.scheduler_info()["workers"])


def readme_example():
    """The README's worked example for a raster larger than one machine, as a script."""
    with open(os.path.join(SOURCE_DIR, "README.md"), encoding="utf-8") as readme:
        text = readme.read()
    section = text[text.index("\n## Rasters larger than one machine\n"):]
    return section[section.index("```python\n") + 10:section.index("\n```\n")] + "\n"


@exact_only
def test_the_readme_example_on_a_vrt_mosaic_of_geotiffs(tmp_path, cluster):
    gdal = pytest.importorskip("osgeo.gdal")
    generator = np.random.default_rng(17)
    y, x = np.mgrid[0:230, 0:170]
    heights = (np.rint((600 + 200 * np.sin(x / 30) * np.cos(y / 40) +
                        generator.normal(0, 1, x.shape)) * 10) / 10).astype(np.float32)
    tiles = []
    for top, bottom in ((0, 100), (100, 230)):
        for left, right in ((0, 60), (60, 170)):
            tiles.append(write_geotiff(tmp_path / f"tile_{top}_{left}.tif",
                                       heights[top:bottom, left:right], nodata=-9999,
                                       geotransform=(500000 + 30 * left, 30, 0,
                                                     4000000 - 30 * top, 0, -30)))
    gdal.BuildVRT(str(tmp_path / "mosaic.vrt"), tiles)
    script = readme_example()
    assert "WINDOW = 2048" in script
    (tmp_path / "figures.py").write_text(script.replace("WINDOW = 2048", "WINDOW = 47"))
    # The module this test imports, wherever the script runs.
    path = [os.path.dirname(os.path.dirname(os.path.abspath(scabrosimeter.__file__))),
            os.environ.get("PYTHONPATH", "")]
    done = subprocess.run([sys.executable, "figures.py", "mosaic.vrt", cluster.scheduler_address],
                          cwd=tmp_path, capture_output=True, text=True, timeout=120,
                          env=dict(os.environ, PYTHONPATH=os.pathsep.join(path)))
    assert done.returncode == 0, done.stderr
    assert done.stdout.startswith("mosaic.vrt: 230 x 170 cells in 20 chunks, on 2 workers\n")
    samples = np.rint(heights.astype(np.float64) * 10).astype(np.int32)
    expected = scabrosimeter.analyse(samples, unit="dm", figures="exact")
    for line, name in zip(done.stdout.splitlines()[1:], scabrosimeter.FIGURES):
        assert line == f"{name:20} {getattr(expected, name)!r}"
    assert (tmp_path / "mosaic_scabrosimeter.txt").read_text() == \
        expected.report_text("mosaic.vrt")
    assert (tmp_path / "mosaic_scabrosimeter.xls").read_text() == expected.table_text()


@exact_only
@pytest.mark.parametrize("chunks", [IRREGULAR, ((45,), (59,)), (1, 59), (45, 1), (7, 6),
                                    ((0, 20, 0, 25, 0), (30, 0, 29))])  # chunks of no cell
def test_exact_figures_on_the_default_scheduler_whatever_the_chunks(chunks):
    from dask.base import get_scheduler
    assert get_scheduler() is None  # the collections' own (threads): no client left behind
    for samples, unit, image in rasters():
        expected = scabrosimeter.analyse(samples, unit=unit, image=image, figures="exact")
        result = scabrosimeter.dask.figures(da.from_array(samples, chunks=chunks), unit=unit,
                                            image=image)
        expect_same_result(result, expected)


@exact_only
def test_one_line_and_one_column_rasters():
    for shape, chunks in (((1, 40), (1, (3, 1, 36))), ((40, 1), ((3, 1, 36), 1)),
                          ((1, 1), (1, 1))):
        samples = samples_of(shape, 9)
        expected = scabrosimeter.analyse(samples, unit="cm", figures="exact")
        expect_same_result(scabrosimeter.dask.figures(da.from_array(samples, chunks=chunks),
                                                      unit="cm"), expected)


def summaries_of_a_tiling(samples, generator, unit=1):
    """The summaries' bytes of a random tiling of `samples` (an int32 DEM) into blocks."""
    lines, columns = samples.shape
    cuts = [sorted({0, n, *generator.integers(1, n, 4).tolist()}) for n in (lines, columns)]
    parts = []
    for i0, i1 in zip(cuts[0], cuts[0][1:]):
        for j0, j1 in zip(cuts[1], cuts[1][1:]):
            window = samples[max(i0 - 1, 0):i1 + 1, max(j0 - 1, 0):j1 + 1]
            parts.append(scabrosimeter.dask._chunk_summary(window, 4, unit, False, samples.shape,
                                                           (i0, i1, j0, j1)))
    return parts


@exact_only
def test_summaries_merged_in_any_order_and_grouping():
    generator = np.random.default_rng(31)
    samples = samples_of((33, 41), 14, np.int32, 2_000_000_000)
    expected = scabrosimeter.analyse(samples, unit="dm", figures="exact")
    shuffle = random.Random(5).shuffle
    for _ in range(6):
        parts = summaries_of_a_tiling(samples, generator)
        shuffle(parts)
        while len(parts) > 1:  # random groups, merged in random order
            size = int(generator.integers(2, 4))
            parts = [scabrosimeter.dask._merged(*parts[:size])] + parts[size:]
            shuffle(parts)
        result = scabrosimeter.Result(scabrosimeter._core.exact_result(parts[0]), False, True)
        expect_same_result(result, expected)


@exact_only
def test_summaries_that_do_not_fit_are_refused_with_the_engines_message():
    generator = np.random.default_rng(32)
    samples = samples_of((20, 30), 15, np.int32, 100000)
    parts = summaries_of_a_tiling(samples, generator)
    other_unit = summaries_of_a_tiling(samples, generator, unit=2)
    other_raster = summaries_of_a_tiling(samples[:, :29], generator)
    cases = [
        ((parts[0], parts[0]), "summaries that cannot be merged: "),
        ((parts[0], other_unit[-1]), "summaries that cannot be merged: "),
        ((parts[0], other_raster[-1]), "summaries that cannot be merged: "),
        ((parts[0], parts[1][:-3]), "not a summary: "),
        ((parts[0], b"\x07" + parts[1][1:]), "not a summary: "),
        ((parts[0], b""), "not a summary: "),
    ]
    for pair, says in cases:
        with pytest.raises(ValueError, match=re.escape(says) + ".+"):
            scabrosimeter.dask._merged(*pair)
    # Until the summaries cover the raster, there are no figures.
    with pytest.raises(ValueError, match="no figures from this summary: .+"):
        scabrosimeter._core.exact_result(scabrosimeter.dask._merged(*parts[:-1]))
    # A chunk whose window is not its block with the ring around it.
    with pytest.raises(ValueError, match="4 x 5 samples here"):
        scabrosimeter.dask._chunk_summary(samples[0:3, 0:4], 4, 1, False, samples.shape,
                                          (0, 3, 0, 4))


@exact_only
@pytest.mark.parametrize("array, options, error, says", [
    (np.zeros((9, 9), dtype=np.uint16), {}, TypeError, "array must be a dask array, not ndarray"),
    (da.zeros((9, 9), dtype=np.float64, chunks=3), {}, TypeError, "uint16 (16-bit DEM) or int32"),
    (da.zeros((9, 9), dtype=">u2", chunks=3), {}, TypeError, "little-endian"),
    (da.zeros((9, 9), dtype=np.uint16, chunks=3), {"image": True}, TypeError, "must be uint8"),
    (da.zeros((9, 9, 2), dtype=np.uint16, chunks=3), {}, ValueError, "2-D"),
    (da.zeros((9, 9), dtype=np.uint16, chunks=3), {"unit": "km"}, ValueError,
     "'m', 'dm', 'cm' or 'mm'"),
    (da.ma.masked_equal(da.zeros((9, 9), dtype=np.uint16, chunks=3), 0), {}, TypeError,
     "not a masked array: the analysis would take its masked cells as heights"),
])
def test_exact_figures_refused_at_once(array, options, error, says):
    with pytest.raises(error, match=re.escape(says)):
        scabrosimeter.dask.figures(array, **options)


@exact_only
def test_a_chunk_not_of_the_declared_type_is_refused():
    lying = da.from_delayed(dask.delayed(np.zeros)((4, 4), np.float64), shape=(4, 4),
                            dtype=np.uint16, meta=np.empty((0, 0), np.uint16))
    with pytest.raises(TypeError, match="uint16 .16-bit DEM. or int32"):
        scabrosimeter.dask.figures(lying)
    masked = da.from_delayed(dask.delayed(np.ma.masked_equal)(np.zeros((4, 4), np.uint16), 0),
                             shape=(4, 4), dtype=np.uint16, meta=np.empty((0, 0), np.uint16))
    with pytest.raises(TypeError, match="not a masked array"):
        scabrosimeter.dask.figures(masked)

"""scabrosimeter.dask.roughness_map(): the numpy maps bit for bit, whatever the chunks (uneven,
smaller than a window's halo, edge chunks too thin for the largest window); several windows in
one call; lazy until computed; what it refuses at once; the module without dask."""
import re
import subprocess
import sys

import numpy as np
import pytest

import scabrosimeter

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

"""Exact figures and roughness maps of dask arrays, chunk by chunk, on any of dask's schedulers
(a distributed cluster among them).

    import dask, dask.array as da, scabrosimeter.dask
    samples = da.from_array(heights, chunks=(2000, 2000))
    result = scabrosimeter.dask.figures(samples, unit="dm")  # analyse(..., figures="exact")'s
    maps = scabrosimeter.dask.roughness_map(samples, windows=(3, 9), measures=("rms", "homogeneity"))
    rms3, rms9, homogeneity3, homogeneity9 = dask.compute(*maps.values())

For the figures, each chunk is summarised with the ring of cells around it (the exact sums of
its cells, its neighbour terms included), the summaries travel as bytes and are merged as a
tree; integer sums merge in any order to the same integers, so the figures are the whole
array's, bit for bit, whatever the chunks. For the maps, each chunk is mapped with the lines
and columns around it that its windows reach (dask.array.map_overlap with the largest window's
halo as depth, and no padding at the array's edges): every window is computed from its own
cells, so the maps are those of the whole array, bit for bit, whatever the chunks. The module
imports without dask; figures() and roughness_map() need it (Debian: python3-dask).
"""
import numpy as np

from . import Result, _core, checked_figures
from ._samples import checked_image, checked_samples, checked_unit
from .maps import MapRequest

# What to do instead of giving a masked array, for the exact figures.
_FILL_ADVICE = ("Fill them (array.filled(value) or da.ma.filled) or crop them away, and give a "
                "plain array")
# Summaries merged at once in each step of the tree.
_SPLIT_EVERY = 8


def _dask_array():
    try:
        import dask.array
    except ImportError as missing:
        raise ImportError("scabrosimeter.dask needs dask (Debian: apt-get install python3-dask)") \
            from missing
    return dask.array


def _checked_array(array, image, array_module, work="the map",
                   masked_advice="Give a plain array, its masked cells filled with a value that "
                                 "no height takes, and that value as nodata"):
    """The bytes of a sample of the dask array `array`, checked as roughness_map() and
    analyse() check a numpy array's (its type, its two dimensions, a masked array refused)."""
    if not isinstance(array, array_module.Array):
        raise TypeError(f"array must be a dask array, not {type(array).__name__} (for a numpy "
                        "array: scabrosimeter.roughness_map)")
    meta = array._meta if isinstance(array._meta, np.ndarray) else np.empty((0, 0), array.dtype)
    sample = np.zeros((1,) * array.ndim, dtype=array.dtype)
    if isinstance(meta, np.ma.MaskedArray):
        sample = np.ma.masked_array(sample)
    if any(np.isnan(size) for size in array.shape):
        raise ValueError(f"array of unknown shape {array.shape}: give its chunks' sizes "
                         "(array.compute_chunk_sizes()) first")
    if array.ndim == 2 and min(array.shape) < 1:
        raise ValueError(f"array must hold at least one line and one column, not shape "
                         f"{array.shape}")
    return checked_samples(sample, image, work, masked_advice)


def _maps_of_block(block, request, width, record):
    """The maps of one chunk, with its overlap, as one array of `record` (a field a layer). A
    layer whose window is larger than the chunk has no value in it: no window of it lies whole
    in the chunk, and then none of the chunk's own cells has a whole window in the array."""
    maps = np.full(block.shape, np.nan, dtype=record)
    fitting = [layer for layer in request.layers if layer[1] <= min(block.shape)]
    if fitting:
        values = _core.roughness_map(block, width, fitting, request.places, request.nodata,
                                     request.min_valid, 1)
        for (measure, window), value in zip(fitting, values):
            maps[f"{measure} w={window}"] = value
    return maps


def roughness_map(array, windows=(3,), measures=("rms",), unit="m", image=False, nodata=None,
                  min_valid=1.0):
    """scabrosimeter.roughness_map() of a 2-D dask array, of any chunks: a dict from (measure,
    window) to a lazy float32 dask array of the array's shape, the same values bit for bit.

    The arguments are roughness_map()'s, and are checked at once (a window larger than the
    array included). Chunks smaller than the largest window's halo ((w - 1) / 2) are merged
    with their neighbours first (dask's map_overlap rechunks them): the maps' chunks are then
    the merged ones. Each chunk is mapped on one thread, the chunks side by side on dask's
    workers; compute the maps together (dask.compute(*maps.values())) so that each chunk is
    mapped once for all of them.
    """
    array_module = _dask_array()
    request = MapRequest(windows, measures, unit, image, nodata, min_valid)
    width = _checked_array(array, request.image, array_module)
    request.check(*array.shape)
    names = [f"{measure} w={window}" for measure, window in request.layers]
    record = np.dtype([(name, np.float32) for name in names])
    maps = array_module.map_overlap(_maps_of_block, array, depth=request.halo(), boundary="none",
                                    trim=True, dtype=record, meta=np.empty((0, 0), record),
                                    request=request, width=width, record=record)
    return {layer: maps[name] for layer, name in zip(request.layers, names)}


def _chunk_summary(window, width, unit, image, raster, block):
    """The summary's bytes of one chunk, `block` = (first line, end line, first column, end
    column) of the raster of `raster` = (lines, columns), from `window`: the chunk with the line
    and column around it where the raster goes on. The chunk's type is checked again: a dask
    array's chunks need not be of the type it declares."""
    if checked_samples(window, image, "the analysis", _FILL_ADVICE) != width:
        raise TypeError(f"a chunk of {window.dtype} in an array of {width}-byte samples")
    return _core.chunk_summary(np.ascontiguousarray(window), width, unit, image, *raster, *block)


def _merged(*parts):
    return _core.merge_summaries(list(parts))


def _summary_tree(parts, delayed):
    """The merge of the summaries `parts`, as a tree of dask tasks, each merging at most
    _SPLIT_EVERY of them."""
    while len(parts) > 1:
        parts = [delayed(_merged, pure=True)(*parts[k:k + _SPLIT_EVERY])
                 for k in range(0, len(parts), _SPLIT_EVERY)]
    return parts[0]


def figures(array, unit="m", image=False):
    """scabrosimeter.analyse(..., figures="exact") of a 2-D dask array of any chunks: the same
    Result (every figure, the line RMS, the report and the table), bit for bit.

    The arguments are analyse()'s, and are checked at once. Each chunk is read with the ring of
    cells around it (dask.array.overlap, depth 1, no padding at the array's edges) and summarised
    on a worker; the summaries, a few dozen bytes a line and a column of their chunk, are merged
    as a tree on the workers, and the figures made here from the whole raster's. Runs on dask's
    current scheduler: a distributed.Client's cluster once one is made. A summary that does not
    fit the others (which cannot come of one array) is a ValueError.
    """
    array_module = _dask_array()
    import dask
    checked_figures("exact")
    image = checked_image(image)
    width = _checked_array(array, image, array_module, "the analysis", _FILL_ADVICE)
    unit = checked_unit(unit, image)
    if any(0 in sizes for sizes in array.chunks):  # chunks of no cell, which overlap() refuses
        array = array.rechunk(tuple(tuple(size for size in sizes if size)
                                    for sizes in array.chunks))
    ringed = array_module.overlap.overlap(array, depth=1, boundary="none")
    if ringed.numblocks != array.numblocks:
        raise RuntimeError(f"dask changed the chunks of {array!r} to give them their ring")
    windows = ringed.to_delayed()
    starts = [np.cumsum((0,) + sizes).tolist() for sizes in array.chunks]
    summarise = dask.delayed(_chunk_summary, pure=True)
    parts = [summarise(windows[a, b], width, unit, image, array.shape,
                       (starts[0][a], starts[0][a + 1], starts[1][b], starts[1][b + 1]))
             for a in range(array.numblocks[0]) for b in range(array.numblocks[1])]
    (whole,) = dask.compute(_summary_tree(parts, dask.delayed))
    return Result(_core.exact_result(whole), image, exact=True)

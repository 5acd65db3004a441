"""Moving-window roughness maps of a numpy array: the engine of scabrosimeter-map, the same
values bit for bit. scabrosimeter.roughness_map() is roughness_map() here; for a dask array,
scabrosimeter.dask.roughness_map()."""
import math
import numbers

from . import _core
from ._samples import checked_image, checked_samples, checked_unit

# Every measure, in the order scabrosimeter-map lists them.
MEASURES = tuple(_core.map_measures()) if hasattr(_core, "map_measures") else ()


class MapRequest:
    """The arguments of a map, checked: `layers` the (measure, window) pairs in order (every
    window of the first measure, then of the next), `places` the samples' decimal places (the
    unit), `nodata` the sample of a missing cell or None, `min_valid` the fraction."""

    def __init__(self, windows, measures, unit, image, nodata, min_valid):
        if not MEASURES:
            raise ImportError("this build of scabrosimeter has no roughness maps (GMP was not "
                              "found when it was built: apt-get install libgmp-dev)")
        self.image = checked_image(image)
        self.places = checked_unit(unit, self.image)
        windows = _checked_list(windows, "windows", numbers.Integral, "odd whole numbers")
        measures = _checked_list(measures, "measures", str, f"names among {', '.join(MEASURES)}")
        for measure in measures:
            if measure not in MEASURES:
                raise ValueError(f"unknown measure {measure!r}: the measures are "
                                 f"{', '.join(MEASURES)}")
        for window in windows:
            if not -2**31 < window < 2**31:
                raise ValueError(f"window {window} is too large: windows go up to 16383")
        self.layers = [(measure, int(window)) for measure in measures for window in windows]
        self.nodata = _checked_nodata(nodata)
        if isinstance(min_valid, bool) or not isinstance(min_valid, numbers.Real):
            raise TypeError(f"min_valid must be a number, not {min_valid!r}")
        self.min_valid = float(min_valid)
        # The windows and measures as the engine takes them, on a raster large enough for all.
        self.check(2**31 - 1, 2**31 - 1)

    def check(self, lines, columns):
        """ValueError when the map of a raster of this size cannot be made (a window larger than
        the raster, an even one, rms-error with a window of 3, ...), with the engine's reason."""
        problem = _core.map_problem(lines, columns, self.layers, self.min_valid, self.places)
        if problem:
            raise ValueError(problem)

    def halo(self):
        """How far a window reaches from its centre: the largest (w - 1) / 2."""
        return max((window - 1) // 2 for _, window in self.layers)


def _checked_list(items, name, kind, what):
    """`items`, one of `kind` or a sequence of them without repeats, as a list."""
    if isinstance(items, kind) and not isinstance(items, bool):
        items = [items]
    try:
        items = list(items)
    except TypeError:
        raise TypeError(f"{name} must be {what}, not {items!r}") from None
    for item in items:
        if isinstance(item, bool) or not isinstance(item, kind):
            raise TypeError(f"{name} must be {what}, not {item!r}")
    if not items:
        raise ValueError(f"{name}: none given")
    repeated = [item for position, item in enumerate(items) if item in items[:position]]
    if repeated:
        raise ValueError(f"{name} gives {repeated[0]!r} twice")
    return items


def _checked_nodata(nodata):
    """The sample that marks a missing cell: a whole number (an int, or a float such as GDAL's
    GetNoDataValue() gives), or None. One beyond 64 bits matches no sample: None."""
    if nodata is None:
        return None
    if isinstance(nodata, bool) or not isinstance(nodata, numbers.Real):
        raise TypeError(f"nodata must be a whole number or None, not {nodata!r}")
    if not isinstance(nodata, numbers.Integral):
        if not math.isfinite(nodata) or not float(nodata).is_integer():
            raise ValueError(f"nodata must be a whole number (the samples are), not {nodata!r}")
    whole = int(nodata)
    return whole if -2**63 <= whole < 2**63 else None


def compute(samples, request, threads=0):
    """The maps of `samples` for a checked `request`: {(measure, window): float32 array}."""
    width = checked_samples(samples, request.image, "the map",
                            "Give a plain array, its masked cells filled with a value that no "
                            "height takes, and that value as nodata: "
                            "roughness_map(samples.filled(value), nodata=value)")
    request.check(*samples.shape)
    maps = _core.roughness_map(samples, width, request.layers, request.places, request.nodata,
                               request.min_valid, threads)
    return dict(zip(request.layers, maps))


def roughness_map(samples, windows=(3,), measures=("rms",), unit="m", image=False, nodata=None,
                  min_valid=1.0):
    """The roughness of every window of w x w cells of a raster, as scabrosimeter-map maps it.

    samples    a 2-D numpy array, lines x columns, of the samples as stored: uint8 for an 8-bit
               image; uint16 or int32 for a DEM (as for analyse()). Any strides; it is read in
               place and must not change meanwhile.
    windows    odd window sizes from 3 (one, or a sequence)
    measures   measure names (one, or a sequence): "rms", "rms-line", "rms-column",
               "homogeneity", "rms-error", "r" (the last two with windows of 5 or more)
    unit       a DEM's height unit: "m", "dm", "cm" or "mm": the maps are in metres whatever it
               is (ignored for an image, whose maps are in grey levels)
    image      True for an 8-bit image
    nodata     the sample that marks a missing cell, or None
    min_valid  the fraction of a window's cells that must be valid for it to have a value,
               above 0 and at most 1

    Returns a dict from (measure, window) to a float32 array of the samples' shape, NaN where a
    window is not whole inside the raster, holds too few valid cells, or the measure has no
    value; in the order of the measures, each with every window. The values are those of the
    bands of scabrosimeter-map for the same samples, bit for bit. The work runs without the GIL
    on SCABROSIMETER_THREADS threads (by default one per processor); Ctrl+C (KeyboardInterrupt)
    stops it within a second. TypeError or ValueError for arguments it cannot take (a masked
    array among them); MemoryError, with the figures, for maps beyond the memory the process may
    use.
    """
    return compute(samples, MapRequest(windows, measures, unit, image, nodata, min_valid))

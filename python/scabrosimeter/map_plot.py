"""A band of a roughness map of scabrosimeter-map drawn as a picture: its values in colour with a
colour bar titled with the measure, the window and the unit, over a hillshade of the raster that
was mapped when it is given, cells without a value left transparent.

    python3 -m scabrosimeter.plot --map MAP.tif [--band N] [--relief INPUT] [-o FILE.png]

Needs matplotlib and GDAL's Python bindings (Debian: python3-matplotlib, python3-gdal).
"""
import math
import os
import re

import numpy as np

from .plot import _pyplot, literal, open_regular, printable

# A map is read with at most this many cells along its longer side (each cell drawn the nearest
# of the map's): enough for a picture on a screen, and a 20000 x 20000 map stays small.
LARGEST_SIDE = 2000

# The units a band may give, in the words of a colour bar.
UNIT_WORDS = {"m": "metres", "metre": "metres", "meter": "metres", "metres": "metres",
              "meters": "metres", "ft": "feet", "foot": "feet", "feet": "feet"}

# Metres in a degree of latitude, and of longitude at the equator (WGS 84, to 0.1 %).
METRES_PER_DEGREE = 111320


def _gdal():
    try:
        from osgeo import gdal
    except ImportError as missing:
        raise ImportError("maps need GDAL's Python bindings (Debian: apt-get install "
                          "python3-gdal)") from missing
    return gdal


def open_raster(path, what):
    """GDAL's dataset of the regular file at `path` (a `what`: "map", "relief"); OSError when it
    is not a regular file that can be read, or not a raster GDAL reads."""
    open_regular(path, what).close()
    gdal = _gdal()
    gdal.PushErrorHandler("CPLQuietErrorHandler")
    try:
        gdal.ErrorReset()
        dataset = gdal.Open(os.fspath(path))
        message = gdal.GetLastErrorMsg()
    except RuntimeError as error:  # where the caller made GDAL raise (gdal.UseExceptions())
        dataset, message = None, str(error)
    finally:
        gdal.PopErrorHandler()
    if dataset is None:
        raise OSError(f"{printable(path)} cannot be read as a raster" +
                      (f": {message}" if message else ""))
    return dataset


def picture_size(dataset):
    """(columns, lines) of the picture of a raster: its own, or less so that the longer side is
    at most LARGEST_SIDE."""
    columns, lines = dataset.RasterXSize, dataset.RasterYSize
    shrink = max(1.0, max(columns, lines) / LARGEST_SIDE)
    return max(1, round(columns / shrink)), max(1, round(lines / shrink))


def read_band(dataset, number, path, size):
    """(band, values): band `number` of `dataset` read at `size` (columns, lines) as float64, NaN
    where it has no value (NaN, or its NoData value). ValueError for a band it does not have."""
    if not 1 <= number <= dataset.RasterCount:
        raise ValueError(f"{printable(path)} has {dataset.RasterCount} band(s); band {number} "
                         "does not exist")
    band = dataset.GetRasterBand(number)
    values = band.ReadAsArray(buf_xsize=size[0], buf_ysize=size[1])
    if values is None:
        raise OSError(f"band {number} of {printable(path)} cannot be read")
    values = values.astype(np.float64)
    nodata = band.GetNoDataValue()
    if nodata is not None and not math.isnan(nodata):
        values[values == nodata] = np.nan
    return band, values


def colour_bar_title(description, unit, number):
    """"rms w=9" in "m": "rms, 9 x 9 window (metres)"; any other description as it is (band N
    when it has none); no unit, no brackets. The homogeneity coefficient is in % where a copy
    of the map lost its unit."""
    found = re.fullmatch(r"(\S+) w=([0-9]+)", description or "")
    if found:
        window = found.group(2)
        title = f"{found.group(1)}, {window} \N{MULTIPLICATION SIGN} {window} window"
        unit = unit or ("%" if found.group(1) == "homogeneity" else "")
    else:
        title = description or f"band {number}"
    words = UNIT_WORDS.get(unit.lower(), unit) if unit else ""
    return f"{title} ({words})" if words else title


def is_geographic(dataset):
    """Whether the raster's coordinates are degrees of longitude and latitude."""
    crs = dataset.GetSpatialRef()
    return bool(crs is not None and crs.IsGeographic())


def extent(dataset):
    """(left, right, bottom, top) of a north-up raster in its coordinates, or None (no
    geotransform, or a rotated one: drawn in cells)."""
    transform = dataset.GetGeoTransform(can_return_null=True)
    if transform is None or transform[2] or transform[4]:
        return None
    left, top = transform[0], transform[3]
    right = left + transform[1] * dataset.RasterXSize
    bottom = top + transform[5] * dataset.RasterYSize
    return left, right, bottom, top


def hillshade(relief, path, map_dataset, size):
    """The raster at `path` (of the map's cells) lit from the north-west, as matplotlib's
    LightSource shades it, at `size`; its steps in metres (degrees taken at the raster's middle
    latitude)."""
    from matplotlib.colors import LightSource
    if (relief.RasterXSize, relief.RasterYSize) != (map_dataset.RasterXSize,
                                                    map_dataset.RasterYSize):
        raise ValueError(f"the relief {printable(path)} has {relief.RasterYSize} lines x "
                         f"{relief.RasterXSize} columns, the map {map_dataset.RasterYSize} x "
                         f"{map_dataset.RasterXSize}: give the raster that was mapped")
    _, heights = read_band(relief, 1, path, size)
    if not np.isfinite(heights).any():
        raise ValueError(f"the relief {printable(path)} has no height to shade")
    transform = relief.GetGeoTransform(can_return_null=True) or (0, 1, 0, 0, 0, -1)
    dx = abs(transform[1]) * relief.RasterXSize / size[0]
    dy = abs(transform[5]) * relief.RasterYSize / size[1]
    if is_geographic(relief):
        middle = transform[3] + transform[5] * relief.RasterYSize / 2
        dx *= METRES_PER_DEGREE * math.cos(math.radians(middle))
        dy *= METRES_PER_DEGREE
    filled = np.where(np.isfinite(heights), heights, np.nanmean(heights))
    return LightSource(azdeg=315, altdeg=45).hillshade(filled, vert_exag=1, dx=dx, dy=dy)


def colour_range(values, path, number):
    """(low, high, extend): the 2nd and 98th percentiles of the values, so that a few extreme
    cells do not wash out the rest, and the colour bar's arrows for what lies beyond them."""
    finite = values[np.isfinite(values)]
    if finite.size == 0:
        raise ValueError(f"band {number} of {printable(path)} has no value to draw")
    low, high = np.percentile(finite, [2, 98])
    if low == high:
        low, high = finite.min(), finite.max()
    if low == high:
        low, high = low - 0.5, high + 0.5
    below, above = finite.min() < low, finite.max() > high
    extend = "both" if below and above else "min" if below else "max" if above else "neither"
    return low, high, extend


def axis_names(dataset, corners):
    if corners is None:
        return "column", "line"
    if is_geographic(dataset):
        return "longitude (\N{DEGREE SIGN})", "latitude (\N{DEGREE SIGN})"
    crs = dataset.GetSpatialRef()
    unit = crs.GetLinearUnitsName() if crs is not None else ""
    unit = {"metre": "m", "meter": "m"}.get(unit.lower(), unit)
    return (f"x ({unit})", f"y ({unit})") if unit else ("x", "y")


def figure_of_map(path, number=1, relief=None, title=None):
    """The picture of band `number` of the map at `path`, over a hillshade of `relief` when
    given, as a matplotlib Figure (with the Agg backend); the title (the map's file name when
    None) drawn as it is."""
    dataset = open_raster(path, "map")
    size = picture_size(dataset)
    band, values = read_band(dataset, number, path, size)
    low, high, extend = colour_range(values, path, number)
    shade = hillshade(open_raster(relief, "relief"), relief, dataset, size) if relief else None
    figure, ax = _pyplot("Agg").subplots(figsize=(8, 6.5))
    corners = extent(dataset)
    if shade is not None:
        ax.imshow(shade, cmap="gray", extent=corners, interpolation="nearest")
    image = ax.imshow(np.ma.masked_invalid(values), cmap="viridis", vmin=low, vmax=high,
                      alpha=0.7 if shade is not None else 1.0, extent=corners,
                      interpolation="nearest")
    bar = figure.colorbar(image, ax=ax, extend=extend, shrink=0.85)
    bar.set_label(literal(colour_bar_title(band.GetDescription(), band.GetUnitType(), number)))
    bar.solids.set_alpha(1)
    x_name, y_name = axis_names(dataset, corners)
    ax.set_xlabel(x_name)
    ax.set_ylabel(y_name)
    ax.set_title(literal(title or os.path.basename(path)))
    figure.tight_layout()
    return figure

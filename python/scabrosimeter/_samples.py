"""What analyse() and roughness_map() take as samples: a 2-D numpy array of the samples as the
program stores them. The checks they share, and their messages."""
import numpy as np

from . import _core

# The height units of a DEM, as the program's unit question numbers them.
UNITS = {symbol: unit for unit, symbol in enumerate(_core.unit_symbols)}


def _sample_width(samples, image):
    """The bytes of a sample, for the dtypes the program reads; TypeError for the others."""
    dtype = samples.dtype
    little_endian = dtype.byteorder in ("<", "|") or (dtype.byteorder == "=" and
                                                      np.little_endian)
    if image:
        if dtype != np.uint8:
            raise TypeError(f"the samples of an 8-bit image must be uint8, not {dtype}")
        return 1
    if dtype.kind == "u" and dtype.itemsize == 2 and little_endian:
        return 2
    if dtype.kind == "i" and dtype.itemsize == 4 and little_endian:
        return 4
    raise TypeError("the samples of a DEM must be uint16 (16-bit DEM) or int32 (32-bit DEM), in "
                    f"little-endian byte order, not {dtype.str} ({dtype})")


def checked_image(image):
    """`image` as a bool; TypeError for what is not True or False."""
    if not isinstance(image, (bool, np.bool_, int, np.integer)) or image not in (0, 1):
        raise TypeError(f"image must be True or False, not {image!r}")
    return bool(image)


def checked_unit(unit, image):
    """The number of a DEM's height unit ("m", "dm", "cm", "mm"); 0 for an image, whose unit is
    not read. ValueError for another."""
    if image:
        return 0
    if not isinstance(unit, str) or unit not in UNITS:
        raise ValueError(f"unit must be 'm', 'dm', 'cm' or 'mm', not {unit!r}")
    return UNITS[unit]


def checked_samples(samples, image, work, masked_advice):
    """The width in bytes of the samples of `samples`, once they are checked: TypeError for what
    is not a plain numpy array or not of a type the program reads (uint8 for an image, uint16
    or int32 for a DEM), ValueError for a shape that is no raster's. `work` ("the analysis")
    and `masked_advice` say, for a masked array, what would happen and what to do instead."""
    if not isinstance(samples, np.ndarray):
        raise TypeError("samples must be a numpy array (2-D: lines x columns), not "
                        f"{type(samples).__name__}")
    if isinstance(samples, np.ma.MaskedArray):
        # The C++ code reads the data beneath the mask: masked cells would count as heights.
        raise TypeError(f"samples must be a plain array, not a masked array: {work} would take "
                        f"its masked cells as heights. {masked_advice}")
    width = _sample_width(samples, image)
    if samples.ndim != 2:
        raise ValueError(f"samples must be a 2-D array (lines x columns), not {samples.ndim}-D")
    if samples.shape[0] < 1 or samples.shape[1] < 1:
        raise ValueError("samples must hold at least one line and one column, not shape "
                         f"{samples.shape}")
    if max(samples.shape) > 2**31 - 1:
        raise ValueError(f"samples of shape {samples.shape}: at most 2147483647 lines and columns")
    return width

"""The roughness measures of scabrosimeter, from Python.

    import scabrosimeter
    result = scabrosimeter.analyse(samples, unit="dm")   # a 2-D numpy array of the samples
    print(result.rms_image, result.homogeneity)
    result.plot()                                        # the RMS of every line (matplotlib)

analyse() runs the console program's own passes, with its arithmetic and its order of
operations: every figure formatted with "%f" is the digit string the program prints for the same
raster. analyse(..., figures="exact") gives instead each figure's exact value, as the nearest
double and, in the report and the table, correctly rounded; scabrosimeter.dask.figures() gives
the same for a dask array, chunk by chunk, on any cluster. read_dataset() reads a dataset the
program reads (a raw raster and its descriptor). roughness_map() maps the measures over every
window of a raster, as scabrosimeter-map does.
"""
import os

from . import _core
from ._samples import UNITS, checked_image, checked_samples, checked_unit
from .maps import MEASURES, roughness_map

__version__ = _core.version
__all__ = ["analyse", "read_dataset", "roughness_map", "Result"]

# The figures of a result, in the order the program prints them.
FIGURES = ("minimum", "maximum", "rms_line", "rms_column", "rms_image", "standard_deviation",
           "rms_total", "average_rms", "homogeneity", "homogeneity_report", "slope", "r", "r_abs",
           "r2", "rms_error", "rms_error_sd", "interior_cells")


class Result:
    """The figures of one raster.

    minimum, maximum     the range of the samples, as stored (ints)
    rms_line             the average RMS of the lines
    rms_column           the average RMS of the columns
    rms_image            the RMS of the whole image
    standard_deviation   of the image's deviations, sqrt(S / (n (n - 1)))
    rms_total            the mean absolute difference between the three RMS values
    average_rms          their mean
    homogeneity          rms_total / average_rms x 100 (the console's coefficient)
    homogeneity_report   100 minus that (the report's "Homogeneity Coeff.")
    slope, r, r_abs, r2  the regression of each interior cell on its 8-neighbour mean
    rms_error            the RMS error against the 4-neighbour mean
    rms_error_sd         its standard deviation
    interior_cells       the cells of the regression (int)
    line_rms             the RMS of every line (a float64 array)

    A figure the program prints as "undefined" is None. Heights are in metres for a DEM, grey
    levels for an image. `exact` is True for the exact figures (analyse(..., figures="exact")):
    each float is then the double nearest the figure's exact value, and report_text() and
    table_text() print the exact values correctly rounded.
    """

    def __init__(self, analysed, image, exact=False):
        self._analysed = analysed
        self.image = image
        self.exact = exact
        for name, value in analysed.figures().items():
            setattr(self, name, value)
        self.line_rms = analysed.line_rms()

    def report_text(self, raw_path, raw_file_bytes=None):
        """The report file's text, byte for byte as the program writes it for this raster, whose
        raw file the report names by `raw_path` (Windows form, c:\\images\\FOLDER\\NAME_m2.raw).
        `raw_file_bytes` is the size of that file when it is shorter than the samples (read by
        read_dataset() with its warning): the report then warns of it, as the program's does."""
        return self._analysed.report_text(raw_path, raw_file_bytes)

    def table_text(self):
        """The table file's text (NAME_scabrosimeter.xls): each line's number and RMS."""
        return self._analysed.table_text()

    def plot(self, ax=None, title=None):
        """Draws the RMS of every line against its number, with the average line RMS and the
        image RMS as reference lines, on `ax` (new axes when None); returns the axes. Needs
        matplotlib."""
        from .plot import plot_line_rms
        return plot_line_rms(self.line_rms, rms_line=self.rms_line, rms_image=self.rms_image,
                             unit="grey levels" if self.image else "metres", ax=ax, title=title)

    def __repr__(self):
        shown = ", ".join(f"{name}={getattr(self, name)!r}" for name in FIGURES)
        exact = ", exact=True" if self.exact else ""
        return f"Result({shown}, line_rms=<{len(self.line_rms)} values>{exact})"


def checked_figures(figures):
    """True for the exact figures ("exact"), False for the model's ("model"); ValueError for
    anything else."""
    if not isinstance(figures, str) or figures not in ("model", "exact"):
        raise ValueError(f"figures must be 'model' or 'exact', not {figures!r}")
    if figures == "exact" and not _core.has_exact:
        raise ValueError("figures='exact': this build of the module has no exact engine (GMP "
                         "and MPFR were not found when it was built)")
    return figures == "exact"


def analyse(samples, unit="m", image=False, figures="model"):
    """The program's figures for a raster given as its samples.

    samples  a 2-D numpy array, lines x columns, of the samples as stored: uint8 for an 8-bit
             image; uint16 or int32 for a DEM. Any strides (C or Fortran order, slices); it is
             read in place, a line at a time, and must not change meanwhile.
    unit     a DEM's height unit: "m", "dm", "cm" or "mm" (ignored for an image).
    image    True for an 8-bit image, whose grey levels are taken as they are.
    figures  "model": the program's figures, digit for digit; "exact": the exact value of each
             figure's formula on the exact heights (sample x 10^-decimals of the unit), given as
             the nearest double, printed by report_text() and table_text() correctly rounded,
             None where it is undefined; computed on SCABROSIMETER_THREADS threads (default:
             the machine's cores).

    Returns a Result. The samples are read without holding the GIL; Ctrl+C (KeyboardInterrupt)
    stops the analysis within a second. MemoryError, with the figures, when the analysis would
    need more memory than the process may use.
    """
    exact = checked_figures(figures)
    image = checked_image(image)
    width = checked_samples(samples, image, "the analysis",
                            "Fill them (samples.filled(value)) or crop them away, and give a "
                            "plain array")
    unit_number = checked_unit(unit, image)
    if exact:
        return Result(_core.exact_analyse(samples, width, unit_number, image), image, exact=True)
    return Result(_core.analyse(samples, width, unit_number, image), image)


def read_dataset(path):
    """Reads a dataset as the program does, from the path of its raw raster (.raw) or of its
    descriptor (.txt): NAME_m2 is a 16-bit DEM (uint16), NAME_m4 a 32-bit DEM (int32), any other
    name an 8-bit image (uint8).

    Returns (samples, numbers): the samples as a lines x columns array, and the descriptor's six
    numbers (lines, columns, bytes per sample, minimum, maximum, pixel size). A raw file shorter
    than the descriptor says is read as far as it goes, the rest zeros, with a UserWarning that
    gives the bytes expected and found; a longer one is cut to size. A path with a NUL
    character in it is a ValueError (as for open()).
    """
    return _core.read_dataset(os.fspath(path))

"""The RMS of every line of a raster, drawn against the line number; a band of a roughness map.

From Python: Result.plot(). From a table file the console program wrote:

    python3 -m scabrosimeter.plot TABLE [-o FILE.png|FILE.svg] [--title TEXT]

draws the table's RMS values (NAME_scabrosimeter.xls), with the average line RMS and the image
RMS read from the report beside it (NAME_scabrosimeter.txt) when it is there, into FILE
(TABLE's name with .png by default). From a map scabrosimeter-map wrote:

    python3 -m scabrosimeter.plot --map MAP.tif [--band N] [--relief INPUT] [-o FILE.png]

draws band N (1 by default) in colour, with a colour bar titled with its measure, window and
unit, over a hillshade of INPUT (the raster mapped) when it is given; cells without a value
are left transparent. Needs matplotlib (Debian: python3-matplotlib), and for a map GDAL's
Python bindings (python3-gdal).

Only regular files are read. A value that is not a finite decimal number from 0 to 1e300, in
the table or among the report's figures, is refused with the file's name and the line's number;
so is a map that GDAL cannot read, or a band it does not have. The exit status is then 1 (2 for
a wrong command line).
"""
import argparse
import math
import os
import re
import stat
import sys


def _pyplot(backend=None):
    try:
        import matplotlib
        if backend:
            matplotlib.use(backend)
        import matplotlib.pyplot as pyplot
    except ImportError as missing:
        raise ImportError("plots need matplotlib (Debian: apt-get install python3-matplotlib)") \
            from missing
    return pyplot


def plot_line_rms(line_rms, rms_line=None, rms_image=None, unit="metres", ax=None, title=None):
    """Draws `line_rms` (line 1 first) against the line number on `ax` (new axes when None),
    with `rms_line` and `rms_image` as labelled horizontal lines where they are given, the
    values in `unit` ("metres" for a DEM, "grey levels" for an image, None when unknown).
    Returns the axes."""
    if ax is None:
        _, ax = _pyplot().subplots(figsize=(8, 4.5))
    numbers = range(1, len(line_rms) + 1)
    ax.plot(numbers, line_rms, color="tab:blue", linewidth=0.9, label="RMS of the line")
    if rms_line is not None:
        ax.axhline(rms_line, color="tab:orange", linestyle="--", linewidth=1.2,
                   label=f"average line RMS {rms_line:f}")
    if rms_image is not None:
        ax.axhline(rms_image, color="tab:green", linestyle=":", linewidth=1.5,
                   label=f"image RMS {rms_image:f}")
    ax.set_xlabel("line")
    ax.set_ylabel(f"RMS roughness ({unit})" if unit else "RMS roughness")
    if len(line_rms) > 1:
        ax.set_xlim(1, len(line_rms))
    if title:
        ax.set_title(title)
    ax.legend(loc="best", fontsize="small")
    ax.grid(True, linewidth=0.3, alpha=0.6)
    return ax


# No line of a table or of a report is longer: a longer one is refused unread.
MAX_LINE_BYTES = 4096

# The largest magnitude drawn: matplotlib's axes overflow near the top of the float64 range.
LARGEST_VALUE = 1e300

# A line number, and a decimal number as the program writes it (nan, inf and 1_0 are not).
_LINE_NUMBER = re.compile(rb"[0-9]+")
_NUMBER = re.compile(rb"[+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?")

# A figure of the report that the graph draws: "\tRMS Line = 48.704213 ".
_REPORT_FIGURE = re.compile(rb"\s*(RMS Line|RMS Image) = (\S*)")


def shown(data, limit=40):
    """`data` (bytes) for a message, between double quotes: bytes that are not printable ASCII
    escaped as Python escapes them (\\t, \\x1b), cut after `limit` characters with "..."."""
    text = ""
    for position in range(len(data)):
        piece = repr(data[position:position + 1])[2:-1]
        if len(text) + len(piece) > limit:
            return f'"{text}..."'
        text += piece
    return f'"{text}"'


def printable(path):
    """A file's name for a message: its characters that cannot be printed escaped."""
    return "".join(c if c.isprintable() else repr(c)[1:-1] for c in os.fsdecode(path))


def _not_regular(mode):
    """What a file of this mode is, when it is not a regular file; None for a regular file."""
    kinds = [(stat.S_ISDIR, "a folder"), (stat.S_ISFIFO, "a named pipe (FIFO)"),
             (stat.S_ISCHR, "a device"), (stat.S_ISBLK, "a device"),
             (stat.S_ISSOCK, "a socket")]
    if stat.S_ISREG(mode):
        return None
    return next((kind for test, kind in kinds if test(mode)), "not a regular file")


def open_regular(path, what):
    """The file at `path`, open for reading bytes; OSError when it is not a regular file. It is
    looked at before it is opened (opening a named pipe would wait for a writer), opened without
    waiting all the same, and looked at again once open (it may have been replaced meanwhile)."""
    kind = _not_regular(os.stat(path).st_mode)
    if kind is None:
        descriptor = os.open(path, os.O_RDONLY | getattr(os, "O_NONBLOCK", 0)
                             | getattr(os, "O_NOCTTY", 0))
        kind = _not_regular(os.fstat(descriptor).st_mode)
        if kind is None:
            return os.fdopen(descriptor, "rb")
        os.close(descriptor)
    raise OSError(f"{printable(path)} is {kind}, not a {what} file")


def _numbered_lines(file, name):
    """(number, line) for each line of `file`, line 1 first; ValueError for a line longer than
    MAX_LINE_BYTES, found without reading more of it."""
    count = 0
    while True:
        line = file.readline(MAX_LINE_BYTES + 1)
        if not line:
            return
        count += 1
        if len(line) > MAX_LINE_BYTES:
            raise ValueError(f"{name}, line {count}: more than {MAX_LINE_BYTES} bytes: "
                             f"{shown(line)}")
        yield count, line.rstrip(b"\r\n")


def _rms_value(text, where):
    """The RMS written `text` (bytes) as a float; ValueError, saying `where`, for what is not a
    decimal number, not finite, beyond LARGEST_VALUE in magnitude, or negative."""
    if not _NUMBER.fullmatch(text):
        raise ValueError(f"{where}: {shown(text)} is not a number")
    value = float(text)
    if not math.isfinite(value) or abs(value) > LARGEST_VALUE:
        raise ValueError(f"{where}: {shown(text)} is beyond what a graph can show "
                         "(its magnitude at most 1e300)")
    if value < 0:
        raise ValueError(f"{where}: {shown(text)} is negative, which no RMS is")
    return value


def read_table(path):
    """The RMS values of a table file, line 1 first. ValueError, with the file's name and the
    line's number, for a line that is not its number and an RMS value (a finite decimal number
    from 0 to 1e300), and for an empty table; OSError when it is not a regular file."""
    name = printable(path)
    values = []
    with open_regular(path, "table") as table:
        for count, line in _numbered_lines(table, name):
            fields = line.split()
            if len(fields) != 2 or not _LINE_NUMBER.fullmatch(fields[0]):
                raise ValueError(f"{name}, line {count}: not a line number and an RMS value: "
                                 f"{shown(line)}")
            if int(fields[0]) != count:
                raise ValueError(f"{name}, line {count}: expected line {count} and its RMS, "
                                 f"found {shown(line)}")
            values.append(_rms_value(fields[1], f"{name}, line {count}"))
    if not values:
        raise ValueError(f"{name}: an empty table")
    return values


def read_report(path):
    """What the report file at `path` gives for the graph: (rms_line, rms_image, image), each
    rms None where it says "undefined" or is not there. ValueError, with the file's name and the
    line's number, for a figure that is no RMS."""
    name = printable(path)
    figures = {}
    image = False
    with open_regular(path, "report") as report:
        for count, line in _numbered_lines(report, name):
            image = image or b"Dynamic scale of the 8 bits image" in line
            found = _REPORT_FIGURE.match(line)
            if found and found.group(2) != b"undefined":
                figures[found.group(1)] = _rms_value(found.group(2), f"{name}, line {count}")
            elif found:
                figures[found.group(1)] = None
            if len(figures) == 2:
                break
    return figures.get(b"RMS Line"), figures.get(b"RMS Image"), image


def report_beside(table_path):
    """The report that the program wrote beside a table (NAME_scabrosimeter.xls ->
    NAME_scabrosimeter.txt), or None."""
    stem, extension = os.path.splitext(table_path)
    report = stem + ".txt"
    return report if extension.lower() == ".xls" and os.path.isfile(report) else None


def literal(text):
    """`text` drawn as it is: a $ would otherwise begin matplotlib's mathematical notation."""
    return text.replace("$", r"\$")


def figure_of_table(table, title=None):
    """The graph of a table file, as a matplotlib Figure (with the Agg backend): the table's
    values, and the reference lines and unit from the report beside it when it is there. The
    title (the table's file name when None) is drawn as it is."""
    line_rms = read_table(table)
    rms_line = rms_image = unit = None
    report = report_beside(table)
    if report:
        rms_line, rms_image, image = read_report(report)
        unit = "grey levels" if image else "metres"
    figure, ax = _pyplot("Agg").subplots(figsize=(8, 4.5))
    plot_line_rms(line_rms, rms_line, rms_image, unit=unit, ax=ax,
                  title=literal(title or os.path.basename(table)))
    figure.tight_layout()
    return figure


def _arguments(arguments):
    parser = argparse.ArgumentParser(
        prog="python3 -m scabrosimeter.plot",
        description="Draws the RMS of every line from a table file of scabrosimeter "
                    "(NAME_scabrosimeter.xls), with the average line RMS and the image RMS from "
                    "the report beside it; or, with --map, a band of a roughness map of "
                    "scabrosimeter-map.",
        epilog="Exit status: 0 once the picture is written; 1 when the table, the report or the "
               "map cannot be read or holds what cannot be drawn; 2 for a wrong command line.")
    parser.add_argument("table", nargs="?", help="the table file, NAME_scabrosimeter.xls")
    parser.add_argument("-o", "--output", help="the picture to write, .png or .svg (default: the "
                                               "table's or the map's name with .png)")
    parser.add_argument("--title", help="the graph's title, drawn as it is (default: the "
                                        "file's name)")
    parser.add_argument("--map", help="a GeoTIFF of scabrosimeter-map, to draw instead of a "
                                      "table")
    parser.add_argument("--band", type=_band_number, default=None,
                        help="the map's band to draw (default 1)")
    parser.add_argument("--relief", help="the raster that was mapped, drawn as a hillshade "
                                         "beneath the map")
    options = parser.parse_args(arguments)
    if (options.table is None) == (options.map is None):
        parser.error("give a table file, or a map with --map (not both)")
    if options.map is None and (options.band is not None or options.relief is not None):
        parser.error("--band and --relief go with --map")
    source = options.table if options.map is None else options.map
    options.output = options.output or os.path.splitext(source)[0] + ".png"
    if os.path.splitext(options.output)[1].lower() not in (".png", ".svg"):
        parser.error(f"the picture must be a .png or .svg file, not {printable(options.output)}")
    return options


def _band_number(text):
    if not re.fullmatch(r"[0-9]{1,9}", text) or int(text) < 1:
        raise argparse.ArgumentTypeError(f"a band is a whole number from 1, not {text!r}")
    return int(text)


def main(arguments=None):
    options = _arguments(arguments)
    try:
        if options.map is None:
            figure = figure_of_table(options.table, options.title)
        else:
            from .map_plot import figure_of_map
            figure = figure_of_map(options.map, options.band or 1, options.relief, options.title)
        figure.savefig(options.output, dpi=120)
        _pyplot().close(figure)
    except (OSError, ValueError, ImportError, MemoryError) as problem:
        print(f"scabrosimeter.plot: {problem}", file=sys.stderr)
        return 1
    print(f"Wrote {printable(options.output)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

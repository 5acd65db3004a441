"""The RMS of every line of a raster, drawn against the line number.

From Python: Result.plot(). From a table file the console program wrote:

    python3 -m scabrosimeter.plot TABLE [-o FILE.png|FILE.svg] [--title TEXT]

draws the table's RMS values (NAME_scabrosimeter.xls), with the average line RMS and the image
RMS read from the report beside it (NAME_scabrosimeter.txt) when it is there, into FILE
(TABLE's name with .png by default). Needs matplotlib (Debian: python3-matplotlib).
"""
import argparse
import os
import re
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


def read_table(path):
    """The RMS values of a table file, line 1 first. ValueError for a line that is not a line
    number and a value, or numbers out of order."""
    values = []
    with open(path, encoding="ascii", errors="replace", newline=None) as table:
        for count, row in enumerate(table, start=1):
            fields = row.split()
            try:
                number, value = int(fields[0]), float(fields[1])
            except (IndexError, ValueError):
                raise ValueError(f"{path}, line {count}: not a line number and an RMS value: "
                                 f"{row.strip()!r}") from None
            if number != count or len(fields) != 2:
                raise ValueError(f"{path}, line {count}: expected line {count} and its RMS, "
                                 f"found {row.strip()!r}")
            values.append(value)
    if not values:
        raise ValueError(f"{path}: an empty table")
    return values


def read_report(path):
    """What the report file at `path` gives for the graph: (rms_line, rms_image, image), each
    rms None where it says "undefined" or is not there."""
    with open(path, encoding="latin-1", newline=None) as report:
        text = report.read()

    def figure(label):
        found = re.search(label + r" = (\S+)", text)
        if not found or found.group(1) == "undefined":
            return None
        return float(found.group(1))

    return figure("RMS Line"), figure("RMS Image"), "Dynamic scale of the 8 bits image" in text


def report_beside(table_path):
    """The report that the program wrote beside a table (NAME_scabrosimeter.xls ->
    NAME_scabrosimeter.txt), or None."""
    stem, extension = os.path.splitext(table_path)
    report = stem + ".txt"
    return report if extension.lower() == ".xls" and os.path.isfile(report) else None


def figure_of_table(table, title=None):
    """The graph of a table file, as a matplotlib Figure (with the Agg backend): the table's
    values, and the reference lines and unit from the report beside it when it is there."""
    line_rms = read_table(table)
    rms_line = rms_image = unit = None
    report = report_beside(table)
    if report:
        rms_line, rms_image, image = read_report(report)
        unit = "grey levels" if image else "metres"
    figure, ax = _pyplot("Agg").subplots(figsize=(8, 4.5))
    plot_line_rms(line_rms, rms_line, rms_image, unit=unit, ax=ax,
                  title=title or os.path.basename(table))
    figure.tight_layout()
    return figure


def main(arguments=None):
    parser = argparse.ArgumentParser(
        prog="python3 -m scabrosimeter.plot",
        description="Draws the RMS of every line from a table file of scabrosimeter "
                    "(NAME_scabrosimeter.xls), with the average line RMS and the image RMS from "
                    "the report beside it.")
    parser.add_argument("table", help="the table file, NAME_scabrosimeter.xls")
    parser.add_argument("-o", "--output", help="the picture to write, .png or .svg (default: the "
                                               "table's name with .png)")
    parser.add_argument("--title", help="the graph's title (default: the table's file name)")
    options = parser.parse_args(arguments)
    output = options.output or os.path.splitext(options.table)[0] + ".png"
    if os.path.splitext(output)[1].lower() not in (".png", ".svg"):
        parser.error(f"the picture must be a .png or .svg file, not {output}")
    try:
        figure = figure_of_table(options.table, options.title)
        figure.savefig(output, dpi=120)
        _pyplot().close(figure)
    except (OSError, ValueError, ImportError) as problem:
        print(f"scabrosimeter.plot: {problem}", file=sys.stderr)
        return 1
    print(f"Wrote {output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

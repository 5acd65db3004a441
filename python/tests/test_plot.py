"""The graph of the line RMS: its data against the result and against the table file; the
command line; the module without matplotlib."""
import os
import subprocess
import sys

import numpy as np
import pytest

import scabrosimeter
from conftest import EXAMPLES, GOLDEN

matplotlib = pytest.importorskip("matplotlib")
matplotlib.use("Agg")
from scabrosimeter import plot  # noqa: E402  (after the backend is chosen)


def reference_lines(ax):
    """The horizontal lines of the axes, by label: {label: y}."""
    return {line.get_label(): line.get_ydata()[0] for line in ax.lines[1:]}


def test_result_plot_draws_every_line_rms_and_the_two_references():
    samples, _ = scabrosimeter.read_dataset(os.path.join(EXAMPLES, "dem1", "relief_m2.raw"))
    result = scabrosimeter.analyse(samples, unit="dm")
    ax = result.plot(title="relief")
    data = ax.lines[0].get_xydata()
    assert np.array_equal(data[:, 0], np.arange(1, 301))
    assert np.array_equal(data[:, 1], result.line_rms)
    assert reference_lines(ax) == {f"average line RMS {result.rms_line:f}": result.rms_line,
                                   f"image RMS {result.rms_image:f}": result.rms_image}
    assert ax.get_ylabel() == "RMS roughness (metres)"
    assert ax.get_title() == "relief"
    image = scabrosimeter.analyse(np.arange(12, dtype=np.uint8).reshape(3, 4), image=True)
    assert image.plot().get_ylabel() == "RMS roughness (grey levels)"
    constant = scabrosimeter.analyse(np.zeros((3, 3), dtype=np.uint16))
    assert len(constant.plot().lines) == 3  # the references are 0, not undefined


def copy_golden(tmp_path, with_report):
    table = tmp_path / "relief_scabrosimeter.xls"
    table.write_bytes(open(os.path.join(GOLDEN, "relief_scabrosimeter.xls"), "rb").read())
    if with_report:
        (tmp_path / "relief_scabrosimeter.txt").write_bytes(
            open(os.path.join(GOLDEN, "relief_scabrosimeter.txt"), "rb").read())
    return str(table)


def test_the_graph_of_a_table_holds_the_tables_values(tmp_path):
    table = copy_golden(tmp_path, with_report=True)
    values = [float(row.split("\t")[1]) for row in open(table)]
    figure = plot.figure_of_table(table)
    ax = figure.axes[0]
    data = ax.lines[0].get_xydata()
    assert np.array_equal(data[:, 0], np.arange(1, len(values) + 1))
    assert data[:, 1].tolist() == values
    # The reference lines come from the report beside the table.
    assert reference_lines(ax) == {"average line RMS 48.704213": 48.704213,
                                   "image RMS 57.869219": 57.869219}
    assert ax.get_ylabel() == "RMS roughness (metres)"
    assert ax.get_title() == "relief_scabrosimeter.xls"
    # Without the report: the values alone, in no known unit.
    os.remove(str(tmp_path / "relief_scabrosimeter.txt"))
    ax = plot.figure_of_table(table, title="alone").axes[0]
    assert len(ax.lines) == 1 and ax.get_ylabel() == "RMS roughness"


def test_the_command_line(tmp_path, capsys):
    table = copy_golden(tmp_path, with_report=True)
    assert plot.main([table]) == 0
    png = str(tmp_path / "relief_scabrosimeter.png")
    assert capsys.readouterr().out == f"Wrote {png}\n"
    assert open(png, "rb").read(8) == b"\x89PNG\r\n\x1a\n"
    svg = str(tmp_path / "graph.svg")
    assert plot.main([table, "-o", svg, "--title", "Relief"]) == 0
    assert "<svg" in open(svg).read()
    with pytest.raises(SystemExit):
        plot.main([table, "-o", str(tmp_path / "graph.pdf")])
    bad = tmp_path / "bad.xls"
    bad.write_text("1\t0.5\n3\t0.7\n")
    assert plot.main([str(bad)]) == 1
    assert "line 2: expected line 2" in capsys.readouterr().err
    assert plot.main([str(tmp_path / "missing.xls")]) == 1
    # Through python -m, as a user runs it.
    done = subprocess.run([sys.executable, "-m", "scabrosimeter.plot", table, "-o",
                           str(tmp_path / "m.png")], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert os.path.getsize(tmp_path / "m.png") > 1000


def test_the_module_works_without_matplotlib():
    code = ("import sys; sys.modules['matplotlib'] = None\n"
            "import numpy, scabrosimeter\n"
            "r = scabrosimeter.analyse(numpy.ones((3, 3), dtype=numpy.uint16))\n"
            "print(r.rms_image)\n"
            "try:\n"
            "    r.plot()\n"
            "except ImportError as e:\n"
            "    print(e)\n")
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert done.stdout == "0.0\nplots need matplotlib (Debian: apt-get install python3-matplotlib)\n"

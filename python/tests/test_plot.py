"""The graph of the line RMS: its data against the result and against the table file; the
command line and what it refuses; the module without matplotlib."""
import io
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


@pytest.mark.parametrize("content, says", [
    (b"1\t0.5\n2\tnan\n", ', line 2: "nan" is not a number'),
    (b"1\tinf\n", ', line 1: "inf" is not a number'),
    (b"1\t1_0\n", ', line 1: "1_0" is not a number'),
    (b"1\t1e400\n", ', line 1: "1e400" is beyond what a graph can show (its magnitude at most '
                     '1e300)'),
    (b"1\t1e308\n2\t-1e308\n", ', line 1: "1e308" is beyond what a graph can show'),
    (b"1\t0.5\r\n2\t-0.25\r\n", ', line 2: "-0.25" is negative, which no RMS is'),
    (b"1\t0.5\n\x01\x1b[31m\xff" + b"x" * 100 + b"\n",
     ', line 2: not a line number and an RMS value: "\\x01\\x1b[31m\\xff' + "x" * 24 + '..."'),
    (b"1\t" + b"5" * 5000, ', line 1: more than 4096 bytes: "1\\t' + "5" * 37 + '..."'),
    (b"", ": an empty table"),
], ids=["nan", "inf", "underscore", "overflow", "1e308", "negative", "binary", "long", "empty"])
def test_refused_tables(tmp_path, capsys, content, says):
    table = tmp_path / "bad.xls"
    table.write_bytes(content)
    picture = tmp_path / "bad.png"
    assert plot.main([str(table), "-o", str(picture)]) == 1
    assert capsys.readouterr().err.startswith(f"scabrosimeter.plot: {table}{says}")
    assert not picture.exists()


def test_what_is_not_a_regular_file_is_refused_without_waiting(tmp_path):
    fifo = tmp_path / "fifo.xls"
    os.mkfifo(fifo)
    folder = tmp_path / "folder.xls"
    folder.mkdir()
    for path, kind in ((fifo, "a named pipe (FIFO)"), (folder, "a folder"),
                       ("/dev/null", "a device")):
        # A named pipe opened for reading would wait for a writer: the timeout fails the test.
        done = subprocess.run([sys.executable, "-m", "scabrosimeter.plot", str(path)],
                              capture_output=True, text=True, timeout=30)
        assert (done.returncode, done.stderr) == \
            (1, f"scabrosimeter.plot: {path} is {kind}, not a table file\n")


def test_a_bad_figure_of_the_report_is_named_with_its_file_and_line(tmp_path, capsys):
    table = copy_golden(tmp_path, with_report=True)
    report = tmp_path / "relief_scabrosimeter.txt"
    golden = report.read_bytes()
    for figure, says in ((b"5e999", "is beyond what a graph can show"),
                         (b"abc", "is not a number"), (b"-1.5", "is negative")):
        report.write_bytes(golden.replace(b"RMS Image = 57.869219", b"RMS Image = " + figure))
        assert plot.main([table]) == 1
        assert capsys.readouterr().err.startswith(
            f'scabrosimeter.plot: {report}, line 15: "{figure.decode()}" {says}')
    # A figure the program could not compute has no reference line.
    report.write_bytes(golden.replace(b"RMS Line = 48.704213", b"RMS Line = undefined"))
    assert reference_lines(plot.figure_of_table(table).axes[0]) == \
        {"image RMS 57.869219": 57.869219}


def test_names_and_titles_are_shown_as_they_are(tmp_path, capsys):
    # A file name's control characters are escaped in messages.
    table = tmp_path / "a\x1b[2Jb.xls"
    table.write_bytes(b"1\tnan\n")
    assert plot.main([str(table)]) == 1
    assert capsys.readouterr().err.startswith(
        f"scabrosimeter.plot: {tmp_path}/a\\x1b[2Jb.xls, line 1:")
    # A $ in a title is drawn as it is, not as the start of mathematical notation (which
    # failed on an unknown symbol).
    table = tmp_path / "a$\\fo$.xls"
    table.write_bytes(b"1\t0.5\n2\t0.75\n")
    for title, drawn in ((None, r"a\$\fo\$.xls"), (r"$\foo$ costs 5$", r"\$\foo\$ costs 5\$")):
        figure = plot.figure_of_table(str(table), title)
        figure.savefig(io.BytesIO(), format="png")
        assert figure.axes[0].get_title() == drawn


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

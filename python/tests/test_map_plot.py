"""The picture of a roughness map: its band, colour bar title and hillshade; large maps read
smaller; the command line and what it refuses (status 1 or 2, no traceback)."""
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np
import pytest

from conftest import read_geotiff, write_geotiff

matplotlib = pytest.importorskip("matplotlib")
matplotlib.use("Agg")
pytest.importorskip("osgeo.gdal")
from scabrosimeter import map_plot, plot  # noqa: E402  (after the backend is chosen)


def dem(shape=(60, 80), seed=1):
    generator = np.random.default_rng(seed)
    y, x = np.mgrid[0:shape[0], 0:shape[1]]
    heights = 400 + 80 * np.sin(x / 6.0) + 30 * np.cos(y / 4.0) + generator.normal(0, 3, shape)
    heights[20:26, 30:40] = 450  # a flat: its windows have no homogeneity
    return np.rint(heights).astype(np.int16)


@pytest.fixture
def mapped(tmp_path, map_tool):
    """A DEM and its map: rms, homogeneity and r at window 5 (in that band order)."""
    relief = write_geotiff(tmp_path / "dem.tif", dem())
    done = map_tool("--window", "5", "--measure", "rms,homogeneity,r", relief,
                    str(tmp_path / "map.tif"))
    assert done.returncode == 0, done.stderr
    return relief, str(tmp_path / "map.tif")


def images(figure):
    return figure.axes[0].get_images()


def test_the_band_over_its_hillshade_with_a_titled_colour_bar(mapped):
    relief, path = mapped
    bands = read_geotiff(path)
    for number, title in ((1, "rms, 5 \u00d7 5 window (metres)"),
                          (2, "homogeneity, 5 \u00d7 5 window (%)"), (3, "r, 5 \u00d7 5 window")):
        figure = map_plot.figure_of_map(path, number)
        (drawn,) = images(figure)
        values = bands[number - 1][2]
        data = drawn.get_array()
        assert np.array_equal(data.mask, np.isnan(values))  # no value: masked, transparent
        assert np.array_equal(data.data[~data.mask], values[~np.isnan(values)])
        assert figure.axes[1].get_ylabel() == title
        assert tuple(drawn.get_extent()) == (500000, 500000 + 30 * 80, 4000000 - 30 * 60, 4000000)
        assert figure.axes[0].get_xlabel() == "x (m)"
    # The flat's windows have no homogeneity: holes in the picture as in the map.
    assert np.isnan(bands[1][2][23, 35])
    # Over the relief: the hillshade beneath (grey, opaque), the map above it, translucent.
    figure = map_plot.figure_of_map(path, 2, relief=relief, title="A $title$")
    shade, drawn = images(figure)
    assert shade.get_cmap().name == "gray" and shade.get_array().shape == (60, 80)
    assert 0 <= shade.get_array().min() and shade.get_array().max() <= 1
    assert drawn.get_alpha() == 0.7
    assert figure.axes[0].get_title() == r"A \$title\$"


def test_colour_bar_titles():
    title = map_plot.colour_bar_title
    assert title("rms-line w=27", "m", 1) == "rms-line, 27 \u00d7 27 window (metres)"
    assert title("rms w=3", "grey levels", 1) == "rms, 3 \u00d7 3 window (grey levels)"
    assert title("rms w=3", "ft", 1) == "rms, 3 \u00d7 3 window (feet)"
    assert title("homogeneity w=5", "", 2) == "homogeneity, 5 \u00d7 5 window (%)"  # lost unit
    assert title("r w=5", "", 3) == "r, 5 \u00d7 5 window"
    assert title("rms w=5", "", 1) == "rms, 5 \u00d7 5 window"  # metres or grey levels: unknown
    assert title("Elevation", "m", 1) == "Elevation (metres)"
    assert title("", "", 4) == "band 4"


def test_a_large_map_is_read_smaller_and_degrees_are_named(tmp_path):
    values = np.arange(2500 * 40, dtype=np.float32).reshape(40, 2500)
    path = write_geotiff(tmp_path / "wide.tif", values, geotransform=(-84.4, 0.001, 0, 36.7, 0,
                                                                      -0.001), epsg=4326)
    figure = map_plot.figure_of_map(path)
    (drawn,) = images(figure)
    assert drawn.get_array().shape == (32, 2000)
    assert figure.axes[0].get_xlabel() == "longitude (\u00b0)"
    assert figure.axes[1].get_ylabel() == "band 1"  # no description, no unit
    low, high = drawn.get_clim()
    assert (low, high) == tuple(np.percentile(drawn.get_array().compressed(), [2, 98]))


def test_the_command_line(mapped, tmp_path, capsys):
    relief, path = mapped
    png = str(tmp_path / "picture.png")
    assert plot.main(["--map", path, "--band", "2", "--relief", relief, "-o", png]) == 0
    assert capsys.readouterr().out == f"Wrote {png}\n"
    assert open(png, "rb").read(8) == b"\x89PNG\r\n\x1a\n"
    assert plot.main(["--map", path]) == 0  # band 1, beside the map
    assert os.path.getsize(os.path.splitext(path)[0] + ".png") > 1000
    done = subprocess.run([sys.executable, "-m", "scabrosimeter.plot", "--map", path, "-o",
                           str(tmp_path / "m.svg")], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert "<svg" in open(tmp_path / "m.svg").read()


def run_plot(*arguments):
    return subprocess.run([sys.executable, "-m", "scabrosimeter.plot", *arguments],
                          capture_output=True, text=True, timeout=60)


def test_refusals_say_what_is_wrong_without_a_traceback(mapped, tmp_path):
    relief, path = mapped
    text = tmp_path / "notes.tif"
    text.write_text("not a raster\n")
    fifo = tmp_path / "fifo.tif"
    os.mkfifo(fifo)
    other = write_geotiff(tmp_path / "other.tif", dem((30, 80)))
    picture = str(tmp_path / "x.png")
    for arguments, status, says in [
            (["--map", path, "--band", "4"], 1, f"{path} has 3 band(s); band 4 does not exist"),
            (["--map", str(tmp_path)], 1, f"{tmp_path} is a folder, not a map file"),
            (["--map", str(fifo)], 1, f"{fifo} is a named pipe (FIFO), not a map file"),
            (["--map", str(text)], 1, f"{text} cannot be read as a raster"),
            (["--map", str(tmp_path / "none.tif")], 1, "No such file or directory"),
            (["--map", path, "--relief", other], 1,
             "has 30 lines x 80 columns, the map 60 x 80: give the raster that was mapped"),
            (["--map", path, "--relief", str(text)], 1, f"{text} cannot be read as a raster"),
            (["--map", path, "--band", "0"], 2, "a band is a whole number from 1, not '0'"),
            (["--map", path, "--band", "two"], 2, "a band is a whole number from 1"),
            (["--map", path, "table.xls"], 2, "give a table file, or a map with --map (not both)"),
            ([], 2, "give a table file, or a map with --map"),
            (["table.xls", "--relief", relief], 2, "--band and --relief go with --map"),
            (["--map", path, "-o", "x.pdf"], 2, "the picture must be a .png or .svg file")]:
        done = run_plot(*arguments, *([] if "-o" in arguments else ["-o", picture]))
        assert done.returncode == status, (arguments, done.stderr)
        assert says in done.stderr, (arguments, done.stderr)
        assert "Traceback" not in done.stderr
        assert not os.path.exists(picture)


def test_a_map_that_may_not_be_read(mapped):
    # As the user nobody (root reads anything), in a folder that nobody may enter and write.
    folder = tempfile.mkdtemp(dir="/tmp")
    try:
        os.chmod(folder, 0o777)
        path = shutil.copy(mapped[1], os.path.join(folder, "map.tif"))
        results = []
        for mode in (0o644, 0o600):
            os.chmod(path, mode)
            results.append(subprocess.run(
                ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", sys.executable,
                 "-m", "scabrosimeter.plot", "--map", path, "-o", os.path.join(folder, "m.png")],
                capture_output=True, text=True, timeout=60, env={**os.environ,
                                                                  "MPLCONFIGDIR": folder}))
        assert results[0].returncode == 0, results[0].stderr  # readable: drawn
        assert (results[1].returncode, results[1].stderr) == \
            (1, f"scabrosimeter.plot: [Errno 13] Permission denied: '{path}'\n")
    finally:
        shutil.rmtree(folder)


def test_without_gdal_a_map_is_refused_and_a_table_still_drawn(tmp_path):
    code = ("import sys; sys.modules['osgeo'] = None\n"
            "from scabrosimeter import plot\n"
            "sys.exit(plot.main(sys.argv[1:]))\n")
    map_file = write_geotiff(tmp_path / "m.tif", np.ones((5, 5), dtype=np.float32))
    done = subprocess.run([sys.executable, "-c", code, "--map", map_file], capture_output=True,
                          text=True)
    assert (done.returncode, done.stderr) == (1, "scabrosimeter.plot: maps need GDAL's Python "
                                                 "bindings (Debian: apt-get install "
                                                 "python3-gdal)\n")
    table = tmp_path / "t.xls"
    table.write_text("1\t0.5\n2\t0.75\n")
    done = subprocess.run([sys.executable, "-c", code, str(table)], capture_output=True,
                          text=True)
    assert done.returncode == 0, done.stderr

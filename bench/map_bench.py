#!/usr/bin/env python3
"""The roughness maps' benchmark, in one run: scabrosimeter-map against a numpy/scipy peer and
against gdaldem, on one synthetic 16-bit DEM.

    python3 bench/map_bench.py [--size 8000] [--build DIR] [--work DIR]

Writes a deterministic DEM of SIZE x SIZE cells (a GeoTIFF, Int16 heights in decimetres with
ridges, valleys and noise), then times, each on that file and each writing an uncompressed
Float32 GeoTIFF:
  map rms w=W              scabrosimeter-map --measure rms --window W --co COMPRESS=NONE
  numpy rms w=W            bench/map_numpy_peer.py (scipy.ndimage.uniform_filter)
  gdaldem roughness        gdaldem roughness (3 x 3, the range of heights: a different measure,
                           the same streaming work)
for W = 3, 9, 27; then scabrosimeter-map's default, compressed output for w=3 and for the three
windows in one run. Prints a Markdown table of wall times, peak resident memory (GNU time's
%M, the process alone) and ratios, and checks that the peer's values agree with the tool's
where both have one.

Needs Debian's python3 with numpy, scipy and GDAL, gdal-bin, and GNU time (/usr/bin/time).
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np
from osgeo import gdal

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
WINDOWS = (3, 9, 27)


def write_dem(path, size):
    """Relief in decimetres: two crossing ridge systems, a valley and noise, written a strip at
    a time so that the DEM never sits whole in memory."""
    random = np.random.default_rng(2026)
    driver = gdal.GetDriverByName("GTiff")
    dataset = driver.Create(path, size, size, 1, gdal.GDT_Int16)
    dataset.SetGeoTransform((500000, 10, 0, 4000000, 0, -10))
    band = dataset.GetRasterBand(1)
    x = np.arange(size, dtype=np.float64)[None, :] / size
    for top in range(0, size, 500):
        rows = min(500, size - top)
        y = np.arange(top, top + rows, dtype=np.float64)[:, None] / size
        heights = (8000 + 3000 * np.sin(9 * x + 3 * np.cos(5 * y)) * np.cos(7 * y)
                   + 1500 * np.abs(np.sin(23 * x * y)) - 4000 * np.exp(-((x - 0.5) / 0.05) ** 2)
                   + random.normal(0, 20, (rows, size)))
        band.WriteArray(np.clip(np.rint(heights), -32768, 32767).astype(np.int16), 0, top)
    dataset = None


def timed(command, env=None):
    """Runs `command`; returns (wall seconds, peak resident MB). What earlier runs wrote is
    flushed to the disk first, so that the system's writing of it does not share the processors
    with this run."""
    report = tempfile.NamedTemporaryFile(prefix="time", delete=False)
    report.close()
    os.sync()
    start = time.perf_counter()
    subprocess.run(["/usr/bin/time", "-o", report.name, "-f", "%M"] + command, check=True,
                   env=env, stdout=subprocess.DEVNULL)
    seconds = time.perf_counter() - start
    with open(report.name) as file:
        peak_kb = int(file.read().split()[-1])
    os.unlink(report.name)
    return seconds, peak_kb / 1024


def band(path):
    dataset = gdal.Open(path)  # kept while its band is read: GDAL 3.6 needs it
    return dataset.GetRasterBand(1).ReadAsArray()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", type=int, default=8000)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--work", default=None, help="folder for the files (default: a new one)")
    options = parser.parse_args()
    tool = os.path.join(options.build, "scabrosimeter-map")
    work = options.work or tempfile.mkdtemp(prefix="map_bench")
    os.makedirs(work, exist_ok=True)
    dem = os.path.join(work, "dem.tif")
    write_dem(dem, options.size)
    out = lambda name: os.path.join(work, name + ".tif")
    rows = []

    def run(label, command):
        seconds, peak = timed(command)
        rows.append((label, seconds, peak))
        print(f"{label}: {seconds:.2f} s, {peak:.0f} MB", file=sys.stderr)
        return seconds

    ours, peers = {}, {}
    for window in WINDOWS:
        ours[window] = run(f"map rms w={window}",
                           [tool, "--measure", "rms", "--window", str(window), "--co",
                            "COMPRESS=NONE", dem, out(f"map{window}")])
        peers[window] = run(f"numpy rms w={window}",
                            [sys.executable, os.path.join(HERE, "map_numpy_peer.py"), dem,
                             out(f"numpy{window}"), str(window)])
    gdaldem = run("gdaldem roughness", ["gdaldem", "roughness", "-q", dem, out("gdaldem")])
    run("map rms w=3, default (compressed)", [tool, dem, out("map3_compressed")])
    run("map rms w=3,9,27 in one run, default (compressed)",
        [tool, "--window", "3,9,27", dem, out("map_all_compressed")])

    print(f"\n{options.size} x {options.size} Int16 DEM ({os.path.getsize(dem) / 1e6:.0f} MB); "
          f"{os.cpu_count()} processors\n")
    print("| run | s | peak MB | numpy / map | map / gdaldem |")
    print("|---|---|---|---|---|")
    for label, seconds, peak in rows:
        ratio_numpy = ratio_gdaldem = ""
        if label.startswith("map rms w=") and "compressed" not in label:
            window = int(label.split("=")[1])
            ratio_numpy = f"{peers[window] / seconds:.1f}"
            if window == 3:
                ratio_gdaldem = f"{seconds / gdaldem:.2f}"
        print(f"| {label} | {seconds:.2f} | {peak:.0f} | {ratio_numpy} | {ratio_gdaldem} |")

    print()
    for window in WINDOWS:
        mine, theirs = band(out(f"map{window}")), band(out(f"numpy{window}"))
        both = ~np.isnan(mine)
        difference = np.abs(mine[both].astype(np.float64) - theirs[both])
        print(f"w={window}: the peer's values differ from the map's by at most "
              f"{difference.max():.3g} (heights' unit), in {both.sum()} cells")
    if not options.work:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()

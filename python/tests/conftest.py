"""Shared helpers: the console program run on a dataset written from an array, so that the
module's figures, report and table can be compared with the program's; Python code run in a
process of its own, for what a test cannot do to its own process (a signal, a memory limit);
long calls checked for letting other threads run and for stopping on Ctrl+C;
scabrosimeter-map run on GeoTIFFs written from arrays, and its maps read back."""
import os
import shutil
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

SOURCE_DIR = os.environ.get("SCABROSIMETER_SOURCE_DIR",
                            os.path.join(os.path.dirname(__file__), "..", ".."))
GOLDEN = os.path.join(SOURCE_DIR, "tests", "golden")
EXAMPLES = os.path.join(SOURCE_DIR, "examples", "images")

UNIT_ANSWERS = {"m": "0", "dm": "1", "cm": "2", "mm": "3"}


def printed(value):
    """A figure as the program prints it."""
    return "undefined" if value is None else "%f" % value


@pytest.fixture
def program():
    """Runs the console program on an array: program(tmp_path, samples, unit, image) gives its
    console transcript, report and table. With raw_bytes, the raw file holds only the first
    raw_bytes bytes of the samples."""
    exe = os.environ.get("SCABROSIMETER_EXE")
    if not exe:
        pytest.skip("SCABROSIMETER_EXE names no built scabrosimeter (ctest sets it)")

    def run(work, samples, unit="m", image=False, raw_bytes=None):
        folder = os.path.join(work, "images", "d")
        os.makedirs(folder, exist_ok=True)
        suffix = "" if image else ("_m2" if samples.dtype == np.uint16 else "_m4")
        raw = samples.astype(samples.dtype.newbyteorder("<"), order="C").tobytes()
        with open(os.path.join(folder, "r" + suffix + ".raw"), "wb") as file:
            file.write(raw if raw_bytes is None else raw[:raw_bytes])
        with open(os.path.join(folder, "r" + suffix + ".txt"), "w") as descriptor:
            descriptor.write(f"{samples.shape[0]}\n{samples.shape[1]}\n")
        answers = (["d", "1", "r", "0"] if image
                   else ["d", "0", "r", "0" if samples.dtype == np.uint16 else "1", "0",
                         UNIT_ANSWERS[unit]])
        done = subprocess.run([exe], input=("\n".join(answers) + "\n").encode(), cwd=work,
                              capture_output=True, check=False)
        assert done.returncode == 0, done.stdout.decode("latin-1")
        with open(os.path.join(folder, "r_scabrosimeter.txt"), newline="") as report, \
                open(os.path.join(folder, "r_scabrosimeter.xls"), newline="") as table:
            return done.stdout.decode("latin-1"), report.read(), table.read()

    return run


def run_python(code, *arguments, timeout=60):
    """Runs `code` in a new Python process (the module on its path, as here), `arguments` in its
    sys.argv[1:]; gives its exit status and its output, or fails the test when it runs past
    `timeout` seconds."""
    try:
        done = subprocess.run([sys.executable, "-c", code, *arguments], capture_output=True,
                              text=True, timeout=timeout, check=False)
    except subprocess.TimeoutExpired:
        pytest.fail(f"still running after {timeout} s")
    return done.returncode, done.stdout + done.stderr


def assert_lets_other_threads_run(call):
    """Runs call() in a thread of its own while this thread counts its own turns; asserts that
    the call took long enough to tell and that this thread ran all along (the call released the
    GIL); gives what the call returned."""
    span = {}

    def work():
        span["start"] = time.perf_counter()
        span["result"] = call()
        span["end"] = time.perf_counter()

    worker = threading.Thread(target=work)
    ticks = []
    worker.start()
    while worker.is_alive():
        ticks.append(time.perf_counter())
    worker.join()
    middle = [t for t in ticks if span["start"] + 0.01 < t < span["end"] - 0.01]
    assert span["end"] - span["start"] > 0.05  # long enough to tell
    assert len(middle) > 1000  # this thread ran while the call did
    return span["result"]


def interrupted_run(setup, call, delay, timeout):
    """Runs, in a process of its own, the code `setup` and then the statement `call`, and sends
    that process SIGINT (Ctrl+C) `delay` seconds after the setup; asserts that the call ended
    in KeyboardInterrupt within a second of the signal and left no thread of its own running.
    The timeout fails the test if the signal waits for the end of the work."""
    code = f"""
import os, signal, sys, threading, time
import numpy as np, scabrosimeter
{setup}
threads = len(os.listdir("/proc/self/task"))
sent = []
def interrupt():
    time.sleep({delay})
    sent.append(time.perf_counter())
    os.kill(os.getpid(), signal.SIGINT)
sender = threading.Thread(target=interrupt)
sender.start()
try:
    {call}
    print("not interrupted")
except KeyboardInterrupt:
    stopped = time.perf_counter() - sent[0]
    sender.join()
    more = len(os.listdir("/proc/self/task")) - threads
    print(f"stopped {{stopped:.3f}} s after the signal; threads {{more}} more")
"""
    status, output = run_python(code, timeout=timeout)
    assert status == 0, output
    words = output.split()
    assert words[0] == "stopped", output
    assert float(words[1]) < 1.0, output
    assert output.endswith("threads 0 more\n"), output  # no thread left reading the array


# Lets the code that follows it use only about `mb` MB more than the process holds already: as
# `ulimit -v` does, once the modules are in.
LIMIT_MEMORY = """
import resource
def limit_memory(mb):
    held = int(open("/proc/self/statm").read().split()[0]) * resource.getpagesize()
    resource.setrlimit(resource.RLIMIT_AS, (held + mb * 10**6, resource.RLIM_INFINITY))
"""


@pytest.fixture
def map_tool():
    """Runs scabrosimeter-map: map_tool(*arguments) gives the finished process (its output as
    text). Skips the test where the tool is not to be found."""
    exe = os.environ.get("SCABROSIMETER_MAP_EXE") or shutil.which("scabrosimeter-map")
    if not exe:
        pytest.skip("SCABROSIMETER_MAP_EXE names no built scabrosimeter-map (ctest sets it)")

    def run(*arguments):
        return subprocess.run([exe, *arguments], capture_output=True, text=True, check=False)

    return run


def write_geotiff(path, values, nodata=None, geotransform=(500000, 30, 0, 4000000, 0, -30),
                  epsg=32632):
    """A one-band GeoTIFF of the 2-D array `values`, in its own type, with a geotransform, a CRS
    and maybe a NoData value; gives its path."""
    gdal = pytest.importorskip("osgeo.gdal")
    from osgeo import gdal_array, osr
    lines, columns = values.shape
    dataset = gdal.GetDriverByName("GTiff").Create(
        str(path), columns, lines, 1, gdal_array.NumericTypeCodeToGDALTypeCode(values.dtype))
    dataset.SetGeoTransform(geotransform)
    crs = osr.SpatialReference()
    crs.ImportFromEPSG(epsg)
    dataset.SetSpatialRef(crs)
    band = dataset.GetRasterBand(1)
    if nodata is not None:
        band.SetNoDataValue(nodata)
    band.WriteArray(values)
    dataset = None  # closes the file
    return str(path)


def read_geotiff(path):
    """Every band of a GeoTIFF, as (description, unit, float array) in band order."""
    gdal = pytest.importorskip("osgeo.gdal")
    dataset = gdal.Open(str(path))
    bands = []
    for number in range(1, dataset.RasterCount + 1):
        band = dataset.GetRasterBand(number)
        bands.append((band.GetDescription(), band.GetUnitType(), band.ReadAsArray()))
    return bands

"""read_dataset(): the program's loading rules; refused paths; the memory it may use."""
import os
import warnings

import numpy as np
import pytest

import scabrosimeter
from conftest import LIMIT_MEMORY, run_python


def write(folder, name, raw, descriptor):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name + ".raw"), "wb") as file:
        file.write(raw)
    if descriptor is not None:
        with open(os.path.join(folder, name + ".txt"), "w") as file:
            file.write(descriptor)
    return os.path.join(folder, name + ".raw")


@pytest.mark.parametrize("name, dtype", [("r_m2", "<u2"), ("r_m4", "<i4"), ("r", "u1")])
def test_the_name_gives_the_sample_width(tmp_path, name, dtype):
    values = np.array([[0, 1, 2], [-1 if dtype == "<i4" else 250, 7, 9]], dtype=dtype)
    raw = write(str(tmp_path), name, values.tobytes(), "2\n3\n2\n0\n65500\n30\n")
    for path in (raw, raw[:-4] + ".txt"):
        samples, numbers = scabrosimeter.read_dataset(path)
        assert samples.dtype == np.dtype(dtype)
        assert np.array_equal(samples, values)
        assert numbers == (2, 3, 2, 0, 65500, 30)


def test_a_short_file_reads_as_far_as_it_goes_and_warns(tmp_path):
    raw = write(str(tmp_path), "r_m2", bytes([1, 0, 2, 0, 3]), "2 3")
    with pytest.warns(UserWarning, match="holds 5 bytes where 12 were expected"):
        samples, numbers = scabrosimeter.read_dataset(raw)
    assert samples.tolist() == [[1, 2, 3], [0, 0, 0]]
    assert numbers == (2, 3, 0, 0, 0, 0)


def test_a_long_file_is_cut_to_size(tmp_path):
    raw = write(str(tmp_path), "r", bytes(range(10)), "2 2")
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        samples, _ = scabrosimeter.read_dataset(raw)
    assert samples.tolist() == [[0, 1], [2, 3]]


@pytest.mark.parametrize("descriptor, error, says", [
    (None, FileNotFoundError, "No descriptor file"),
    ("0 5", ValueError, "gives 0 lines and 5 columns"),
    ("\ufeff4 5", ValueError, "byte-order mark"),
    ("4 99999999999", ValueError, "a number too large"),
    ("lines columns", ValueError, 'holds "lines" where a number was expected'),
])
def test_refused_descriptors(tmp_path, descriptor, error, says):
    raw = write(str(tmp_path), "r_m2", b"\0" * 40, descriptor)
    with pytest.raises(error, match=says):
        scabrosimeter.read_dataset(raw)


def test_refused_paths(tmp_path):
    with pytest.raises(ValueError, match=r"\.raw\) or of its descriptor"):
        scabrosimeter.read_dataset(str(tmp_path / "r.tif"))
    folder = str(tmp_path)
    with open(os.path.join(folder, "gone.txt"), "w") as file:
        file.write("1 1")
    with pytest.raises(FileNotFoundError, match="No raw raster"):
        scabrosimeter.read_dataset(os.path.join(folder, "gone.raw"))
    os.mkdir(os.path.join(folder, "dir.raw"))
    with open(os.path.join(folder, "dir.txt"), "w") as file:
        file.write("1 1")
    with pytest.raises(OSError, match="is a folder"):
        scabrosimeter.read_dataset(os.path.join(folder, "dir.raw"))
    # The system reads a path up to a NUL character: here the dataset "a_m2", not "b_m2".
    write(folder, "a_m2.txt", b"", "1 1")
    write(folder, "a_m2", b"\1\0", "1 1")
    for path in (os.path.join(folder, "a_m2.txt\0/b_m2.raw"),
                 os.fsencode(os.path.join(folder, "a_m2.txt\0/b_m2.raw"))):
        with pytest.raises(ValueError, match="embedded null character in path"):
            scabrosimeter.read_dataset(path)


def test_a_raster_beyond_the_memory_is_refused_before_it_is_read(tmp_path):
    # 2 GB of samples for a file of 2 bytes: the array would be filled whole with zeros.
    raw = write(str(tmp_path), "r_m2", b"\1\0", "40000 25000")
    code = LIMIT_MEMORY + f"""
import scabrosimeter
limit_memory(300)
try:
    scabrosimeter.read_dataset({raw!r})
except MemoryError as error:
    print(error)
"""
    status, output = run_python(code)
    assert status == 0, output
    assert output.startswith(f"Not enough memory to read the raster {raw} of 40000 lines and "
                             "25000 columns: about 2001 MB needed, "), output
    assert int(output.split()[-3]) <= 300, output

#!/usr/bin/env python3
"""The Python module against the program: analyse() on a numpy array of a raster's samples,
and the program's own passes over the same raster's file, in one run.

    python3 bench/module_bench.py [--build DIR] [--work DIR] [--size N] [--repeat N]

Writes the 16-bit DEM of bench/run.py (bench/make_raster.cpp) of N x N cells (4000 by default),
reads it with read_dataset(), then times, best of --repeat runs each:
  - analyse(samples, "dm"), the array in C order, and the same array in Fortran order;
  - build/passes_timer: the program's passes over the file, as the program runs them after
    loading it.
and the memory analyse() adds to the process's peak (the array itself not counted).
Needs the module built (build/python) and Debian's python3-numpy.
"""
import argparse
import os
import resource
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def best_of(repeat, work):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        work()
        best = min(best, time.perf_counter() - start)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "bench"))
    parser.add_argument("--size", type=int, default=4000)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    sys.path.insert(0, os.path.join(args.build, "python"))
    import numpy as np
    import scabrosimeter

    images = os.path.join(args.work, "images")
    raw = os.path.join(images, "bench", f"dem16_{args.size}_m2.raw")
    if not os.path.exists(raw):
        subprocess.run([os.path.join(args.build, "make_raster"), "dem16", str(args.size), images],
                       check=True, stdout=subprocess.DEVNULL)
    samples, numbers = scabrosimeter.read_dataset(raw)
    fortran = np.asfortranarray(samples)

    peak_before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    result = scabrosimeter.analyse(samples, unit="dm")
    added_kib = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - peak_before
    module_s = best_of(args.repeat, lambda: scabrosimeter.analyse(samples, unit="dm"))
    fortran_s = best_of(args.repeat, lambda: scabrosimeter.analyse(fortran, unit="dm"))
    timer = subprocess.run([os.path.join(args.build, "passes_timer"), raw, str(numbers[0]),
                            str(numbers[1]), "2", "0.1", str(args.repeat)],
                           check=True, capture_output=True, text=True).stdout.split()
    program_s, program_rms_image = float(timer[0]), float(timer[1])
    if program_rms_image != result.rms_image:
        sys.exit(f"the program's image RMS {program_rms_image!r} is not the module's "
                 f"{result.rms_image!r}")

    cells = numbers[0] * numbers[1]
    print(f"{numbers[0]} x {numbers[1]} uint16 DEM, best of {args.repeat}:")
    print("| run | s | ns/cell | / program's passes |")
    print("|---|---|---|---|")
    for name, seconds in (("program's passes (passes_timer, from the file)", program_s),
                          ("analyse(), C-order array", module_s),
                          ("analyse(), Fortran-order array", fortran_s)):
        print(f"| {name} | {seconds:.3f} | {seconds / cells * 1e9:.1f} | "
              f"{seconds / program_s:.2f} |")
    line_kib = numbers[1] * 8 / 1024
    print(f"analyse() added {added_kib} KiB to the peak resident memory "
          f"(one line of heights: {line_kib:.0f} KiB; the array: {samples.nbytes // 1024} KiB)")


if __name__ == "__main__":
    main()

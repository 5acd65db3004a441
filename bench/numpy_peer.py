"""The same measures as scabrosimeter, computed the way a numpy user would: the raster as one
float64 array, whole-array operations. The benchmark's peer for time and memory.

usage: numpy_peer.py RAW LINES COLUMNS WIDTH SCALE
"""
import sys

import numpy as np


def main():
    path, lines, columns, width, scale = sys.argv[1], *map(int, sys.argv[2:5]), float(sys.argv[5])
    dtype = {1: "<u1", 2: "<u2", 4: "<i4"}[width]
    z = np.fromfile(path, dtype=dtype, count=lines * columns).reshape(lines, columns)
    z = z.astype(np.float64) * scale

    line_rms = np.sqrt(((z - z.mean(axis=1, keepdims=True)) ** 2).mean(axis=1))
    column_rms = np.sqrt(((z - z.mean(axis=0, keepdims=True)) ** 2).mean(axis=0))
    rms1, rms2 = line_rms.mean(), column_rms.mean()
    s = ((z - z.mean()) ** 2).sum()
    n = z.size
    rms3 = np.sqrt(s / n)
    desv = np.sqrt(s / n / (n - 1))
    rms_tot = (abs(rms1 - rms2) + abs(rms1 - rms3) + abs(rms2 - rms3)) / 3
    prom = (rms1 + rms2 + rms3) / 3

    c = z[1:-1, 1:-1]
    four = z[:-2, 1:-1] + z[1:-1, 2:] + z[2:, 1:-1] + z[1:-1, :-2]
    eight = (four + z[:-2, :-2] + z[:-2, 2:] + z[2:, 2:] + z[2:, :-2]) * 0.125
    four *= 0.25
    x, y = c.ravel(), eight.ravel()
    k = x.size
    sx, sy = x.sum(), y.sum()
    val1 = k * (x @ y) - sx * sy
    val2 = k * (x @ x) - sx * sx
    val3 = k * (y @ y) - sy * sy
    slope = val1 / val2
    r = val1 / np.sqrt(val2 * val3)
    d_mean = np.abs(x - y).mean()
    dif = np.abs(c - four)
    rms_error = np.sqrt((dif ** 2).sum() / (k - 1))
    sd = np.sqrt(((dif - d_mean) ** 2).sum() / (k - 1))

    with open(path + ".peer.xls", "w") as table:
        for i, v in enumerate(line_rms, 1):
            table.write("%d\t%f\n" % (i, v))
    print("RMS line %f column %f image %f sd %f total %f average %f homogeneity %f"
          % (rms1, rms2, rms3, desv, rms_tot, prom, rms_tot / prom * 100))
    print("slope %f r %f r2 %f RMS error %f sd %f" % (slope, r, r * r, rms_error, sd))


if __name__ == "__main__":
    main()

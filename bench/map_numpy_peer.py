#!/usr/bin/env python3
"""The numpy/scipy peer of `scabrosimeter-map --measure rms`: the local standard deviation as a
scientist writes it, the mean of the squares less the square of the mean over each window with
scipy.ndimage.uniform_filter, in float64, written as an uncompressed Float32 GeoTIFF with GDAL.

    python3 bench/map_numpy_peer.py INPUT OUTPUT WINDOW

The whole raster is held in memory (about 40 bytes a cell). Windows that reach past the raster
take the nearest edge cells ('nearest'); the tool leaves those cells without a value.
"""
import sys

import numpy as np
from osgeo import gdal
from scipy import ndimage


def local_rms(heights, window):
    mean = ndimage.uniform_filter(heights, size=window, mode="nearest")
    mean_of_squares = ndimage.uniform_filter(heights * heights, size=window, mode="nearest")
    # Rounding can leave a flat window's variance a hair below 0.
    return np.sqrt(np.maximum(mean_of_squares - mean * mean, 0))


def main():
    source, target, window = sys.argv[1], sys.argv[2], int(sys.argv[3])
    gdal.UseExceptions()
    dataset = gdal.Open(source)
    heights = dataset.GetRasterBand(1).ReadAsArray().astype(np.float64)
    rms = local_rms(heights, window).astype(np.float32)
    driver = gdal.GetDriverByName("GTiff")
    output = driver.Create(target, rms.shape[1], rms.shape[0], 1, gdal.GDT_Float32)
    output.SetGeoTransform(dataset.GetGeoTransform())
    output.SetProjection(dataset.GetProjection())
    output.GetRasterBand(1).WriteArray(rms)
    output = None


if __name__ == "__main__":
    main()

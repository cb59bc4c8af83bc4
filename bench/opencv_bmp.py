#!/usr/bin/env python3
# OpenCV's BMP writer and reader timed in-process on the file bench_bmp wrote:
# the picture is read once, then written and read three times each; prints
# the mean seconds of a write and of a read, as bench_bmp measures its own.
#   opencv_bmp.py IMAGE.bmp OUT.bmp
import sys
import time

import cv2

source, out = sys.argv[1], sys.argv[2]
picture = cv2.imread(source, cv2.IMREAD_UNCHANGED)
if picture is None:
    sys.exit(f"opencv_bmp: cannot read {source}")


def mean_seconds(work, runs=3):
    start = time.perf_counter()
    for _ in range(runs):
        work()
    return (time.perf_counter() - start) / runs


write = mean_seconds(lambda: cv2.imwrite(out, picture))
read = mean_seconds(lambda: cv2.imread(source, cv2.IMREAD_UNCHANGED))
print(f"{write:.4f} {read:.4f}")

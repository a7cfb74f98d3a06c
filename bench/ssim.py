#!/usr/bin/env python3
"""ssim.py A B: the mean SSIM of two pictures' luma over 8 x 8 windows (no
overlap), read through ImageMagick as 8-bit grey. Prints the value."""
import subprocess
import sys


def grey(path):
    data = subprocess.run(["convert", path, "-colorspace", "Gray", "-depth", "8", "pgm:-"],
                          check=True, capture_output=True).stdout
    fields, at = [], 0
    while len(fields) < 4:  # P5, width, height, maximum
        while data[at:at + 1].isspace():
            at += 1
        start = at
        while not data[at:at + 1].isspace():
            at += 1
        fields.append(data[start:at])
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[at + 1:]


def ssim(a, b):
    (w, h, p), (w2, h2, q) = grey(a), grey(b)
    if (w, h) != (w2, h2):
        raise SystemExit("the pictures differ in size")
    c1, c2 = (0.01 * 255) ** 2, (0.03 * 255) ** 2
    total, windows = 0.0, 0
    for y0 in range(0, h - 7, 8):
        for x0 in range(0, w - 7, 8):
            xs = [p[(y0 + y) * w + x0 + x] for y in range(8) for x in range(8)]
            ys = [q[(y0 + y) * w + x0 + x] for y in range(8) for x in range(8)]
            mx, my = sum(xs) / 64, sum(ys) / 64
            vx = sum((v - mx) ** 2 for v in xs) / 63
            vy = sum((v - my) ** 2 for v in ys) / 63
            cov = sum((u - mx) * (v - my) for u, v in zip(xs, ys)) / 63
            total += ((2 * mx * my + c1) * (2 * cov + c2)) / ((mx * mx + my * my + c1) * (vx + vy + c2))
            windows += 1
    return total / windows


if __name__ == "__main__":
    print("%.4f" % ssim(sys.argv[1], sys.argv[2]))

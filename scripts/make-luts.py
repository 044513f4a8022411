#!/usr/bin/env python3
"""Writes the colour tables shipped in data/Luts/.

Each table is the binary LUT layout the program reads: 256 red bytes, then
256 green bytes, then 256 blue bytes (768 bytes). Run once after changing a
ramp: scripts/make-luts.py [folder], default data/Luts beside this script.
"""

import colorsys
import os
import sys


def clamp(v):
    return max(0, min(255, int(round(v))))


def piecewise(points, t):
    """Linear interpolation through (t, value) points, t in 0..1."""
    for (t0, v0), (t1, v1) in zip(points, points[1:]):
        if t <= t1:
            return v0 + (v1 - v0) * (t - t0) / (t1 - t0)
    return points[-1][1]


def hot_iron(i):
    # black -> red -> yellow -> white: dense tissue glows
    return clamp(3 * i), clamp(3 * i - 255), clamp(3 * i - 510)


def rainbow(i):
    # violet-blue for low values through green and yellow to red
    r, g, b = colorsys.hsv_to_rgb((1.0 - i / 255.0) * 0.75, 1.0, 1.0)
    return clamp(255 * r), clamp(255 * g), clamp(255 * b)


def bone(i):
    # grey with a cold blue cast in the darks and a pale cream in the lights
    t = i / 255.0
    r = piecewise([(0, 0), (0.75, 0.652), (1, 1)], t)
    g = piecewise([(0, 0), (0.375, 0.319), (0.75, 0.777), (1, 1)], t)
    b = piecewise([(0, 0), (0.375, 0.444), (1, 1)], t)
    return clamp(255 * r), clamp(255 * g), clamp(255 * b)


def sepia(i):
    # warm brown ramp ending in off-white
    return clamp(i * 1.0), clamp(i * 0.86), clamp(i * 0.67)


TABLES = {"hot-iron": hot_iron, "rainbow": rainbow, "bone": bone, "sepia": sepia}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "data", "Luts")
    os.makedirs(folder, exist_ok=True)
    for name, ramp in TABLES.items():
        entries = [ramp(i) for i in range(256)]
        data = bytes(e[0] for e in entries) + bytes(e[1] for e in entries) + bytes(
            e[2] for e in entries)
        assert len(data) == 768
        with open(os.path.join(folder, name + ".lut"), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""How close what the panel shows comes to the picture, per depth and dither.

   scripts/dither-quality.py BUILD_DIR OUT.md

Each test picture is 172x128, placed as is in the 132x176 viewport. It is
encoded by pixolan-encode, drawn back as the panel shows it by pixolan-decode,
and both are blurred by a Gaussian of sigma 1 pixel in linear light (the eye
at viewing distance) before the mean CIEDE2000 difference is taken over the
127 rows the grid samples (rows 1 to 127). At 8 bits ImageMagick's
Floyd-Steinberg remap to the same 256 colours (RRGGGGBB widened) is measured
the same way, and both are timed, whole process, pair by pair.
Uses Debian's python3-numpy and ImageMagick 6 (scripts/install-deps.sh test).
"""

import datetime
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

import numpy as np

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PICTURES = os.path.join(SOURCE, "tests", "data", "pictures")
# Photos of tests/data/pictures: skin and fabric, saturated colour, grey, sky and grass.
PHOTOS = ["libjpegturbo_testorig.jpg", "libtiff_rgb-3c-16b.tif", "pillow_hopper_gray.jpg",
          "pillow_junk_jpeg_header.jpg"]
WIDTH, HEIGHT = 172, 128
DEPTHS = [8, 12, 16]
MODES = ["none", "ordered", "diffusion"]
RUNS = int(os.environ.get("RUNS", "9"))


def gradients():
    """Smooth pictures where packing bands show most, as 8-bit sRGB arrays."""
    x = np.linspace(0, 1, WIDTH)[None, :, None]
    y = np.linspace(0, 1, HEIGHT)[:, None, None]
    ones = np.ones((HEIGHT, WIDTH, 1))
    grey = np.repeat(x * ones, 3, axis=2)
    shadows = grey * 0.25
    sky = (1 - y) * np.array([20, 40, 110]) / 255 + y * np.array([170, 200, 235]) / 255 + 0.1 * x * ones
    skin = (1 - x) * np.array([241, 194, 167]) / 255 + x * np.array([141, 85, 56]) / 255
    skin = skin * (1 - 0.3 * y)
    hue = np.linspace(0, 6, WIDTH)
    rgb = np.stack([np.clip(np.abs(hue - 3) - 1, 0, 1), np.clip(2 - np.abs(hue - 2), 0, 1),
                    np.clip(2 - np.abs(hue - 4), 0, 1)], axis=1)[None, :, :]
    hues = rgb * (1 - y) + 0.5 * y
    return {"grey ramp": grey, "shadows": shadows, "sky": sky, "skin": skin, "hues": hues}


def write_png(path, rgb):
    rows = b"".join(b"\0" + row.tobytes() for row in rgb.astype(np.uint8))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", rgb.shape[1], rgb.shape[0], 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def read_rgb(path):
    ppm = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True, capture_output=True).stdout
    fields = ppm.split(maxsplit=4)
    width, height = int(fields[1]), int(fields[2])
    return np.frombuffer(fields[4][: width * height * 3], np.uint8).reshape(height, width, 3)


def linear(srgb):
    c = srgb / 255.0
    return np.where(c <= 0.04045, c / 12.92, ((c + 0.055) / 1.055) ** 2.4)


def blur(image):
    taps = np.exp(-np.arange(-3, 4) ** 2 / 2.0)
    taps /= taps.sum()
    for axis in (0, 1):
        pad = [(3, 3) if a == axis else (0, 0) for a in range(3)]
        padded = np.pad(image, pad, mode="symmetric")
        image = sum(t * np.take(padded, range(i, i + image.shape[axis]), axis=axis) for i, t in enumerate(taps))
    return image


def lab(lin):
    xyz = lin @ np.array([[0.4124, 0.2126, 0.0193], [0.3576, 0.7152, 0.1192], [0.1805, 0.0722, 0.9505]])
    t = xyz / np.array([0.95047, 1.0, 1.08883])
    f = np.where(t > (6 / 29) ** 3, np.cbrt(t), t / (3 * (6 / 29) ** 2) + 4 / 29)
    return np.stack([116 * f[..., 1] - 16, 500 * (f[..., 0] - f[..., 1]), 200 * (f[..., 1] - f[..., 2])], axis=-1)


def ciede2000(lab1, lab2):
    L1, a1, b1 = np.moveaxis(lab1, -1, 0)
    L2, a2, b2 = np.moveaxis(lab2, -1, 0)
    c_mean = (np.hypot(a1, b1) + np.hypot(a2, b2)) / 2
    g = 0.5 * (1 - np.sqrt(c_mean**7 / (c_mean**7 + 25.0**7)))
    a1p, a2p = a1 * (1 + g), a2 * (1 + g)
    c1p, c2p = np.hypot(a1p, b1), np.hypot(a2p, b2)
    h1p = np.degrees(np.arctan2(b1, a1p)) % 360
    h2p = np.degrees(np.arctan2(b2, a2p)) % 360
    dL, dC = L2 - L1, c2p - c1p
    dh = h2p - h1p
    dh = np.where(dh > 180, dh - 360, np.where(dh < -180, dh + 360, dh))
    dh = np.where(c1p * c2p == 0, 0, dh)
    dH = 2 * np.sqrt(c1p * c2p) * np.sin(np.radians(dh / 2))
    Lm, cm = (L1 + L2) / 2, (c1p + c2p) / 2
    hm = np.where(np.abs(h1p - h2p) > 180, (h1p + h2p + 360) / 2, (h1p + h2p) / 2)
    hm = np.where(c1p * c2p == 0, h1p + h2p, hm)
    t = (1 - 0.17 * np.cos(np.radians(hm - 30)) + 0.24 * np.cos(np.radians(2 * hm))
         + 0.32 * np.cos(np.radians(3 * hm + 6)) - 0.20 * np.cos(np.radians(4 * hm - 63)))
    sl = 1 + 0.015 * (Lm - 50) ** 2 / np.sqrt(20 + (Lm - 50) ** 2)
    sc, sh = 1 + 0.045 * cm, 1 + 0.015 * cm * t
    rt = -2 * np.sqrt(cm**7 / (cm**7 + 25.0**7)) * np.sin(np.radians(60 * np.exp(-(((hm - 275) / 25) ** 2))))
    return np.sqrt((dL / sl) ** 2 + (dC / sc) ** 2 + (dH / sh) ** 2 + rt * (dC / sc) * (dH / sh))


# Sharma, Wu and Dalal's test data, pairs 1 and 17.
assert abs(ciede2000(np.array([50, 2.6772, -79.7751]), np.array([50, 0, -82.7485])) - 2.0425) < 1e-4
assert abs(ciede2000(np.array([50, 2.5, 0]), np.array([73, 25, -18])) - 27.1492) < 1e-4


def difference(placed, shown):
    """Mean CIEDE2000 over the sampled rows, both blurred in linear light."""
    return float(ciede2000(lab(blur(linear(placed[1:].astype(float)))), lab(blur(linear(shown.astype(float))))).mean())


def timed(command):
    start = time.perf_counter()
    subprocess.run(command, check=True, capture_output=True)
    return time.perf_counter() - start


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    bin_dir = os.path.join(sys.argv[1], "bin")
    encode, decode = os.path.join(bin_dir, "pixolan-encode"), os.path.join(bin_dir, "pixolan-decode")
    work = tempfile.mkdtemp()
    try:
        pictures = {}
        for name in PHOTOS:
            path = os.path.join(work, name + ".png")
            subprocess.run(["convert", os.path.join(PICTURES, name), "-resize", f"{WIDTH}x{HEIGHT}^", "-gravity", "center",
                            "-extent", f"{WIDTH}x{HEIGHT}", "-strip", "PNG24:" + path], check=True, capture_output=True)
            pictures[name] = path
        for name, rgb in gradients().items():
            pictures[name] = os.path.join(work, name.replace(" ", "_") + ".png")
            write_png(pictures[name], np.round(rgb * 255))
        palette = os.path.join(work, "palette.png")
        levels = np.array([[(v >> 6) * 85, (v >> 2 & 15) * 17, (v & 3) * 85] for v in range(256)], np.uint8)
        write_png(palette, levels.reshape(16, 16, 3))

        errors = {}  # (picture, depth, mode) -> mean difference
        times = {"pixolan": [], "imagemagick": []}
        header, shown_png, remapped = (os.path.join(work, n) for n in ("image.h", "shown.png", "remapped.png"))
        for name, path in pictures.items():
            placed = read_rgb(path)
            for depth in DEPTHS:
                for mode in MODES:
                    subprocess.run([encode, path, "--resolution", "132x176", "--depth", str(depth), "--dither", mode,
                                    "-o", header], check=True)
                    subprocess.run([decode, header, "--depth", str(depth), "-o", shown_png], check=True)
                    errors[name, depth, mode] = difference(placed, read_rgb(shown_png)[:HEIGHT - 1, :WIDTH])
            ours = [encode, path, "--resolution", "132x176", "--dither", "diffusion", "-o", header]
            theirs = ["convert", path, "-dither", "FloydSteinberg", "-remap", palette, remapped]
            for _ in range(RUNS):
                times["pixolan"].append(timed(ours))
                times["imagemagick"].append(timed(theirs))
            errors[name, 8, "imagemagick"] = difference(placed, read_rgb(remapped)[1:])
        write_report(sys.argv[2], pictures, errors, times)
    finally:
        shutil.rmtree(work)


def write_report(out, pictures, errors, times):
    def mean(depth, mode):
        return sum(errors[name, depth, mode] for name in pictures) / len(pictures)

    ours, theirs = np.median(times["pixolan"]), np.median(times["imagemagick"])
    none8, ordered8, diffusion8, im8 = (mean(8, m) for m in ("none", "ordered", "diffusion", "imagemagick"))
    met = lambda ok: "yes" if ok else "**no**"
    lines = [
        "# Dithering quality",
        "",
        f"Made by `scripts/dither-quality.py` on {datetime.datetime.utcnow():%Y-%m-%d %H:%M} UTC "
        f"({os.cpu_count()} cores, load {' '.join(f'{v:.2f}' for v in os.getloadavg())}).",
        "",
        "The measure: each 172×128 test picture is placed as is in the 132x176 viewport, encoded by",
        "`pixolan-encode --dither MODE`, drawn back as the panel shows it by `pixolan-decode` (each field",
        "widened by repeating its bits), and both the picture and what the panel shows are blurred by a",
        "Gaussian of σ = 1 pixel in linear light (the eye at viewing distance); the table gives the mean",
        "CIEDE2000 difference over the 127 rows the grid samples. Lower is better; about 1 is the",
        "smallest difference people notice side by side. ImageMagick is",
        "`convert in.png -dither FloydSteinberg -remap palette.png out.png` with the 256 colours",
        "RRGGGGBB widened, measured the same way.",
        "",
        "Pictures: the photos " + ", ".join(f"`{p}`" for p in PHOTOS) + " of tests/data/pictures, scaled",
        "by ImageMagick to cover 172×128 and cut to it; and five gradients the script makes (a grey ramp,",
        "shadows from black to 25% grey, a sky, skin tones, hues over grey).",
        "",
        "## Mean over all pictures",
        "",
        "| depth | none | ordered | diffusion | ordered / none | diffusion / none |",
        "|---|---|---|---|---|---|",
    ]
    for depth in DEPTHS:
        n, o, d = (mean(depth, m) for m in MODES)
        lines.append(f"| {depth} bits | {n:.2f} | {o:.2f} | {d:.2f} | {o / n:.2f} | {d / n:.2f} |")
    lines += [
        "",
        "## Targets, at 8 bits",
        "",
        "| target | measured | met |",
        "|---|---|---|",
        f"| diffusion at most 0.6 of none | {diffusion8 / none8:.2f} | {met(diffusion8 <= 0.6 * none8)} |",
        f"| diffusion no worse than ImageMagick's Floyd–Steinberg | {diffusion8:.2f} against {im8:.2f} | {met(diffusion8 <= im8)} |",
        f"| diffusion at a fraction of ImageMagick's time (whole process, median of {RUNS} runs of each picture) "
        f"| {ours * 1000:.1f} ms against {theirs * 1000:.1f} ms: {ours / theirs:.2f}× | {met(ours < theirs)} |",
        f"| ordered at most 0.8 of none | {ordered8 / none8:.2f} | {met(ordered8 <= 0.8 * none8)} |",
        "",
        "Pixolan's time includes decoding the PNG in its sandboxed decoding process and writing the header;",
        "ImageMagick's includes decoding the PNG and the palette and writing a PNG.",
        "",
        "## Each picture",
        "",
        "| picture | depth | none | ordered | diffusion | ImageMagick |",
        "|---|---|---|---|---|---|",
    ]
    for name in pictures:
        for depth in DEPTHS:
            im = f"{errors[name, 8, 'imagemagick']:.2f}" if depth == 8 else ""
            lines.append(f"| {name} | {depth} | " + " | ".join(f"{errors[name, depth, m]:.2f}" for m in MODES) + f" | {im} |")
    lines += [
        "",
        "At 12 bits the packing keeps each component's low four bits, so without dithering a photo shows as",
        "noise; dithered, each sample takes the nibble n whose n × 17 is nearest, which is why the two",
        "dithered columns are far below `none` there.",
    ]
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")
    print("\n".join(lines[lines.index("## Targets, at 8 bits"):lines.index("## Each picture")]))


if __name__ == "__main__":
    main()

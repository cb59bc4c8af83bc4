#!/usr/bin/env python3
# Real-world pictures as tarvel shows them (`tarvel decode`, `tarvel capture`)
# against an independent reference: OpenCV, libvips or ImageMagick, with the
# documented rules (alpha over white, samples to 8 bits) applied here with
# numpy. Prints one row per file: kind, file, reference, largest and mean
# difference per sample, and whether it is within the kind's tolerance.
#   realworld_check.py TARVEL CORPUS WORK
# CORPUS holds public test collections (see realworld_check.sh); files of
# kinds they lack are made in WORK from them with libvips and ImageMagick.
import os
import subprocess
import sys

import cv2
import numpy as np

tool, corpus, work = sys.argv[1], sys.argv[2], sys.argv[3]
magick = next(p for p in ("/usr/bin/magick", "/usr/bin/convert-im6.q16") if os.path.exists(p))
rows = []


def run(*command):
    subprocess.run(command, check=True, capture_output=True)


def at(*parts):
    return os.path.join(corpus, *parts)


def made(name):
    return os.path.join(work, name)


def tarvel(path):
    """The picture as tarvel decodes it, blue-green-red."""
    out = made(os.path.basename(path) + ".tarvel.png")
    run(tool, "decode", path, "-o", out)
    return cv2.imread(out, cv2.IMREAD_COLOR)


def bgr(picture):
    if picture.ndim == 2:
        picture = cv2.cvtColor(picture, cv2.COLOR_GRAY2BGR)
    return picture


def over_white(picture):
    """Straight alpha over white, as tarvel shows it."""
    picture = bgr(picture)
    if picture.shape[2] < 4:
        return picture
    alpha = picture[:, :, 3:4].astype(np.float64) / 255
    return np.rint(picture[:, :, :3] * alpha + 255 * (1 - alpha)).astype(np.uint8)


def opencv(path):
    picture = cv2.imread(path, cv2.IMREAD_UNCHANGED)
    if picture.dtype == np.uint16:
        picture = np.rint(picture / 257.0).astype(np.uint8)
    return over_white(picture)


def opencv_upright(path):  # OpenCV turns JPEG pictures by their EXIF orientation
    return cv2.imread(path, cv2.IMREAD_COLOR)


def via_png(command, path):
    """A reference tool's PNG of the picture, read back."""
    out = made(os.path.basename(path) + ".reference.png")
    command(path, out)
    return opencv(out)


def magick_over_white(path, out):
    run(magick, path + "[0]", "-auto-orient", "-background", "white", "-alpha", "remove",
        "-alpha", "off", "-depth", "8", out)


def vips_srgb(path, out):
    run("vips", "icc_transform", path, out, "srgb", "--embedded", "--intent", "perceptual")


def vips_levels(scale, offset):
    """vips maps samples to v * scale + offset, then clamps and truncates to 8 bits."""
    def command(path, out):
        scaled = out + ".v"
        run("vips", "linear", path, scaled, str(scale), str(offset))
        run("vips", "cast", scaled, out, "uchar")
    return command


def check(kind, path, reference_name, reference, tolerance, got=None):
    try:
        got = tarvel(path) if got is None else got
        want = reference(path)
    except subprocess.CalledProcessError as e:
        rows.append((kind, path, reference_name, "-", "-", "FAILED: " + e.stderr.decode()[:60]))
        return
    if got is None or want is None or got.shape != want.shape:
        shapes = (None if got is None else got.shape, None if want is None else want.shape)
        rows.append((kind, path, reference_name, "-", "-", "sizes differ %s" % (shapes,)))
        return
    diff = np.abs(got.astype(int) - want.astype(int))
    verdict = "ok" if diff.max() <= tolerance else "DIFFERS"
    rows.append((kind, path, reference_name, str(diff.max()), "%.3f" % diff.mean(), verdict))


# EXIF orientation: the eight orientations of a landscape and a portrait photograph.
for shape in ("Landscape", "Portrait"):
    for o in range(1, 9):
        check("JPEG EXIF orientation", at("exif-orientation-examples", "%s_%d.jpg" % (shape, o)),
              "OpenCV imread (turns by EXIF)", opencv_upright, 0)

# TIFF orientation: a stored palette picture tagged left-bottom, and a colour
# picture tagged with every orientation on the direct path (LZW RGB) and on
# libtiff's RGBA path (JPEG-compressed YCbCr).
check("TIFF orientation", at("exampletiffs", "poppies.tif"), "ImageMagick -auto-orient",
      lambda p: via_png(magick_over_white, p), 0)
for orientation in ("top-right", "bottom-right", "bottom-left", "left-top", "right-top",
                    "right-bottom", "left-bottom"):
    for compression in ("lzw", "jpeg"):
        tagged = made("shapes-%s-%s.tif" % (orientation, compression))
        run(magick, at("exampletiffs", "shapes_uncompressed.tif"), "-compress", compression,
            "-orient", orientation, tagged)
        check("TIFF orientation", tagged, "ImageMagick -auto-orient",
              lambda p: via_png(magick_over_white, p), 0 if compression == "lzw" else 2)

# Transparency over white: PNG alpha and tRNS, TIFF alpha (unassociated, and
# associated made here), BMP alpha bit fields.
for name in ("basn6a08.png", "basn4a08.png", "basn6a16.png", "tbbn3p08.png", "tbrn2c08.png",
             "tbbn0g04.png", "tbwn0g16.png"):
    check("alpha over white", at("pngsuite", "png", name), "OpenCV + alpha over white", opencv, 1)
check("alpha over white", at("exampletiffs", "flagler.tif"), "OpenCV + alpha over white", opencv, 1)
check("alpha over white", at("exampletiffs", "house.tif"), "ImageMagick -alpha remove",
      lambda p: via_png(magick_over_white, p), 1)
premultiplied = made("basn6a08-associated.tif")
run(magick, at("pngsuite", "png", "basn6a08.png"), "-define", "tiff:alpha=associated",
    premultiplied)
check("alpha over white", premultiplied, "ImageMagick -alpha remove",
      lambda p: via_png(magick_over_white, p), 1)
for name in ("rgba32-1.bmp", "rgba32h56.bmp"):
    check("alpha over white", at("bmpsuite", "q", name), "OpenCV + alpha over white", opencv, 1)

# Run-length BMP files and OS/2 2.x headers (bmpsuite draws the same picture in each).
for name in ("g/pal8rle.bmp", "g/pal4rle.bmp"):
    check("RLE BMP", at("bmpsuite", name), "OpenCV imread", opencv, 0)
check("RLE BMP, skipped pixels", at("bmpsuite", "q/pal8rletrns.bmp"),
      "bmpsuite's PNG over white", lambda p: opencv(at("bmpsuite", "html", "pal8rletrns.png")), 0)
for name in ("q/pal8os2v2-16.bmp", "q/pal8os2v2.bmp", "q/pal8os2v2-sz.bmp", "q/pal8os2sp.bmp"):
    check("OS/2 BMP", at("bmpsuite", name), "OpenCV of g/pal8.bmp",
          lambda p: opencv(at("bmpsuite", "g", "pal8.bmp")), 0)

# Samples of other formats, to 8 bits by the documented rule computed by vips.
spring = at("exampletiffs", "spring.tif")  # half floats
check("float TIFF (0..1)", spring, "vips v * 255 + 0.5", lambda p: via_png(vips_levels(255, 0.5), p), 0)
for fmt, scale, offset in (("float", 255, 0.5), ("int", 255 / 4294967295, 2147483648 * 255 / 4294967295 + 0.5),
                           ("short", 255 / 65535, 32768 * 255 / 65535 + 0.5),
                           ("uint", 255 / 4294967295, 0.5)):
    converted = made("shapes-%s.tif" % fmt)
    # Grey levels spread over the format's range (floats: 0..1).
    source = at("exampletiffs", "coffee.tif")
    if fmt == "float":
        run("vips", "linear", source, converted, str(1 / 255), "0", "--uchar=false")
    else:
        span = {"int": (2 ** 32 - 1) / 255, "short": 65535 / 255, "uint": (2 ** 32 - 1) / 255}[fmt]
        low = {"int": -(2 ** 31), "short": -32768, "uint": 0}[fmt]
        scaled = converted + ".v"
        run("vips", "linear", source, scaled, str(span), str(low))
        run("vips", "cast", scaled, converted, fmt)
    check("%s TIFF" % fmt, converted, "vips v * %.3g + %.3g" % (scale, offset),
          lambda p: via_png(vips_levels(scale, offset), p), 1)
signed = at("exampletiffs", "4D-series.ome.tif")  # signed 8-bit grey
check("signed TIFF", signed, "OpenCV + (v + 128)",
      lambda p: bgr((cv2.imread(p, cv2.IMREAD_UNCHANGED).astype(int) + 128).astype(np.uint8)), 0)

# Embedded colour profiles to sRGB: Display P3, Adobe RGB (1998) and CMYK
# JPEGs, a ProPhoto 16-bit TIFF and a P3 PNG, made here with vips.
photo = at("exif-orientation-examples", "Landscape_1.jpg")
profiles = "/usr/share/color/icc/ghostscript"
for name, profile, extra in (("p3.jpg", "p3", []), ("a98.jpg", profiles + "/a98.icc", []),
                             ("cmyk.jpg", "cmyk", []), ("p3.png", "p3", []),
                             ("prophoto.tif", profiles + "/rommrgb.icc", ["--depth", "16"])):
    converted = made(name)
    run("vips", "icc_export", photo, converted, "--output-profile", profile, *extra)
    check("ICC to sRGB", converted, "vips icc_transform srgb", lambda p: via_png(vips_srgb, p), 3)

# Palette sources: tarvel pyramid expands them, so that layer 1 averages colours.
palette_png = made("palette.png")
run(magick, photo, "-resize", "800x600!", "-colors", "200", "PNG8:" + palette_png)
pyramid_dir = made("palette.pyramid")
run(tool, "pyramid", "--rebuild", palette_png, pyramid_dir)
half = made("palette-half.bmp")
run(tool, "capture", pyramid_dir, "0", "0", "800", "600", "400", "300", half)


def box_average(path):
    colours = opencv(path).astype(int)
    return ((colours[0::2, 0::2] + colours[0::2, 1::2] + colours[1::2, 0::2] +
             colours[1::2, 1::2]) // 4).astype(np.uint8)


check("palette expanded (layer 1)", palette_png, "OpenCV colours, 2x2 box average", box_average,
      0, got=cv2.imread(half, cv2.IMREAD_COLOR))

widths = [max(len(r[i]) for r in rows) for i in range(6)]
header = ("kind", "file", "reference", "max", "mean", "verdict")
for row in [header] + rows:
    cells = list(row)
    cells[1] = os.path.relpath(cells[1], corpus) if cells[1].startswith(corpus) else \
        os.path.basename(cells[1])
    print(" | ".join(c.ljust(w) for c, w in zip(cells, widths)))
sys.exit(0 if all(r[5] == "ok" for r in rows) else 1)

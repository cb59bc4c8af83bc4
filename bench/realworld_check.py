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
# The peers' warnings about tags and profiles they do not know are not wanted here.
quiet = dict(os.environ, VIPS_WARNING="0")


def run(*command):
    subprocess.run(command, check=True, capture_output=True, env=quiet)


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
    run("vips", "icc_transform", path, out, "srgb", "--embedded")


def vips_shown(path, out):
    """vips: the embedded profile (sRGB without one) to sRGB, then over white."""
    converted = out + ".v"
    run("vips", "icc_transform", path, converted, "srgb", "--embedded")
    run("vips", "flatten", converted, out, "--background", "255")


def vips_autorot(path, out):
    run("vips", "autorot", path, out)


def by_rule(path):
    """The samples as vips reads them, to 8 bits by tarvel's documented rule:
    unsigned over their range, signed offset by half of it, floats 0..1."""
    raw = made(os.path.basename(path) + ".raw")
    run("vips", "rawsave", path, raw)
    def field(name):
        return subprocess.run(["vipsheader", "-f", name, path], check=True, capture_output=True,
                              text=True, env=quiet).stdout.strip()
    dtypes = {"uchar": np.uint8, "char": np.int8, "ushort": np.uint16, "short": np.int16,
              "uint": np.uint32, "int": np.int32, "float": np.float32, "double": np.float64}
    form = field("format").split("VIPS_FORMAT_")[-1].rstrip(")").lower()
    v = np.fromfile(raw, dtype=dtypes[form]).astype(np.float64)
    v = v.reshape(int(field("height")), int(field("width")), int(field("bands")))[:, :, 0]
    if form in ("float", "double"):
        level = np.nan_to_num(v, nan=0.0)
    else:
        bits = np.dtype(dtypes[form]).itemsize * 8
        signed = np.issubdtype(dtypes[form], np.signedinteger)
        level = (v + (2 ** (bits - 1) if signed else 0)) / (2 ** bits - 1)
    return bgr(np.floor(np.clip(level * 255, 0, 255) + 0.5).astype(np.uint8))


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
check("TIFF orientation", at("exampletiffs", "poppies.tif"), "vips autorot",
      lambda p: via_png(vips_autorot, p), 1)
for orientation in ("top-right", "bottom-right", "bottom-left", "left-top", "right-top",
                    "right-bottom", "left-bottom"):
    for compression in ("lzw", "jpeg"):
        tagged = made("shapes-%s-%s.tif" % (orientation, compression))
        run(magick, at("exampletiffs", "shapes_uncompressed.tif"), "-compress", compression,
            "-orient", orientation, tagged)
        check("TIFF orientation", tagged, "vips autorot", lambda p: via_png(vips_autorot, p), 1)

# Transparency over white: PNG alpha and tRNS, TIFF alpha (unassociated, and
# associated made here), BMP alpha bit fields.
for name in ("basn6a08.png", "basn4a08.png", "basn6a16.png", "tbbn3p08.png", "tbrn2c08.png",
             "tbbn0g04.png", "tbwn0g16.png"):
    check("alpha over white", at("pngsuite", "png", name), "OpenCV + alpha over white", opencv, 1)
check("alpha over white", at("exampletiffs", "flagler.tif"), "vips icc_transform, flatten",
      lambda p: via_png(vips_shown, p), 1)  # it has a profile too
check("alpha over white", at("exampletiffs", "house.tif"), "vips flatten",
      lambda p: via_png(lambda i, o: run("vips", "flatten", i, o, "--background", "255"), p), 1)
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

# Samples of other formats, to 8 bits by the documented rule, applied here to
# the samples as libvips reads them (ImageMagick for half floats, which libvips
# does not read: it scales 0..1 to 0..255 the same way).
check("half-float TIFF", at("exampletiffs", "spring.tif"), "ImageMagick -depth 8",
      lambda p: via_png(lambda i, o: run(magick, i, "-depth", "8", o), p), 1)
coffee = at("exampletiffs", "coffee.tif")  # 8-bit grey, spread over each format's range
for fmt, scale, offset in (("float", 1 / 255, 0),
                           ("int", (2 ** 32 - 1) / 255, -(2 ** 31)),
                           ("short", 65535 / 255, -32768), ("char", 1, -128),
                           ("uint", (2 ** 32 - 1) / 255, 0)):
    converted = made("coffee-%s.tif" % fmt)
    scaled = converted + ".v"
    run("vips", "linear", "--", coffee, scaled, str(scale), str(offset))
    run("vips", "cast", scaled, converted, fmt)
    check("%s TIFF" % fmt, converted, "vips samples + the rule", by_rule, 1)
check("signed TIFF", at("exampletiffs", "4D-series.ome.tif"), "vips samples + the rule", by_rule,
      0)

# Embedded colour profiles to sRGB: Display P3, Adobe RGB (1998) and CMYK
# JPEGs, a ProPhoto 16-bit TIFF and a P3 PNG, made here with vips.
photo = at("exif-orientation-examples", "Landscape_1.jpg")
profiles = "/usr/share/color/icc/ghostscript"
for name, profile, extra in (("p3.jpg", "p3", []), ("a98.jpg", profiles + "/a98.icc", []),
                             ("cmyk.jpg", "cmyk", []), ("p3.png", "p3", []),
                             ("prophoto.tif", profiles + "/rommrgb.icc", ["--depth", "16"])):
    converted = made(name)
    run("vips", "icc_export", photo, converted, "--output-profile", profile, *extra)
    # 16-bit samples become 8 bits before the conversion: ProPhoto's dark greens step.
    check("ICC to sRGB", converted, "vips icc_transform srgb", lambda p: via_png(vips_srgb, p),
          12 if name == "prophoto.tif" else 1)

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

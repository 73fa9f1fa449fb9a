#!/usr/bin/python3
"""Writes PNG and JPEG files of every kind the header tests name into FOLDER, made by the tools
people make them with (Pillow, OpenCV, ImageMagick), plus a few damaged on purpose. A kind a
tool here cannot make is left out; the tests skip what is missing.

usage: make-pictures.py FOLDER
"""
import io
import os
import struct
import subprocess
import sys
import zlib

import cv2
import numpy as np
from PIL import Image

out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def path(name):
    return os.path.join(out, name)


def gradient(width, height, channels, dtype=np.uint8):
    top = np.iinfo(dtype).max
    y, x = np.mgrid[0:height, 0:width]
    planes = [(x * top // max(width - 1, 1)), (y * top // max(height - 1, 1)), ((x + y) * top // (width + height))]
    planes += [np.full_like(x, top // 2)]
    picture = np.stack(planes[:channels], axis=-1).astype(dtype)
    return picture[:, :, 0] if channels == 1 else picture


def magick(name, *options, size="23x17", source="gradient:red-blue"):
    subprocess.run(["/usr/bin/convert", "-size", size, source, *options, path(name)], check=True)


# PNG: every colour type at every depth it has.
Image.fromarray(gradient(9, 7, 1) > 100).save(path("grey1-pillow.png"))
magick("grey2-magick.png", "-colorspace", "Gray", "-define", "png:bit-depth=2", "-define", "png:color-type=0")
magick("grey4-magick.png", "-colorspace", "Gray", "-define", "png:bit-depth=4", "-define", "png:color-type=0")
cv2.imwrite(path("grey8-opencv.png"), gradient(31, 5, 1))
cv2.imwrite(path("grey16-opencv.png"), gradient(33, 5, 1, np.uint16))
Image.fromarray(gradient(10, 6, 3)).convert("LA").save(path("greyalpha8-pillow.png"))
magick("greyalpha16-magick.png", "-alpha", "set", "-channel", "A", "-evaluate", "set", "50%", "+channel",
       "-colorspace", "Gray", "-depth", "16", "-define", "png:color-type=4", size="24x17")
for bits in (1, 2, 4, 8):
    Image.fromarray(gradient(11 + bits, 4, 3)).quantize(2 ** bits).save(path(f"palette{bits}-pillow.png"), bits=bits)
cv2.imwrite(path("rgb8-opencv.png"), gradient(40, 30, 3))
cv2.imwrite(path("rgb16-opencv.png"), gradient(41, 30, 3, np.uint16))
Image.fromarray(gradient(42, 30, 4)).save(path("rgba8-pillow.png"))
cv2.imwrite(path("rgba16-opencv.png"), gradient(43, 30, 4, np.uint16))
magick("interlaced-magick.png", "-depth", "8", "-define", "png:color-type=2", "-interlace", "PNG", size="44x30")
first = Image.fromarray(gradient(45, 30, 3))
first.save(path("animated-pillow.png"), save_all=True, append_images=[first.transpose(Image.FLIP_LEFT_RIGHT)])

# JPEG: the samplings, the processes, the colour spaces.
picture = Image.fromarray(gradient(64, 48, 3))
picture.save(path("s420-pillow.jpg"), subsampling=2, quality=90)
picture.save(path("s422-pillow.jpg"), subsampling=1, quality=90)
picture.save(path("s444-pillow.jpeg"), subsampling=0, quality=90)
cv2.imwrite(path("grey-opencv.jpg"), gradient(65, 48, 1))
magick("s420-magick.jpg", "-sampling-factor", "2x2", size="66x48")
picture.save(path("progressive-pillow.jpg"), progressive=True)
picture.convert("CMYK").save(path("cmyk-pillow.jpg"))
# A camera's EXIF block nearly as large as a segment can be, before the frame header.
picture.save(path("exif-pillow.jpg"), exif=b"Exif\0\0" + b"II*\0\x08\0\0\0" + bytes(65000))

# JPEGs of other colour forms: RGB components (cjpeg, unsubsampled and 4:2:0), YCCK (ImageMagick).
picture.save(path("s64x48.ppm"))
for name, options in (("rgb-cjpeg.jpg", ["-rgb"]), ("rgb420-cjpeg.jpg", ["-rgb", "-sample", "2x2"])):
    subprocess.run(["cjpeg", *options, "-outfile", path(name), path("s64x48.ppm")], check=True)
os.remove(path("s64x48.ppm"))
magick("ycck-magick.jpg", "-colorspace", "CMYK", size="64x48")

# Pairs of one format, the second with transparency its colour type allows: an RGB key
# colour (tRNS), a palette's transparent entries.
keyed = gradient(40, 30, 3)
keyed[5:15, 10:30] = (0, 255, 0)
Image.fromarray(keyed[::-1]).save(path("opaque-rgb8.png"))
Image.fromarray(keyed).save(path("key-rgb8.png"), transparency=(0, 255, 0))
quantized = Image.fromarray(keyed).quantize(16)
quantized.transpose(Image.FLIP_TOP_BOTTOM).save(path("opaque-palette8.png"), bits=8)
quantized.save(path("alpha-palette8.png"), bits=8, transparency=bytes(range(0, 256, 16)))

# Frames of one size that differ in what the format rule compares.
rule = gradient(32, 24, 3)
cv2.imwrite(path("rule-rgb8.png"), rule)
cv2.imwrite(path("rule-rgb8-b.png"), rule[::-1])
cv2.imwrite(path("rule-rgb16.png"), rule.astype(np.uint16) * 257)
Image.fromarray(gradient(32, 24, 4)).save(path("rule-rgba8.png"))
cv2.imwrite(path("rule-wide.png"), gradient(33, 24, 3))
Image.fromarray(rule).save(path("rule-420.jpg"), subsampling=2)
Image.fromarray(rule[::-1]).save(path("rule-420-b.jpg"), subsampling=2)
Image.fromarray(rule).save(path("rule-444.jpg"), subsampling=0)
Image.fromarray(rule).save(path("rule.bmp"))

# Arithmetic coding: cjpeg writes it where it is built with it (it reads PPM, not PNG).
Image.fromarray(gradient(40, 30, 3)).save(path("arithmetic-source.ppm"))
try:
    subprocess.run(["cjpeg", "-arithmetic", "-outfile", path("arithmetic-cjpeg.jpg"), path("arithmetic-source.ppm")],
                   check=True, stderr=subprocess.DEVNULL)
except (OSError, subprocess.CalledProcessError):
    if os.path.exists(path("arithmetic-cjpeg.jpg")):
        os.remove(path("arithmetic-cjpeg.jpg"))
os.remove(path("arithmetic-source.ppm"))
# Lossless (SOF3), as ffmpeg's encoder writes it.
subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", path("rgb8-opencv.png"), "-c:v", "ljpeg", "-pix_fmt",
                "bgr24", path("lossless-ffmpeg.jpg")], check=True)


def dc_only_jpeg(width, height, precision, sof):
    """A greyscale JPEG whose blocks are flat (DC only), at any precision: no tool here writes 12 bits."""
    def segment(marker, body):
        return struct.pack(">BBH", 0xFF, marker, len(body) + 2) + body
    data = b"\xff\xd8" + segment(0xDB, bytes([0]) + bytes([16] * 64))
    data += segment(sof, struct.pack(">BHHBBBB", precision, height, width, 1, 1, 0x11, 0))
    data += segment(0xC4, bytes([0x00, 0, 0, 0, 12] + [0] * 12) + bytes(range(12)) + bytes([0x10, 1] + [0] * 15 + [0]))
    data += segment(0xDA, bytes([1, 1, 0, 0, 63, 0]))
    bits, previous = "", 0
    for block in range(((width + 7) // 8) * ((height + 7) // 8)):
        dc = ((block * 37 % (1 << precision)) - (1 << (precision - 1))) // 2
        diff, previous = dc - previous, dc
        size = abs(diff).bit_length()
        bits += format(size, "04b") + (format(diff if diff > 0 else diff + (1 << size) - 1, f"0{size}b") if size else "")
        bits += "0"  # end of block
    bits += "1" * (-len(bits) % 8)
    entropy = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8)).replace(b"\xff", b"\xff\x00")
    return data + entropy + b"\xff\xd9"


# Damaged on purpose.
def write(name, data):
    with open(path(name), "wb") as f:
        f.write(data)


def read(name):
    with open(path(name), "rb") as f:
        return f.read()


rgb = read("rgb8-opencv.png")
write("truncated.png", rgb[: len(rgb) // 2])
write("no-end.png", rgb[:-12])
jpeg = read("s420-pillow.jpg")
write("truncated.jpg", jpeg[: len(jpeg) - 40])
write("jpeg-named.png", jpeg)
write("png-named.jpg", rgb)
# A header that says 30000 x 30000 pixels, its CRC made to match: far more than the file holds.
ihdr = b"IHDR" + struct.pack(">IIBBBBB", 30000, 30000, 8, 2, 0, 0, 0)
write("lying-size.png", rgb[:8] + struct.pack(">I", 13) + ihdr + struct.pack(">I", zlib.crc32(ihdr)) + rgb[33:])
# A header changed without its CRC.
write("lying-crc.png", rgb[:16] + struct.pack(">I", 41) + rgb[20:])
with open(path("precision12.jpg"), "wb") as f:
    f.write(dc_only_jpeg(24, 16, 12, 0xC1))
# Hierarchical (SOF5): the frame header alone decides, so a sound file's header is relabelled.
write("hierarchical.jpg", jpeg.replace(b"\xff\xc0", b"\xff\xc5", 1))
# A phone's motion photo: the picture, then a video (here other bytes) after its end marker.
write("motion-photo.jpg", jpeg + b"\0\0\0\x18ftypmp42" + bytes(range(256)) * 256)
write("motion-progressive.jpg", read("progressive-pillow.jpg") + b"\0\0\0\x18ftypmp42" + bytes(range(256)) * 64)
write("padded.jpg", jpeg + bytes(64))
# A bitmap named .png, and OS/2's array of bitmaps (a "BA" header before the bitmap's own).
bitmap = read("rule.bmp")
write("bmp-named.png", bitmap)
write("array-os2.bmp", b"BA" + struct.pack("<IIHH", 40, 0, 1024, 768) + bitmap)
# Deflate data damaged inside the IDAT, its CRC made to match: sound in every chunk, and its
# pixels do not decode.
at = rgb.index(b"IDAT")
length = struct.unpack(">I", rgb[at - 4 : at])[0]
damaged = bytearray(rgb[at + 4 : at + 4 + length])
for i in range(length // 3, length // 3 + 16):
    damaged[i] ^= 0x55
idat = b"IDAT" + bytes(damaged)
write("damaged-idat.png", rgb[: at + 4] + bytes(damaged) + struct.pack(">I", zlib.crc32(idat)) + rgb[at + 8 + length :])


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


# Damage behind sound headers: a zlib stream that does not inflate (its chunk's CRC made to
# match), a JPEG whose scan ends at once, and a camera's EXIF block no parser makes sense of
# (the picture itself is whole).
rows = b"".join(b"\0" + bytes(range(40 * 3)) for _ in range(30))
garbled = bytearray(zlib.compress(rows))
garbled[4:40] = bytes(range(200, 236))
write("damaged-zlib.png", rgb[:33] + chunk(b"IDAT", bytes(garbled)) + chunk(b"IEND", b""))
scan = jpeg.index(b"\xff\xda")
scan_data = scan + 2 + int.from_bytes(jpeg[scan + 2:scan + 4], "big")
write("damaged-scan.jpg", jpeg[:scan_data] + b"\xff\xd9" + jpeg[scan_data + 2:])
exif = b"Exif\0\0II*\0" + struct.pack("<I", 0xFFFFFF00) + bytes(16)
write("exif-broken.jpg", jpeg[:2] + b"\xff\xe1" + struct.pack(">H", len(exif) + 2) + exif + jpeg[2:])

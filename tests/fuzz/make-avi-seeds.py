#!/usr/bin/env python3
"""Writes small AVI files of each depth and layout into a folder: seeds for the AVI fuzzer."""
import struct
import sys
from pathlib import Path


def chunk(fourcc, body):
    return fourcc + struct.pack("<I", len(body)) + body + (b"\0" if len(body) % 2 else b"")


def avi(width, height, bits, compression, extra, frames):
    strh = b"vids" + b"\0" * 4 + struct.pack("<10I4h", 0, 0, 0, 1, 25, 0, len(frames), 0, 0, 0, 0, 0, width, abs(height))
    strf = struct.pack("<IiiHHIIiiII", 40 + len(extra), width, height, 1, bits, compression, 0, 0, 0, 0, 0) + extra
    avih = struct.pack("<14I", 40000, 0, 0, 0x10, len(frames), 0, 1, 0, width, abs(height), 0, 0, 0, 0)
    hdrl = chunk(b"LIST", b"hdrl" + chunk(b"avih", avih) + chunk(b"LIST", b"strl" + chunk(b"strh", strh) + chunk(b"strf", strf)))
    movi = chunk(b"LIST", b"movi" + b"".join(chunk(b"00db", f) for f in frames))
    return chunk(b"RIFF", b"AVI " + hdrl + movi)


def main(folder):
    out = Path(folder)
    out.mkdir(parents=True, exist_ok=True)
    palette = bytes(range(256)) * 4
    for bits in (1, 4, 8, 16, 24, 32):
        stride = (5 * bits + 31) // 32 * 4
        for height in (3, -3):
            frames = [bytes((i + n) & 255 for i in range(stride * 3)) for n in range(3)]
            extra = palette[: 4 << bits] if bits <= 8 else b""
            (out / f"raw{bits}_{height}.avi").write_bytes(avi(5, height, bits, 0, extra, frames))
    rle8 = [bytes([3, 1, 0, 0, 2, 2, 0, 1])] * 3
    (out / "rle8.avi").write_bytes(avi(8, 4, 8, 1, palette, rle8))
    (out / "rle4.avi").write_bytes(avi(8, 4, 4, 2, palette[:64], rle8))


if __name__ == "__main__":
    main(sys.argv[1])

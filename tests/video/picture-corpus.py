#!/usr/bin/python3
"""Picture files nobody here made, each admitted or refused with its reason.

The files: the PNG suite (Debian's libsixel-examples), Go's image test data (golang-1.19-src),
libjxl's JPEGs (libjxl-testdata), and files made here of the kinds those lack (cjpeg's
samplings, arithmetic coding, lossless and 12-bit JPEGs, motion photos, a bitmap named .png).
Each file is saved alone with the default save (stored as it is) and --verify. A file the
table refuses must end with status 1 and its reason; a JPEG refused so must be refused with
the same line by --codec ffv1 (no save advises another that refuses it too), unless its reason
advises a compressed save, which must then succeed. Every other file
must be saved and checked, and ffmpeg must decode the video's frame as it decodes the file.

usage: picture-corpus.py KELVORA_MAKER WORK_FOLDER [SHARD/SHARDS]
"""
import glob
import os
import subprocess
import sys

from case_table import run_table

PNG_SUITE = "/usr/share/doc/libsixel-examples/examples/images/pngsuite"
GO_IMAGES = "/usr/share/go-1.19/src/image"
JXL_DATA = "/usr/share/libjxl-testdata/jxl"
MAKE_PICTURES = os.path.join(os.path.dirname(__file__), "..", "support", "pictures", "make-pictures.py")

SIGNATURE = "la firma PNG"
# What is refused, and the reason's words.
REFUSED = {
    "xc1n0g08.png": "tipo di colore PNG 1 con 8 bit, che non esiste",
    "xc9n2c08.png": "tipo di colore PNG 9 con 8 bit, che non esiste",
    "xcrn0g04.png": SIGNATURE + " è stata alterata da un trasferimento in modalità testo (ogni LF diventato CR)",
    "xcsn0g01.png": "il blocco IDAT all'offset 49 è danneggiato: il suo CRC non torna",
    "xd0n2c08.png": "tipo di colore PNG 2 con 0 bit, che non esiste",
    "xd3n2c08.png": "tipo di colore PNG 2 con 3 bit, che non esiste",
    "xd9n2c08.png": "tipo di colore PNG 2 con 99 bit, che non esiste",
    "xdtn0g01.png": "l'immagine PNG non ha dati (IDAT)",
    "xhdn0g08.png": "l'intestazione PNG (IHDR) è danneggiata: il suo CRC non torna",
    "xlfn0g04.png": SIGNATURE + " è stata alterata da un trasferimento in modalità testo (ogni CR diventato LF)",
    "xs1n0g01.png": SIGNATURE + " ha perso il bit più alto del suo primo byte",
    "xs2n0g01.png": SIGNATURE + " (i primi 8 byte del file) è danneggiata",
    "xs4n0g01.png": SIGNATURE + " (i primi 8 byte del file) è danneggiata",
    "xs7n0g01.png": SIGNATURE + " (i primi 8 byte del file) è danneggiata",
    "invalid-crc32.png": "l'intestazione PNG (IHDR) è danneggiata: il suo CRC non torna",
    "invalid-noend.png": "il file finisce prima del blocco finale IEND",
    "invalid-trunc.png": "il file finisce prima del blocco finale IEND",
    "invalid-zlib.png": "i dati compressi dell'immagine (IDAT) sono danneggiati: non si decomprimono",
    "video-001.cmyk.jpeg": "JPEG CMYK (inchiostri di stampa)",
    "arithmetic-cjpeg.jpg": "JPEG con codifica aritmetica, che libavcodec (ffmpeg) non decodifica",
    "hierarchical.jpg": "JPEG gerarchico, che libavcodec (ffmpeg) non decodifica",
    "lossless-ffmpeg.jpg": "JPEG senza perdita (lossless), che GStreamer non decodifica",
    "precision12.jpg": "JPEG a 12 bit per campione, che GStreamer non decodifica",
    "truncated.jpg": "il file finisce prima della fine dell'immagine JPEG (EOI)",
    "bmp-named.png": "il contenuto è un'immagine BMP, non PNG come dice il nome",
    "array-os2.bmp": "è un insieme di bitmap OS/2 (bitmap array, «BA»)",
}
MADE = ["arithmetic-cjpeg.jpg", "hierarchical.jpg", "lossless-ffmpeg.jpg", "precision12.jpg", "truncated.jpg",
        "bmp-named.png", "array-os2.bmp", "motion-photo.jpg", "motion-progressive.jpg", "padded.jpg",
        "progressive-pillow.jpg", "exif-pillow.jpg"]
SAMPLINGS = ["1x1", "2x1", "1x2", "2x2", "4x1", "4x2"]


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, timeout=120, stdin=subprocess.DEVNULL, **kwargs)


def made_files(folder):
    """The kinds no suite here has, made once for the whole table."""
    made = os.path.join(folder, "made")
    if not os.path.isdir(made):
        subprocess.run(["/usr/bin/python3", MAKE_PICTURES, made], check=True, capture_output=True)
        source = os.path.join(made, "rgb8-opencv.png")
        ppm = os.path.join(made, "source.ppm")
        subprocess.run(["convert", source, "-resize", "67x45!", ppm], check=True)
        for sampling in SAMPLINGS:
            for progressive in ([], ["-progressive"]):
                name = f"cjpeg-{sampling}{'-progressive' if progressive else ''}.jpg"
                subprocess.run(["cjpeg", "-sample", sampling + ",1x1,1x1", *progressive, "-outfile",
                                os.path.join(made, name), ppm], check=True)
    return made


def corpus():
    files = sorted(glob.glob(os.path.join(PNG_SUITE, "*", "*.png")))
    files += sorted(glob.glob(os.path.join(GO_IMAGES, "png", "testdata", "*.png")))
    files += sorted(p for p in glob.glob(os.path.join(GO_IMAGES, "testdata", "*")) if not p.endswith(".gif"))
    files += sorted(glob.glob(os.path.join(JXL_DATA, "**", "*.jpg"), recursive=True))
    cases = [(os.path.relpath(p, "/usr/share"), p) for p in files]
    cases += [("made/" + name, name) for name in MADE]
    cases += [(f"made/cjpeg-{s}{p}.jpg", f"cjpeg-{s}{p}.jpg") for s in SAMPLINGS for p in ("", "-progressive")]
    return cases


def frame_hashes(path):
    out = run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "framemd5", "-"]).stdout.decode()
    return [line.split(",")[-1].strip() for line in out.splitlines() if line and not line.startswith("#")]


def check(case, maker, folder):
    name, path = case
    if not os.path.isabs(path):
        path = os.path.join(made_files(folder), path)
    if not os.path.exists(path):
        return [f"{name}: missing (tools/install-deps.sh installs the suites)"]
    video = os.path.join(folder, "frame.avi")
    made = run([maker, "-y", "-o", video, "--verify", path], text=True)
    reason = REFUSED.get(os.path.basename(path))
    if reason:
        problems = []
        if made.returncode != 1 or reason not in made.stderr:
            problems.append(f"{name}: refused with exit {made.returncode} and «{made.stderr.strip()}», "
                            f"not for «{reason}»")
        if path.endswith((".jpg", ".jpeg")):
            compressed = run([maker, "-y", "-o", video, "--codec", "ffv1", path], text=True)
            first = made.stderr.splitlines()[:1]
            if "si può salvare compresso" in made.stderr:
                if compressed.returncode != 0:
                    problems.append(f"{name}: refused as stored, yet FFV1 says «{compressed.stderr.strip()}»")
            elif compressed.returncode != 1 or compressed.stderr.splitlines()[:1] != first:
                problems.append(f"{name}: FFV1 says «{compressed.stderr.strip()}», the default save «{first}»")
        return problems
    if made.returncode != 0:
        return [f"{name}: exit {made.returncode}: {made.stderr.strip()}"]
    if frame_hashes(video) != frame_hashes(path) or not frame_hashes(video):
        return [f"{name}: ffmpeg decodes the video's frame otherwise than the file"]
    return []


def main():
    return run_table(corpus(), check, ())


if __name__ == "__main__":
    sys.exit(main())

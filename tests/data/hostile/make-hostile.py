#!/usr/bin/env python3
"""Writes the hand-made hostile files of this folder and EXPECTED.tsv.

Every file is named <reader>-<what>.<ext> after the reader it is aimed at and
the fault it carries. EXPECTED.tsv gives the load result each must end with:
1 (decoded), -3 (unreadable), or "1:TIFF" (1 while the loader chain has a TIFF
reader, -3 before). Files in this folder that the manifest does not list (the
fuzzers' crash inputs) are only required not to crash and to end as 1 or -3.

Only the standard library is used, so the files can be made anywhere:
    python3 tests/data/hostile/make-hostile.py
Running it again rewrites the same bytes.
"""

import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
files = {}  # name -> (bytes, expected, why)


def add(name, data, expected, why):
    assert name not in files, name
    files[name] = (bytes(data), expected, why)


def truncations(prefix, ext, data, cuts, expected_for, what):
    """The file cut at each header boundary."""
    for cut in cuts:
        assert 0 < cut < len(data), (prefix, cut)
        add("%s-truncated-%03d.%s" % (prefix, cut, ext), data[:cut], expected_for(cut),
            "%s cut after %d bytes" % (what, cut))


# --- BMP -------------------------------------------------------------------

def bmp(width=4, height=3, bits=24, compression=0, info_size=40, offset=None,
        height_field=None, region=None, pixels=None, signature=b"BM"):
    """A BMP with a 40-byte (or 12-byte core) header; region replaces the
    bytes between the file header and the pixel data when given."""
    if region is None:
        if info_size == 12:
            region = struct.pack("<IHHHH", 12, width & 0xFFFF, height & 0xFFFF, 1, bits)
        else:
            hf = height if height_field is None else height_field
            region = struct.pack("<IiiHHIIiiII", info_size, width, hf, 1, bits, compression,
                                 0, 0, 0, 0, 0)
    if offset is None:
        offset = 14 + len(region)
    if pixels is None:
        row = ((max(width, 0) * bits + 31) // 32) * 4 if 0 < width < 4096 and bits <= 32 else 0
        rows = height if 0 < height < 4096 else 0
        pixels = bytes((7 * i + 3) % 251 for i in range(row * rows))
    body = region + pixels
    header = signature + struct.pack("<IHHI", 14 + len(body), 0, 0, offset & 0xFFFFFFFF)
    return header + body


add("bmp-valid-base.bmp", bmp(), 1, "control: a plain 4x3 24-bit bitmap")
add("bmp-signature-ba.bmp", bmp(signature=b"BA"), 1, "the BA signature reads like BM")
add("bmp-height-negative.bmp", bmp(height_field=-3), 1, "negative height: rows stored top-down")
add("bmp-core-valid.bmp", bmp(info_size=12), 1, "control: 12-byte core header")
add("bmp-compression-3-24bit.bmp", bmp(compression=3), 1, "bit-field code with 24 bits reads as plain rows")
add("bmp-size-overflow-32.bmp", bmp(width=65536, height=65536, pixels=b"\0" * 16), -3,
    "65536 x 65536 x 3 does not fit 32 bits")
add("bmp-size-overflow-64.bmp", bmp(width=0x7FFFFFFF, height=0x7FFFFFFF, pixels=b"\0" * 16), -3,
    "0x7FFFFFFF squared x 3 overflows a signed 64-bit product")
add("bmp-size-overflow-64-bitcount.bmp", bmp(width=0x7FFFFFFF, height=0x7FFFFFFF, bits=0xFFFF,
                                             pixels=b"\0" * 16), -3,
    "width x height x 65535 bits overflows 64 bits")
add("bmp-row-overflow-32.bmp", bmp(width=0x7FFFFFFF, height=1, pixels=b"\0" * 16), -3,
    "one row of 0x7FFFFFFF pixels does not fit 32 bits")
add("bmp-core-size-max.bmp", bmp(info_size=12, width=65535, height=65535, pixels=b"\0" * 16), -3,
    "core header 65535 x 65535 x 3 does not fit 32 bits")
add("bmp-width-zero.bmp", bmp(width=0), -3, "width 0")
add("bmp-width-negative.bmp", bmp(width=-4), -3, "negative width")
add("bmp-height-zero.bmp", bmp(height=0), -3, "height 0")
add("bmp-height-int-min.bmp", bmp(height_field=-0x80000000, pixels=b"\0" * 16), -3,
    "height field INT_MIN has no positive counterpart")
add("bmp-core-width-zero.bmp", bmp(info_size=12, width=0), -3, "core header width 0")
add("bmp-core-height-zero.bmp", bmp(info_size=12, height=0), -3, "core header height 0")
add("bmp-bits-8.bmp", bmp(bits=8), -3, "8-bit bitmaps are not read")
add("bmp-bits-32.bmp", bmp(bits=32), -3, "32-bit bitmaps are not read")
add("bmp-bits-zero.bmp", bmp(bits=0), -3, "bit count 0")
add("bmp-rle8.bmp", bmp(compression=1), -3, "run-length code 1 means 8 bits: refused")
add("bmp-rle4.bmp", bmp(compression=2), -3, "run-length code 2 means 4 bits: refused")
add("bmp-compression-4.bmp", bmp(compression=4), -3, "compression code 4")
add("bmp-compression-huge.bmp", bmp(compression=0xFFFFFFFF), -3, "compression code 0xFFFFFFFF")
# Header regions shorter and longer than the fields read.
add("bmp-region-zero.bmp", bmp(offset=14), -3, "pixel offset 14: no header region")
add("bmp-region-negative.bmp", bmp(offset=4), -3, "pixel offset inside the file header")
add("bmp-region-2.bmp", bmp(offset=16), -3, "header region of 2 bytes, shorter than the size field")
add("bmp-region-4.bmp", bmp(offset=18), -3, "header region of 4 bytes: only the size field")
add("bmp-region-19.bmp", bmp(offset=33), -3, "header region one byte short of the compression field")
base_region = struct.pack("<IiiHHI", 40, 4, 3, 1, 24, 0)  # the 20 bytes the reader looks at
add("bmp-region-20.bmp", bmp(region=base_region), 1, "header region holding exactly the fields read")
add("bmp-core-region-11.bmp", bmp(info_size=12, offset=25), -3, "core header region of 11 bytes")
add("bmp-core-region-12.bmp", bmp(info_size=12, offset=26), 1, "core header region of exactly 12 bytes")
long_region = struct.pack("<IiiHHIIiiII", 40, 4, 3, 1, 24, 0, 0, 0, 0, 0, 0) + bytes(range(256)) * 2
add("bmp-region-longer.bmp", bmp(region=long_region), 1, "header region of 552 bytes (a colour table)")
add("bmp-info-size-huge.bmp", bmp(info_size=0xFFFFFFFF), 1, "info header size field 0xFFFFFFFF; fields still there")
add("bmp-info-size-12-region-40.bmp", bmp(region=struct.pack("<IHHHH", 12, 4, 3, 1, 24) + b"\0" * 28), 1,
    "core header followed by 28 spare bytes before the pixels")
# Pixel offsets past the end.
plain = bmp()
add("bmp-offset-past-end.bmp", bmp(offset=len(plain) + 100), -3, "pixel offset past the end of the file")
add("bmp-offset-huge.bmp", bmp(offset=0xFFFFFFFF), -3, "pixel offset 0xFFFFFFFF")
add("bmp-offset-at-end.bmp", bmp(offset=len(plain)), -3, "pixel offset at the end: no rows")
add("bmp-pixels-short-by-one.bmp", plain[:-1], -3, "last row one byte short")
add("bmp-pixels-missing.bmp", plain[:54], -3, "headers only")
truncations("bmp", "bmp", plain, [1, 2, 6, 8, 10, 14, 18, 22, 26, 28, 30, 34, 38, 42, 46, 50, 53, 66, 78],
            lambda cut: -3, "4x3 bitmap")

# --- PCX -------------------------------------------------------------------

def pcx(width=4, height=3, bits=8, planes=3, bytes_per_line=None, xmin=0, ymin=0, xmax=None, ymax=None,
        data=None, palette=True):
    if xmax is None:
        xmax = xmin + width - 1
    if ymax is None:
        ymax = ymin + height - 1
    if bytes_per_line is None:
        bytes_per_line = width + (width & 1)
    h = bytearray(128)
    h[0] = 0x0A                                        # manufacturer
    h[1] = 5                                           # version
    h[2] = 1                                           # encoding
    h[3] = bits                                        # bits per plane
    struct.pack_into("<HHHH", h, 4, xmin & 0xFFFF, ymin & 0xFFFF, xmax & 0xFFFF, ymax & 0xFFFF)
    struct.pack_into("<HH", h, 12, 300, 300)           # resolution
    h[65] = planes                                     # planes
    struct.pack_into("<HH", h, 66, bytes_per_line & 0xFFFF, 1)
    if data is None:
        line = bytes(((x * 37 + 11) % 0xBF) for x in range(bytes_per_line * planes))
        data = line * max(height, 0)
    tail = b""
    if bits * planes == 8 and palette:
        tail = b"\x0c" + bytes(i % 256 for i in range(768))
    return bytes(h) + data + tail


add("pcx-valid-24.pcx", pcx(), 1, "control: 4x3, three planes")
add("pcx-valid-8.pcx", pcx(planes=1), 1, "control: 4x3, one plane and a palette")
add("pcx-size-overflow-32.pcx", pcx(xmax=65535, ymax=65535, data=b"\x01" * 64), -3,
    "65536 x 65536 x 3 does not fit 32 bits")
add("pcx-size-overflow-32-8bit.pcx", pcx(planes=1, xmax=65535, ymax=65535, data=b"\x01" * 64), -3,
    "65536 x 65536 x 1 does not fit 32 bits")
add("pcx-size-max-offsets.pcx", pcx(xmin=1, ymin=1, xmax=65535, ymax=65535, data=b"\x01" * 64), -3,
    "65535 x 65535 x 3 from non-zero minimums does not fit 32 bits")
add("pcx-xmax-below-xmin.pcx", pcx(xmin=10, xmax=5), -3, "x maximum below x minimum: negative width")
add("pcx-ymax-below-ymin.pcx", pcx(ymin=10, ymax=5), -3, "y maximum below y minimum: negative height")
add("pcx-width-one-pixel.pcx", pcx(xmin=7, xmax=7), -3, "x minimum equals x maximum")
add("pcx-height-one-pixel.pcx", pcx(ymin=7, ymax=7), -3, "y minimum equals y maximum")
add("pcx-planes-4.pcx", pcx(planes=4), -3, "four planes of 8 bits")
add("pcx-planes-zero.pcx", pcx(planes=0), -3, "no planes")
add("pcx-bits-1.pcx", pcx(bits=1, planes=1), -3, "1 bit per pixel")
add("pcx-bits-24-one-plane.pcx", pcx(bits=24, planes=1), 1, "one plane of 24 bits: taken as 24-bit")
add("pcx-bits-4-planes-2.pcx", pcx(bits=4, planes=2), 1, "4 bits x 2 planes: taken as 8-bit")
add("pcx-bits-12-planes-2.pcx", pcx(bits=12, planes=2), 1, "12 bits x 2 planes: taken as 24-bit")
add("pcx-bytes-per-line-zero.pcx", pcx(bytes_per_line=0, data=b"\x01" * 36), 1,
    "bytes per line 0: nothing decodes, the rows stay black")
add("pcx-bytes-per-line-below-width.pcx", pcx(width=8, bytes_per_line=2, data=b"\x05" * 40), 1,
    "bytes per line smaller than the width")
add("pcx-bytes-per-line-max.pcx", pcx(bytes_per_line=65535, data=b"\x05" * 40), 1,
    "bytes per line 65535 for a 4-pixel width")
add("pcx-bytes-per-line-max-8bit.pcx", pcx(planes=1, bytes_per_line=65535, data=b"\x05" * 40), 1,
    "one plane, bytes per line 65535")
# PCX runs crossing the data end.
add("pcx-run-count-at-data-end.pcx", pcx(data=b"\x01" * 35 + b"\xff", palette=False), 1,
    "a count byte is the last data byte: nothing to repeat")
add("pcx-run-count-at-data-end-8bit.pcx", pcx(planes=1, data=b"\x01" * 11 + b"\xff"), 1,
    "8-bit: a count byte right before the palette")
add("pcx-run-crosses-data-end.pcx", pcx(data=b"\x01" * 30 + b"\xff\x22", palette=False), 1,
    "a run of 63 starts six bytes before the end of 36 and the data stops")
add("pcx-run-crosses-line-end.pcx", pcx(data=b"\xff\x10" * 3), 1, "runs of 63 longer than a line of 12")
add("pcx-runs-zero-count.pcx", pcx(data=b"\xc0\x10" * 200), 1, "count-0 runs only: nothing stored")
add("pcx-data-ends-early.pcx", pcx(data=b"\x01" * 5), 1, "five data bytes for 36: the rest stays black")
add("pcx-data-one-byte.pcx", pcx(data=b"\x01", palette=False), 1, "one data byte")
add("pcx-no-data.pcx", pcx(data=b"", palette=False), -3, "header only")
add("pcx-8bit-no-palette.pcx", pcx(planes=1, palette=False), -3, "8-bit file shorter than its palette")
add("pcx-8bit-palette-only.pcx", pcx(planes=1, data=b""), 1, "8-bit: palette right after the header")
pcx_plain = pcx()
truncations("pcx", "pcx", pcx_plain, [1, 2, 3, 4, 6, 8, 10, 12, 16, 64, 65, 66, 68, 70, 74, 127], lambda cut: -3,
            "4x3 PCX")

# --- PNG -------------------------------------------------------------------

def chunk(kind, data, crc=None):
    if crc is None:
        crc = zlib.crc32(kind + data) & 0xFFFFFFFF
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", crc)


def png(width=4, height=3, depth=8, colour=2, interlace=0, rows=None, extra=b"", plte=None, idat=None,
        iend=True, ihdr_crc=None):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(colour, 3)
    ihdr = struct.pack(">IIBBBBB", width & 0xFFFFFFFF, height & 0xFFFFFFFF, depth, colour, 0, 0, interlace)
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr, ihdr_crc) + extra
    if plte is not None:
        out += chunk(b"PLTE", plte)
    if idat is None:
        if rows is None:
            row_bytes = (width * channels * depth + 7) // 8 if 0 < width < 4096 else 0
            rows = b"".join(b"\0" + bytes((x * 29 + y * 7) % 256 for x in range(row_bytes))
                            for y in range(height if 0 < height < 4096 else 0))
        idat = zlib.compress(rows, 9)
    out += chunk(b"IDAT", idat)
    if iend:
        out += chunk(b"IEND", b"")
    return out


png_plain = png()
add("png-valid-base.png", png_plain, 1, "control: 4x3 RGB")


def adam7_rows(width, height, channels):
    """Filter-0 rows of every Adam7 pass, each sample 0x40."""
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
    out = b""
    for x0, y0, dx, dy in passes:
        columns = len(range(x0, width, dx))
        for _ in range(y0, height, dy):
            if columns:
                out += b"\0" + b"\x40" * (columns * channels)
    return out


add("png-valid-interlaced.png", png(interlace=1, rows=adam7_rows(4, 3, 3)), 1, "control: 4x3 RGB, Adam7")
add("png-ihdr-size-overflow-32.png", png(width=65536, height=65536, idat=zlib.compress(b"\0" * 64)), -3,
    "65536 x 65536 x 3 does not fit 32 bits")
add("png-ihdr-size-overflow-32-palette.png", png(width=65536, height=65536, colour=3, plte=b"\0\0\0",
                                                 idat=zlib.compress(b"\0" * 64)), -3,
    "palette 65536 x 65536 does not fit 32 bits")
add("png-ihdr-size-overflow-64.png", png(width=0x7FFFFFFF, height=0x7FFFFFFF, colour=6, depth=16,
                                         idat=zlib.compress(b"\0" * 64)), -3,
    "0x7FFFFFFF squared x 8 bytes overflows 64 bits")
add("png-ihdr-width-zero.png", png(width=0, idat=zlib.compress(b"")), -3, "width 0")
add("png-ihdr-height-zero.png", png(height=0, idat=zlib.compress(b"")), -3, "height 0")
add("png-ihdr-width-negative.png", png(width=0x80000000, idat=zlib.compress(b"")), -3,
    "width 0x80000000 (negative as a signed field)")
add("png-ihdr-height-negative.png", png(height=0xFFFFFFFF, idat=zlib.compress(b"")), -3, "height 0xFFFFFFFF")
add("png-ihdr-bad-crc.png", png(ihdr_crc=0x12345678), -3, "IHDR with a wrong CRC")
add("png-ihdr-bad-depth.png", png(depth=7), -3, "bit depth 7")
add("png-ihdr-bad-colour.png", png(colour=5), -3, "colour type 5")
add("png-16bit.png", png(depth=16), -3, "16-bit samples are not read")
add("png-16bit-grey.png", png(depth=16, colour=0), -3, "16-bit grey samples are not read")
add("png-palette-missing-plte.png", png(colour=3), -3, "palette colour type without a PLTE chunk")
add("png-palette-index-past-plte.png", png(colour=3, plte=b"\x10\x20\x30\x40\x50\x60",
                                           rows=b"".join(b"\0" + bytes([0, 1, 200, 255]) for _ in range(3))), 1,
    "indices 200 and 255 into a 2-entry palette")
add("png-idat-short.png", png(idat=zlib.compress(png_plain[:0] + b"\0" * 20)), -3,
    "IDAT holds 20 of the 39 row bytes")
add("png-idat-not-zlib.png", png(idat=b"\x01\x02\x03\x04\x05\x06"), -3, "IDAT is not a zlib stream")
add("png-no-iend.png", png(iend=False), -3, "the file ends after IDAT, without IEND")
add("png-chunk-length-huge.png", png(extra=struct.pack(">I", 0x7FFFFFFF) + b"tEXt" + b"abc"), -3,
    "an ancillary chunk claims 2 GiB")
truncations("png", "png", png_plain, [1, 4, 8, 12, 16, 20, 24, 29, 33, 37, 41, 45, len(png_plain) - 13,
                                      len(png_plain) - 12, len(png_plain) - 4], lambda cut: -3, "4x3 PNG")

# --- JPEG ------------------------------------------------------------------
# A baseline coder with one-code Huffman tables: every block is DC category 0
# then end-of-block, two bits, so every sample decodes to 128.

def marker(code, payload):
    return b"\xff" + bytes([code]) + struct.pack(">H", len(payload) + 2) + payload


def jpeg(width=16, height=16, components=3, sof=0xC0, sampling=0x11, quant_table=0, with_dqt=True,
         with_dht=True, with_sos=True, scan=None, adobe=False, eoi=True):
    out = b"\xff\xd8"
    if adobe:
        out += marker(0xEE, b"Adobe" + struct.pack(">HHHB", 100, 0, 0, 0))  # transform 0: no colour transform
    if with_dqt:
        out += marker(0xDB, b"\x00" + b"\x01" * 64)
    comps = b"".join(bytes([i + 1, sampling, quant_table]) for i in range(components))
    out += marker(sof, struct.pack(">BHHB", 8, height & 0xFFFF, width & 0xFFFF, components) + comps)
    if with_dht:
        one_code = bytes([1] + [0] * 15) + b"\x00"
        out += marker(0xC4, b"\x00" + one_code + b"\x10" + one_code)
    if with_sos:
        out += marker(0xDA, bytes([components]) + b"".join(bytes([i + 1, 0x00]) for i in range(components)) +
                      b"\x00\x3f\x00")
        if scan is None:
            blocks = ((width + 7) // 8) * ((height + 7) // 8) * components
            bits = "00" * blocks
            bits += "1" * (-len(bits) % 8)
            scan = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
        out += scan
    if eoi:
        out += b"\xff\xd9"
    return out


jpeg_plain = jpeg()
add("jpeg-valid-colour.jpg", jpeg_plain, 1, "control: 16x16 three components")
add("jpeg-valid-grey.jpg", jpeg(components=1), 1, "control: 16x16 one component")
# 65500 is the library's own largest side; one component cannot pass 32 bits.
add("jpeg-sof-size-overflow-32.jpg", jpeg(width=65500, height=65500, scan=b"\0" * 16), -3,
    "65500 x 65500 x 3 does not fit 32 bits")
add("jpeg-sof2-size-overflow-32.jpg", jpeg(width=65500, height=65500, sof=0xC2, scan=b"\0" * 16), -3,
    "progressive 65500 x 65500 x 3: refused before a whole-picture coefficient buffer is set up")
add("jpeg-sof-side-over-library-limit.jpg", jpeg(width=65535, height=65535, scan=b"\0" * 16), -3,
    "65535 x 65535, above the library's largest side")
add("jpeg-sof-width-zero.jpg", jpeg(width=0), -3, "SOF width 0")
add("jpeg-sof-height-zero.jpg", jpeg(height=0), -3, "SOF height 0 (a DNL marker is not supported)")
add("jpeg-sof-components-4.jpg", jpeg(components=4, adobe=True), -3, "four components (CMYK)")
add("jpeg-sof-components-2.jpg", jpeg(components=2), -3, "two components")
add("jpeg-sof-components-zero.jpg", jpeg(components=0, with_sos=False), -3, "no components")
add("jpeg-sof-bad-sampling.jpg", jpeg(sampling=0x51), -3, "sampling factor 5")
add("jpeg-sof-precision-12.jpg", jpeg_plain.replace(b"\xff\xc0\x00\x11\x08", b"\xff\xc0\x00\x11\x0c"), -3,
    "12-bit samples")
add("jpeg-dqt-missing.jpg", jpeg(with_dqt=False), -3, "no quantisation table")
add("jpeg-dqt-wrong-table.jpg", jpeg(quant_table=2), -3, "components use quantisation table 2, never defined")
add("jpeg-no-sos.jpg", jpeg(with_sos=False), -3, "no scan: no image in the data stream")
add("jpeg-scan-missing.jpg", jpeg(scan=b"", eoi=False), 1,
    "the file ends after the scan header: a warning, the picture decodes grey")
add("jpeg-soi-only.jpg", b"\xff\xd8", -3, "SOI alone")
add("jpeg-soi-eoi.jpg", b"\xff\xd8\xff\xd9", -3, "SOI, EOI")
add("jpeg-marker-length-short.jpg", b"\xff\xd8\xff\xdb\x00\x01" + jpeg_plain[2:], -3, "a DQT length of 1")
sos_end = jpeg_plain.index(b"\xff\xda") + 2 + 12
truncations("jpeg", "jpg", jpeg_plain,
            [3, 4, 6, 40, 71, 72, 80, 90, 91, 100, 120, 130, sos_end - 6, sos_end - 1, sos_end, sos_end + 2,
             len(jpeg_plain) - 2, len(jpeg_plain) - 1],
            # The library stands in a fake end marker for missing bytes and only
            # warns once the scan header's last byte (the ignored Ah/Al) is reached.
            lambda cut: 1 if cut >= sos_end - 1 else -3, "16x16 JPEG (a cut in the scan is only a warning)")

# --- JPEG with Exif --------------------------------------------------------
# A 16x8 picture, so that a transposing orientation shows as 8x16. Every file
# loads; only the "-valid-" ones are turned, the others keep orientation 1.

def exif(order="<", ifd=8, entries=((0x0112, 3, 1, 6),), next_ifd=0, count=None, tail=b"", magic=42):
    mark = b"II" if order == "<" else b"MM"
    body = mark + struct.pack(order + "HI", magic, ifd)
    body += struct.pack(order + "H", len(entries) if count is None else count)
    for tag, kind, n, value in entries:
        packed = struct.pack(order + "HH", value & 0xFFFF, 0) if kind == 3 else struct.pack(order + "I", value)
        body += struct.pack(order + "HHI", tag, kind, n) + packed
    body += struct.pack(order + "I", next_ifd) + tail
    return b"Exif\0\0" + body


def jpeg_with_app1(*payloads):
    plain = jpeg(width=16, height=8)
    return plain[:2] + b"".join(marker(0xE1, p) for p in payloads) + plain[2:]


def add_exif(name, payloads, why):
    add("jpeg-exif-%s.jpg" % name, jpeg_with_app1(*payloads), 1, why)


add_exif("valid-6-le", [exif("<")], "control: orientation 6, little-endian: loads 8x16")
add_exif("valid-6-be", [exif(">")], "control: orientation 6, big-endian: loads 8x16")
add_exif("valid-6-after-xmp", [b"http://ns.adobe.com/xap/1.0/\0<x/>", exif("<")],
         "control: an XMP APP1 first, then the Exif block: loads 8x16")
add_exif("ifd0-offset-past-segment", [exif("<", ifd=0xFFFFFF00)], "IFD0 offset far past the segment")
add_exif("ifd0-offset-at-segment-end", [exif("<", ifd=8 + 2 + 12 + 4)], "IFD0 offset at the segment's end")
add_exif("entry-count-past-segment", [exif("<", entries=((0x010F, 2, 4, 0), (0x0112, 3, 1, 6)), count=0xFFFF)[:-10]],
         "entry count 65535, the orientation entry cut off by the segment's end")
add_exif("value-count-overflow", [exif("<", entries=((0x0112, 3, 0xFFFFFFFF, 6),))],
         "orientation count 0xFFFFFFFF: count x 2 overflows 32 bits")
add_exif("ifd-loop-to-self", [exif("<", entries=((0x010F, 2, 4, 0),), next_ifd=8)],
         "IFD0 without orientation, its next-IFD offset pointing at itself")
add_exif("ifd-loop-orientation-in-ifd1",
         [exif("<", entries=((0x010F, 2, 4, 0),), next_ifd=26,
               tail=struct.pack("<HHHIHHI", 1, 0x0112, 3, 1, 6, 0, 8))],
         "orientation 6 only in IFD1, whose next offset loops back to IFD0")
add_exif("orientation-zero", [exif("<", entries=((0x0112, 3, 1, 0),))], "orientation 0")
add_exif("orientation-nine", [exif(">", entries=((0x0112, 3, 1, 9),))], "orientation 9")
add_exif("orientation-long-type", [exif("<", entries=((0x0112, 4, 1, 6),))], "orientation as a LONG")
add_exif("byte-order-mixed", [b"Exif\0\0IM" + exif("<")[8:]], "byte order mark IM")
add_exif("magic-wrong", [exif("<", magic=43)], "TIFF magic 43")
add_exif("header-truncated", [b"Exif\0\0II*"], "the TIFF header cut after three bytes")
add_exif("identifier-only", [b"Exif\0\0"], "an APP1 of the identifier alone")
add_exif("second-block-ignored", [exif("<", entries=((0x0112, 3, 1, 1),)), exif("<")],
         "a first Exif block says 1, a second 6: the first decides")

# --- TIFF ------------------------------------------------------------------

def tiff(width=4, length=3, bits=8, samples=3, photometric=2, compression=1, strip_offset=None,
         strip_bytes=None, ifd_offset=8, big_endian=False, planar=1, entries_override=None):
    e = ">" if big_endian else "<"
    pixel_bytes = width * length * samples * bits // 8 if 0 < width < 4096 and 0 < length < 4096 else 16
    bits_offset = 8 + 2 + 11 * 12 + 4
    data_offset = bits_offset + 6
    if strip_offset is None:
        strip_offset = data_offset
    if strip_bytes is None:
        strip_bytes = pixel_bytes
    entries = entries_override or [
        (256, 4, 1, width),            # ImageWidth, LONG
        (257, 4, 1, length),           # ImageLength, LONG
        (258, 3, samples, bits if samples == 1 else bits_offset),  # BitsPerSample
        (259, 3, 1, compression),      # Compression
        (262, 3, 1, photometric),      # Photometric
        (273, 4, 1, strip_offset),     # StripOffsets
        (277, 3, 1, samples),          # SamplesPerPixel
        (278, 4, 1, length),           # RowsPerStrip
        (279, 4, 1, strip_bytes),      # StripByteCounts
        (284, 3, 1, planar),           # PlanarConfiguration
        (296, 3, 1, 1),                # ResolutionUnit
    ]
    out = (b"MM" if big_endian else b"II") + struct.pack(e + "HI", 42, ifd_offset)
    ifd = struct.pack(e + "H", len(entries))
    for tag, kind, count, value in entries:
        if kind == 3 and count == 1:
            ifd += struct.pack(e + "HHIHH", tag, kind, count, value & 0xFFFF, 0)
        else:
            ifd += struct.pack(e + "HHII", tag, kind, count, value & 0xFFFFFFFF)
    ifd += struct.pack(e + "I", 0)
    if len(entries) < 11:
        ifd += b"\0" * ((11 - len(entries)) * 12)
    out += ifd
    out += struct.pack(e + "HHH", bits, bits, bits)
    out += bytes((i * 13) % 256 for i in range(pixel_bytes))
    return out


tiff_plain = tiff()
add("tiff-valid-base.tif", tiff_plain, "1:TIFF", "control: 4x3 RGB, one uncompressed strip")
add("tiff-valid-big-endian.tif", tiff(big_endian=True), "1:TIFF", "control: big-endian byte order")
add("tiff-size-overflow-32.tif", tiff(width=65536, length=65536), -3, "65536 x 65536 x 4 does not fit 32 bits")
add("tiff-size-overflow-64.tif", tiff(width=0xFFFFFFFF, length=0xFFFFFFFF), -3,
    "0xFFFFFFFF squared x 4 overflows 64 bits")
add("tiff-width-zero.tif", tiff(width=0), -3, "image width 0")
add("tiff-length-zero.tif", tiff(length=0), -3, "image length 0")
add("tiff-width-negative.tif", tiff(width=0x80000000), -3, "image width 0x80000000")
add("tiff-ifd-offset-past-end.tif", tiff(ifd_offset=0x7FFFFFF0), -3, "first IFD offset past the end")
add("tiff-ifd-offset-zero.tif", tiff(ifd_offset=0), -3, "first IFD offset 0")
add("tiff-bits-per-sample-huge.tif", tiff(bits=0xFFFF), -3, "65535 bits per sample")
add("tiff-compression-unknown.tif", tiff(compression=0x7777), "1:TIFF",
    "an unknown scheme is no refusal: its strips fail to decode and, reading on past errors, stay black")
add("tiff-strip-offset-past-end.tif", tiff(strip_offset=0x7FFFFFF0), -3, "strip offset past the end")
add("tiff-strip-short.tif", tiff_plain[:-10], -3, "the strip is 10 bytes short")
add("tiff-no-width-tag.tif", tiff(entries_override=[(257, 4, 1, 3), (258, 3, 1, 8), (262, 3, 1, 1),
                                                   (273, 4, 1, 200), (277, 3, 1, 1), (279, 4, 1, 12)]), -3,
    "no ImageWidth tag")
add("tiff-magic-wrong.tif", b"II\x2b\x00" + tiff_plain[4:], -3, "version 43 (BigTIFF) with a classic header")
truncations("tiff", "tif", tiff_plain, [1, 2, 3, 4, 6, 8, 10, 22, 34, 70, 130, 142, 146, 152, 154, 158],
            lambda cut: -3, "4x3 TIFF")

# --- Whole chain -----------------------------------------------------------

add("chain-empty.bin", b"", -3, "an empty file")
add("chain-one-byte.bin", b"\x0a", -3, "one byte that starts a PCX signature")
add("chain-text.txt", b"hello, this is not a picture\n" * 20, -3, "a short text file")
add("chain-ppm.ppm", b"P6\n2 2\n255\n" + bytes(12), -3, "PPM has no reader")
add("chain-sgi.sgi", b"\x01\xda\x00\x01\x00\x03\x00\x02\x00\x02\x00\x03" + bytes(500 + 12), -3,
    "SGI has no reader")
add("chain-pic.pic", b"\x53\x80\xf6\x34" + bytes(120), -3, "PIC has no reader")
add("chain-pcd-signature-short.pcd", bytes(2048) + b"PCD_IPI" + bytes(4000), -3,
    "a Photo CD signature in a file far below 1 MiB")


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else HERE
    for name, (data, _, _) in sorted(files.items()):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)
    with open(os.path.join(out_dir, "EXPECTED.tsv"), "w", encoding="utf-8", newline="\n") as f:
        f.write("file\texpected\twhat it tests\n")
        for name, (_, expected, why) in sorted(files.items()):
            f.write("%s\t%s\t%s\n" % (name, expected, why))
    print("%d hostile files written to %s" % (len(files), out_dir))


if __name__ == "__main__":
    main()

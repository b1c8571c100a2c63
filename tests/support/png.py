"""A small PNG reader for the tests: 8-bit RGB or RGBA images, not interlaced, with any of the
five row filters. Checks each chunk's CRC on the way. Written from the format's definition in
plain Python, so that it shares no code with the writers it checks."""

import struct
import zlib

CHANNELS = {2: 3, 6: 4}  # colour type: RGB, RGBA


def unfilter(kind, row, prev, bpp):
    """The pixel bytes of one row: `row` as stored after its filter type `kind`, `prev` the
    row above as already unfiltered (zeros above the first row), `bpp` bytes per pixel."""
    out = bytearray(row)
    n = len(out)
    if kind == 0:
        pass
    elif kind == 1:  # Sub: the byte one pixel to the left
        for i in range(bpp, n):
            out[i] = (out[i] + out[i - bpp]) & 0xFF
    elif kind == 2:  # Up: the byte above
        out = bytearray((x + b) & 0xFF for x, b in zip(row, prev, strict=True))
    elif kind == 3:  # Average of left and above, rounded down
        for i in range(n):
            left = out[i - bpp] if i >= bpp else 0
            out[i] = (out[i] + ((left + prev[i]) >> 1)) & 0xFF
    elif (
        kind == 4
    ):  # Paeth: whichever of left, above, upper left is nearest left + above - upper left
        for i in range(n):
            if i >= bpp:
                a, c = out[i - bpp], prev[i - bpp]
            else:
                a = c = 0
            b = prev[i]
            pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
            predicted = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
            out[i] = (out[i] + predicted) & 0xFF
    else:
        raise AssertionError(f"unknown filter type {kind}")
    return out


def read_chunks(data):
    """(chunk kinds in file order, {kind: joined bodies})."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, order, chunks = 8, [], {}
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos : pos + 4])
        kind = data[pos + 4 : pos + 8]
        body = data[pos + 8 : pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length : pos + 12 + length])
        assert crc == zlib.crc32(kind + body)
        order.append(kind)
        chunks[kind] = chunks.get(kind, b"") + body
        pos += 12 + length
    return order, chunks


def decode_png(data, filters=None):
    """Returns (width, height, colour_type, pixel bytes top row first, filter bytes removed).
    If `filters` is a list, the filter type of each row is appended to it."""
    order, chunks = read_chunks(data)
    assert order[0] == b"IHDR" and order[-1] == b"IEND"
    width, height, depth, colour, method, filtering, interlace = struct.unpack(
        ">IIBBBBB", chunks[b"IHDR"]
    )
    assert (depth, method, filtering, interlace) == (8, 0, 0, 0)
    bpp = CHANNELS[colour]
    stride = 1 + width * bpp
    raw = zlib.decompress(chunks[b"IDAT"])
    assert len(raw) == stride * height
    prev = bytearray(width * bpp)
    rows = []
    for y in range(height):
        kind = raw[y * stride]
        if filters is not None:
            filters.append(kind)
        prev = unfilter(kind, raw[y * stride + 1 : (y + 1) * stride], prev, bpp)
        rows.append(bytes(prev))
    return width, height, colour, b"".join(rows)


def read_png(path, filters=None):
    """`decode_png` of a file."""
    return decode_png(path.read_bytes(), filters)

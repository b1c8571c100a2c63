"""A small PNG reader for the tests: 8-bit images written with filter type 0 on every row,
which is what the package's PNG writers produce. Checks each chunk's CRC on the way."""

import struct
import zlib

CHANNELS = {2: 3, 6: 4}  # colour type: RGB, RGBA


def read_png(path):
    """Returns (width, height, colour_type, pixel bytes top row first, filter bytes removed)."""
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, chunks = 8, {}
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos : pos + 4])
        kind = data[pos + 4 : pos + 8]
        body = data[pos + 8 : pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length : pos + 12 + length])
        assert crc == zlib.crc32(kind + body)
        chunks[kind] = chunks.get(kind, b"") + body
        pos += 12 + length
    width, height, depth, colour, *_ = struct.unpack(">IIBBBBB", chunks[b"IHDR"])
    assert depth == 8
    stride = 1 + width * CHANNELS[colour]
    raw = zlib.decompress(chunks[b"IDAT"])
    rows = [raw[y * stride : (y + 1) * stride] for y in range(height)]
    assert all(row[0] == 0 for row in rows)
    return width, height, colour, b"".join(row[1:] for row in rows)

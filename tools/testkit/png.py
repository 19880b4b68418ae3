"""Reads our own screenshots for pixel probes: 8-bit RGB or RGBA PNG, not interlaced."""
import struct
import zlib
from pathlib import Path


def read_png(path):
    data = Path(path).read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, (depth, colour, interlace)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    bpp = 3 if colour == 2 else 4
    raw, stride = zlib.decompress(idat), width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride) if kind else ():  # filter 0: the bytes as they are
            a, b, c = (line[i - bpp] if i >= bpp else 0), prev[i], (prev[i - bpp] if i >= bpp else 0)
            if kind == 4:  # Paeth: whichever of a, b, c is nearest to a + b - c
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                a = a if pa <= pb and pa <= pc else b if pb <= pc else c
            line[i] = (line[i] + (0, a, b, (a + b) // 2, a)[kind]) & 255
        rows.append(line)
        prev = line
    return Image(width, height, rows, bpp)


class Image:
    def __init__(self, width, height, rows, bpp):
        self.width, self.height, self._rows, self._bpp = width, height, rows, bpp

    def __call__(self, x, y):
        row = self._rows[y]
        return tuple(row[x * self._bpp:x * self._bpp + 3])

    def differing(self, other, outside=(0, 0, 0, 0)):
        """The pixels (x, y) where other differs, apart from those in the box outside; rows are
        compared whole first, so equal images cost little."""
        x0, y0, x1, y1 = outside
        return [(x, y) for y in range(self.height) if self._rows[y] != other._rows[y]
                for x in range(self.width) if self(x, y) != other(x, y) and not (x0 <= x < x1 and y0 <= y < y1)]

    def count(self, box, test):
        x0, y0, x1, y1 = box
        return sum(1 for y in range(y0, y1) for x in range(x0, x1) if test(self(x, y)))


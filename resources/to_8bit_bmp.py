#!/usr/bin/env python3
# Repacks an image (read through ImageMagick as raw RGB) into an 8-bit palette BMP.
import struct, subprocess, sys
src, dst = sys.argv[1], sys.argv[2]
w, h = map(int, subprocess.check_output(['identify', '-format', '%w %h', src]).split())
rgb = subprocess.check_output(['convert', src, '-depth', '8', 'rgb:-'])
pixels = [rgb[i:i + 3] for i in range(0, len(rgb), 3)]
palette = sorted(set(pixels))
index = {p: i for i, p in enumerate(palette)}
row = (w + 3) & ~3
body = b''.join(bytes(index[p] for p in pixels[y * w:(y + 1) * w]) + b'\0' * (row - w) for y in reversed(range(h)))
pal = b''.join(bytes((p[2], p[1], p[0], 0)) for p in palette) + b'\0' * 4 * (256 - len(palette))
info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 0, len(body), 2835, 2835, 256, 0)
offset = 14 + 40 + len(pal)
open(dst, 'wb').write(b'BM' + struct.pack('<IHHI', offset + len(body), 0, 0, offset) + info + pal + body)

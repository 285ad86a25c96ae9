"""What a file holds when read as the boot's gzip layer reads it, by a reader
of our own over Python's zlib: gzip members one after the other (RFC 1952,
header CRC and reserved flags checked), bytes after the last member that do
not start a new one ignored; a file that does not start with the gzip magic
is taken as it is."""

import struct
import zlib

MAGIC = b"\x1f\x8b"
FTEXT, FHCRC, FEXTRA, FNAME, FCOMMENT = 1, 2, 4, 8, 16
RESERVED = 0xE0


class Damaged(Exception):
    pass


def _need(data, end):
    if len(data) < end:
        raise Damaged("header is truncated")


def _header_end(data, at):
    """The offset of the deflate data of the member at `at`."""
    _need(data, at + 10)
    method, flags = data[at + 2], data[at + 3]
    if method != 8:
        raise Damaged("unknown method")
    if flags & RESERVED:
        raise Damaged("reserved flags")
    pos = at + 10
    if flags & FEXTRA:
        _need(data, pos + 2)
        (length,) = struct.unpack_from("<H", data, pos)
        pos += 2 + length
    for flag in (FNAME, FCOMMENT):
        if flags & flag:
            end = data.find(b"\0", pos)
            _need(data, end + 1 if end >= 0 else len(data) + 1)
            pos = end + 1
    if flags & FHCRC:
        _need(data, pos + 2)
        (stored,) = struct.unpack_from("<H", data, pos)
        if stored != zlib.crc32(data[at:pos]) & 0xFFFF:
            raise Damaged("header CRC")
        pos += 2
    _need(data, pos)
    return pos


def _member(data, at):
    """(contents, offset after the member)."""
    pos = _header_end(data, at)
    inflater = zlib.decompressobj(-zlib.MAX_WBITS)
    try:
        out = inflater.decompress(data[pos:])
    except zlib.error as error:
        raise Damaged(str(error))
    if not inflater.eof:
        raise Damaged("deflate data is truncated")
    rest = inflater.unused_data
    if len(rest) < 8:
        raise Damaged("trailer is truncated")
    crc, size = struct.unpack_from("<II", rest)
    if crc != zlib.crc32(out) or size != len(out) & 0xFFFFFFFF:
        raise Damaged("CRC or length")
    return out, len(data) - len(rest) + 8


def view(data):
    """('plain', data) for a file without the gzip magic, ('gzip', contents)
    for sound members, ('damaged', reason) otherwise."""
    if not data.startswith(MAGIC):
        return "plain", data
    contents = []
    at = 0
    try:
        while True:
            out, at = _member(data, at)
            contents.append(out)
            if not data.startswith(MAGIC, at):
                return "gzip", b"".join(contents)
    except Damaged as error:
        return "damaged", str(error)

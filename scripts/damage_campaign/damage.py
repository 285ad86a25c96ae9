"""Ways to damage a file's bytes, each named for the tables. Every function
takes the bytes and a random.Random and returns the damaged bytes."""

import struct

INTERESTING_WORDS = [0, 1, 3, 4, 0x7F, 0x80, 0xFF, 0x1000, 0xFFFF, 0x10000, 0x7FFFFFFF, 0x80000000,
                     0xA0000000, 0xC0000000, 0xC0200000, 0xE0000000, 0xFFFFFFF0, 0xFFFFFFFC, 0xFFFFFFFF]


def flip_bytes(data, rng, start=0, end=None):
    """One to eight bytes anywhere in [start, end) get random values."""
    end = len(data) if end is None else min(end, len(data))
    if end <= start:
        return data
    out = bytearray(data)
    for _ in range(rng.randint(1, 8)):
        at = rng.randrange(start, end)
        out[at] = rng.choice([out[at] ^ (1 << rng.randrange(8)), rng.randrange(256)])
    return bytes(out)


def flip_bit(data, rng, start=0, end=None):
    end = len(data) if end is None else min(end, len(data))
    if end <= start:
        return data
    out = bytearray(data)
    at = rng.randrange(start, end)
    out[at] ^= 1 << rng.randrange(8)
    return bytes(out)


def truncate(data, rng):
    return data[: rng.randrange(len(data))] if data else data


def append_garbage(data, rng):
    tail = rng.choice([bytes(rng.randrange(1, 64)), bytes(rng.randrange(256) for _ in range(rng.randrange(1, 600))),
                       b"\x1f\x8b" + bytes(rng.randrange(256) for _ in range(rng.randrange(0, 40))), b"\x1f"])
    return data + tail


def zero_range(data, rng, start=0, end=None):
    end = len(data) if end is None else min(end, len(data))
    if end <= start:
        return data
    at = rng.randrange(start, end)
    length = rng.randint(1, 512)
    return data[:at] + bytes(min(length, len(data) - at)) + data[at + length:]


def duplicate_range(data, rng):
    """A run of bytes copied over another place, as a misdirected write would."""
    if len(data) < 2:
        return data
    length = rng.randint(1, min(4096, len(data) // 2))
    source = rng.randrange(len(data) - length + 1)
    target = rng.randrange(len(data) - length + 1)
    return data[:target] + data[source:source + length] + data[target + length:]


def insert_bytes(data, rng):
    at = rng.randrange(len(data) + 1)
    return data[:at] + bytes(rng.randrange(256) for _ in range(rng.randint(1, 16))) + data[at:]


def set_word(data, rng, offset, size=4):
    """The little-endian field at `offset` set to a value that breaks readers."""
    if offset + size > len(data):
        return data
    out = bytearray(data)
    (old,) = struct.unpack_from("<I" if size == 4 else "<H", data, offset)
    mask = 0xFFFFFFFF if size == 4 else 0xFFFF
    value = rng.choice([rng.choice(INTERESTING_WORDS), old + rng.randint(-64, 64), old ^ (1 << rng.randrange(8 * size)),
                        rng.randrange(mask + 1), old * 2, old // 2])
    struct.pack_into("<I" if size == 4 else "<H", out, offset, value & mask)
    return bytes(out)


ANYWHERE = {
    "bytes changed": flip_bytes,
    "one bit flipped": flip_bit,
    "cut short": truncate,
    "bytes appended": append_garbage,
    "range zeroed": zero_range,
    "range copied over": duplicate_range,
    "bytes inserted": insert_bytes,
}
